// "SEND:": the chosen games copied to a mail file and mailed by the external gbmail.
#include <algorithm>
#include <array>

#include "text/text.h"
#include "tourney/tourney.h"
#include "tourney/tourney_detail.h"

namespace lantrel {

namespace {

bool IsLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsHostName(std::string_view host) {
    if (host.empty() || host.front() == '-') return false;
    for (char c : host)
        if (!IsLetterOrDigit(c) && c != '.' && c != '-') return false;
    return true;
}

// "[" somewhere before "]".
bool IsTagLine(std::string_view line) {
    std::size_t open = Find(line, "[");
    return open > 0 && open < Find(line, "]");
}

// The text between the first and the second double quote; the whole line when it
// has no quote, the rest after the quote when it has only one.
std::string QuotedValue(std::string_view line) {
    std::size_t open = Find(line, "\"");
    if (open == 0) return std::string(line);
    std::size_t close = Find(line, "\"", open + 1);
    if (close == 0) return Mid(line, open + 1);
    return Mid(line, open + 1, close - open - 1);
}

// True when the upper-case form of `line` contains "RESULT" (without building
// that form: this runs on every line of the file).
bool MentionsResult(std::string_view line) {
    constexpr std::string_view kWord = "RESULT";
    auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    for (std::size_t i = 0; i + kWord.size() <= line.size(); ++i) {
        if (upper(line[i]) != 'R') continue;
        std::size_t k = 1;
        while (k < kWord.size() && upper(line[i + k]) == kWord[k])
            ++k;
        if (k == kWord.size()) return true;
    }
    return false;
}

bool IsFinishedResult(std::string_view result) {
    return result == "1-0" || result == "0-1" || result == "1/2-1/2";
}

const char* const kNotConfigured = "MSG:Sorry, the server is not configured to send Emails.";

}  // namespace

bool IsPlainMailAddress(std::string_view address) {
    std::size_t at = address.find('@');
    if (at == std::string_view::npos || at == 0) return false;
    std::string_view local = address.substr(0, at);
    if (local.front() == '-') return false;
    for (char c : local) {
        if (!IsLetterOrDigit(c) && c != '.' && c != '_' && c != '+' && c != '-') return false;
    }
    return IsHostName(address.substr(at + 1));  // a second "@" fails here
}

bool IsPlainMailServer(std::string_view server) {
    std::size_t colon = server.find(':');
    if (colon == std::string_view::npos) return IsHostName(server);
    std::string_view port = server.substr(colon + 1);
    if (port.empty() || port.size() > 5) return false;
    for (char c : port)
        if (c < '0' || c > '9') return false;
    return IsHostName(server.substr(0, colon));
}

std::string MailSettingsProblem(std::string_view mailServer, std::string_view returnAddress) {
    // Both settings are handed to the mailer and written to email.log: refuse
    // anything that is more than a plain word of its kind (a mailer on another
    // system may still reach its program through a command interpreter). Blanks
    // around a setting in server.ini are an editing slip, not part of it.
    if (!IsPlainMailServer(TrimBlanks(mailServer)))
        return "Email refused: MAILSERVER= is not a plain host name (host or host:port)";
    const std::string from = TrimBlanks(returnAddress);
    if (!from.empty() && !IsPlainMailAddress(from))
        return "Email refused: RETURNADD= is not a plain Email address";
    return {};
}

std::vector<std::string> SelectGamesForEmail(std::string_view pgnText, std::string_view request) {
    // A blank after the last number too, so that every number can be searched for
    // with a blank on each side.
    std::string numbers(request);
    numbers += ' ';

    std::vector<std::string_view> lines;
    ForEachLine(pgnText, [&](std::string_view line) { lines.push_back(line); });

    std::vector<std::string> mail;
    std::array<std::string_view, kMaxEmailTagLines + 1> tagLines{};  // 1..20
    int tagLineCount = 0;
    int gameCount = 0;
    std::size_t next = 0;
    while (next < lines.size()) {
        std::string_view line = lines[next++];
        std::size_t open = Find(line, "["), close = Find(line, "]");
        if (open > 0 && open < close) {
            // Past 20 tag lines the newest overwrites the last entry, so the
            // Result line is always kept.
            if (tagLineCount < kMaxEmailTagLines) ++tagLineCount;
            tagLines[tagLineCount] = line;
        } else if (open == 0 && close == 0) {
            tagLineCount = 0;  // move text or a blank line ends the tags
        }
        if (!MentionsResult(line)) continue;
        if (!IsFinishedResult(QuotedValue(line))) continue;  // unfinished games take no number
        ++gameCount;
        std::string key = " " + std::to_string(gameCount) + " ";
        if (Find(numbers, key, 5) == 0) continue;

        mail.emplace_back();
        for (int k = 1; k <= tagLineCount; ++k)
            mail.emplace_back(tagLines[k]);
        // The rest of the game: further tag lines, the blank line after them, the
        // moves and the blank line that ends them. These lines are consumed.
        bool afterTag = true;
        std::string_view copied = line;
        for (;;) {
            if (next < lines.size()) {
                copied = lines[next++];
                mail.emplace_back(copied);
            }
            if (!afterTag && TrimBlanks(copied).empty()) break;
            if (next >= lines.size()) break;
            afterTag = IsTagLine(copied);
        }
        tagLineCount = 0;
    }
    return mail;
}

std::string MailFileName(int number) {
    return "email-" + std::to_string(number) + ".txt";
}

bool IsMailFileName(std::string_view name) {
    constexpr std::string_view kFront = "email-", kBack = ".txt";
    if (name.size() <= kFront.size() + kBack.size() || !StartsWith(name, kFront) ||
        name.substr(name.size() - kBack.size()) != kBack)
        return false;
    std::string_view number =
        name.substr(kFront.size(), name.size() - kFront.size() - kBack.size());
    return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

MailerCall MailerCallFor(std::string_view address, std::string_view mailFile,
                         std::string_view mailServer, std::string_view returnAddress) {
    // The subject is one word: gbmail turns its underscores into blanks.
    return {
        "gbmail",
        {"-to", std::string(address), "-file", std::string(mailFile), "-h", std::string(mailServer),
         "-from", std::string(returnAddress), "-s", "Your_requested_game(s)."}};
}

std::string MailerLogLine(const MailerCall& call) {
    auto isPlain = [](char c) {
        return IsLetterOrDigit(c) || std::string_view("._+-@:").find(c) != std::string_view::npos;
    };
    std::string line = call.program;
    for (const auto& arg : call.args) {
        line += ' ';
        if (std::all_of(arg.begin(), arg.end(), isPlain)) {
            line += arg;
        } else {
            line += '"' + arg + '"';
        }
    }
    return line;
}

EmailPlan PlanEmail(const PgnLookup& pgn, std::string_view mailServer,
                    std::string_view returnAddress, std::string_view address,
                    std::string_view request, std::string_view mailFile) {
    EmailPlan plan;
    if (pgn.status == PgnLookup::kNotConfigured || mailServer.empty()) {
        plan.replies = {kNotConfigured};
        return plan;
    }
    plan.operatorNotice = MailSettingsProblem(mailServer, returnAddress);
    if (!plan.operatorNotice.empty()) {
        plan.replies = {kNotConfigured};
        return plan;
    }
    if (pgn.status == PgnLookup::kNotFound) {
        plan.replies = {"MSG:PGN file not found!  Sorry, the server cannot process your request."};
        return plan;
    }
    // The address comes from the viewer and is handed to the mailer.
    std::string to = TrimBlanks(address);
    if (to.empty()) {
        plan.replies = {
            "MSG:Sorry, the server has no Email address for you.  Please enter your Email "
            "address and ask again."};
        return plan;
    }
    if (!IsPlainMailAddress(to)) {
        plan.replies = {
            "MSG:Sorry, your Email address cannot be used.  Please enter a plain address such "
            "as name@example.com and ask again."};
        return plan;
    }
    if (pgn.status == PgnLookup::kUnreadable) {
        plan.replies = {
            "MSG:PGN file cannot be opened!  Sorry, the server cannot process your request."};
        return plan;
    }
    plan.replies = {"MSG:Your Email request has been received and is being processed."};
    plan.startMailer = true;
    plan.emailLines = SelectGamesForEmail(pgn.text, request);
    plan.mailer = MailerCallFor(to, mailFile, TrimBlanks(mailServer), TrimBlanks(returnAddress));
    return plan;
}

}  // namespace lantrel
