#include "app/tourney_requests.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/server.h"
#include "platform/files.h"
#include "text/text.h"
#include "tourney/tourney.h"

namespace lantrel {

std::string FindTourneyPgn(const std::string& iniPath) {
    auto lines = ReadLines(iniPath);
    if (!lines) return {};
    for (const auto& line : *lines)
        if (StartsWith(line, "TOURNEYPGN=")) return Mid(line, 12);
    return {};
}

PgnLookup LookUpTourneyPgn(const std::string& iniPath, const std::string& workDir) {
    PgnLookup found;
    found.path = FindTourneyPgn(iniPath);
    if (found.path.empty()) return found;
    std::string full = ResolvePath(workDir, found.path);
    if (!FileExists(full)) {
        found.status = PgnLookup::kNotFound;
        return found;
    }
    auto text = ReadWholeFile(full);
    if (!text) {
        found.status = PgnLookup::kUnreadable;
        return found;
    }
    found.status = PgnLookup::kRead;
    found.text = std::move(*text);
    return found;
}

namespace {

// Writes the mail file whole, its lines ended with CR LF; false with the
// system's reason in `whyNot`.
bool WriteMailFile(const std::string& path, const std::vector<std::string>& lines,
                   std::string& whyNot) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    AppendFile file;
    if (file.Open(path, true) && file.Write(text)) return true;
    whyNot = file.error();
    return false;
}

// The tournament PGN file named in the server's own server.ini.
PgnLookup TourneyPgnOf(const Server& server) {
    return LookUpTourneyPgn(server.File("server.ini"), server.os.workDir);
}

void SendReplies(Server& server, IpAddress requester, const std::vector<std::string>& replies) {
    for (const std::string& text : replies)
        SendDatagram(server.net, requester, text);
}

// Where the time of the requester's last answered request is kept; none when
// the requester is no viewer.
std::optional<double>* LastRequestTimeOf(Server& server, const Request& request) {
    const int slot = FindClientSlot(server.net.clients, request.sender);
    if (slot != 0) return &server.net.clients.slots[slot].lastTourneyRequest;
    if (request.fromInbox) return &server.tourney.localViewerLastRequest;
    return nullptr;
}

}  // namespace

void AddTourneyCommands(Server& server) {
    using Handler = void (*)(Server&, const Request&);
    const std::pair<bool (*)(const std::string&), Handler> commands[] = {
        {[](const std::string& t) { return t == "RESULTTABLE"; }, SendResultTable},
        {[](const std::string& t) { return t == "GAMELIST"; }, SendGameList},
        {[](const std::string& t) { return StartsWith(t, "SEND:"); }, SendGamesByEmail},
    };
    for (const auto& command : commands) {
        const Handler handler = command.second;
        AddCommand(server.net, {command.first, [&server, handler](Request& r) {
                                    if (AdmitTourneyRequest(server, r)) handler(server, r);
                                }});
    }
}

bool AdmitTourneyRequest(Server& server, const Request& request) {
    std::optional<double>* lastRequest = LastRequestTimeOf(server, request);
    // A forged sender address must not draw a reply to someone else.
    if (lastRequest == nullptr) return false;
    const double now = server.os.clock.Monotonic();
    if (lastRequest->has_value() && now - **lastRequest < kTourneyRequestGapSeconds) {
        SendDatagram(server.net, request.sender, kPleaseWaitNotice);
        return false;
    }
    *lastRequest = now;
    return true;
}

void SendResultTable(Server& server, const Request& request) {
    ++server.net.counters.resultTableRequests;
    server.screen.ShowResultTableRequests(server.net.counters.resultTableRequests);
    auto table = std::make_unique<CrossTable>();  // about 3 MB: not on the stack
    SendReplies(server, request.sender, ResultTableReply(*table, TourneyPgnOf(server)));
}

void SendGameList(Server& server, const Request& request) {
    auto table = std::make_unique<CrossTable>();
    SendReplies(server, request.sender,
                GameListReply(*table, TourneyPgnOf(server), server.config.mailServer,
                              server.config.returnAddress));
}

void SendGamesByEmail(Server& server, const Request& request) {
    SendGamesByEmailTo(server, request, EmailOfViewer(server.net, request.sender));
}

void SendGamesByEmailTo(Server& server, const Request& request, std::string_view address) {
    ++server.net.counters.emailCount;
    server.screen.ShowEmails(server.net.counters.emailCount);
    const int mailFileNumber = server.tourney.mailFilesWritten + 1;
    EmailPlan plan =
        PlanEmail(TourneyPgnOf(server), server.config.mailServer, server.config.returnAddress,
                  address, request.text, MailFileName(mailFileNumber));
    if (!plan.operatorNotice.empty()) {
        server.screen.ShowOperatorNotice(plan.operatorNotice);
        server.journal.Write(plan.operatorNotice);
    }
    SendReplies(server, request.sender, plan.replies);
    if (!plan.startMailer) return;

    // A file of its own: a mailer still reading an earlier request's file is
    // not disturbed.
    server.tourney.mailFilesWritten = mailFileNumber;
    std::string mailFile = server.File(MailFileName(mailFileNumber));
    const std::string mailLog = server.File(kEmailLog);
    std::string whyNot;
    if (!WriteMailFile(mailFile, plan.emailLines, whyNot)) {
        const std::string line = "Cannot write the mail file " + mailFile + ": " + whyNot;
        server.journal.Write(line);
        AppendLine(mailLog, line + "; nothing sent");
        RemoveFile(mailFile);
        return;
    }
    AppendLine(mailLog, MailerLogLine(plan.mailer));
    server.screen.ShowMailerStarting();
    // Not waited for: the mailer's outcome goes to email.log only, its error
    // output too (it would otherwise be written over the status screen). The
    // main loop removes the mail file once the mailer has ended.
    std::optional<ProcessId> mailer = server.os.processes.Start(
        plan.mailer.program, plan.mailer.args, server.os.workDir, mailLog, whyNot);
    if (!mailer) {
        // email.log is where the operator looks when a mail does not arrive.
        AppendLine(mailLog, plan.mailer.program + " could not be started" +
                                (whyNot.empty() ? "" : ": " + whyNot));
        RemoveFile(mailFile);
        return;
    }
    server.tourney.runningMailers.push_back({*mailer, std::move(mailFile)});
}

void RemoveFinishedMailFiles(Server& server) {
    std::erase_if(server.tourney.runningMailers, [&server](const MailerRun& run) {
        if (!server.os.processes.Ended(run.process)) return false;
        RemoveFile(run.mailFile);
        return true;
    });
}

void RemoveLeftoverMailFiles(const Server& server) {
    for (const std::string& name : ListFolder(server.os.workDir).files)
        if (IsMailFileName(name)) RemoveFile(server.File(name));
}

}  // namespace lantrel
