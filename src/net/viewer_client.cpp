#include "net/viewer_client.h"

#include <algorithm>

#include "net/framing.h"
#include "text/text.h"

namespace lantrel {

namespace {

// The numbers of the last this many messages acted upon are remembered. The
// server numbers all viewers' messages from one counter, so with hundreds of
// viewers a re-send can come tens of thousands of numbers after the newest
// message; counting our own messages instead keeps any re-send the server makes
// (about 16 s, a minute for chat) well inside the window.
constexpr std::size_t kRememberedNumbers = 4096;
constexpr double kLogonRetrySeconds = 3;
// Nothing numbered for this long, and a plain answer to a PING: the server no
// longer knows this viewer.
constexpr double kStrangerSilenceSeconds = 10;

// `text` without `keyword` when it begins with it.
bool Strip(std::string_view text, std::string_view keyword, std::string& rest) {
    if (!StartsWith(text, keyword)) return false;
    rest = std::string(text.substr(keyword.size()));
    return true;
}

void RemoveUser(std::vector<std::string>& users, const std::string& name) {
    auto it = std::find(users.begin(), users.end(), name);
    if (it != users.end()) users.erase(it);
}

void AddUser(std::vector<std::string>& users, const std::string& name) {
    if (std::find(users.begin(), users.end(), name) == users.end()) users.push_back(name);
}

}  // namespace

// True when the message numbered `seq` is newer than the one that last set
// `part` (unframed messages always are), and notes it as the newest.
bool Newer(GamePicture& p, const std::string& part, SequenceNumber seq) {
    if (seq == 0) return true;
    SequenceNumber& last = p.partSeq[part];
    if (seq < last) return false;
    last = seq;
    return true;
}

bool ApplyMessage(GamePicture& p, std::string_view text, SequenceNumber seq) {
    std::string rest;
    if (text.empty()) return true;  // an empty last move or level before the first one
    if (text == "LOGON SUCCESSFUL") {
        p.loggedOn = true;
    } else if (text == "FEATURE: PING") {
        p.pingFeature = true;
    } else if (text == "PONG") {
        ++p.pongs;
    } else if (Strip(text, "WPLAYER: ", rest)) {
        if (Newer(p, "WPLAYER", seq)) p.whitePlayer = rest;
    } else if (Strip(text, "BPLAYER: ", rest)) {
        if (Newer(p, "BPLAYER", seq)) p.blackPlayer = rest;
    } else if (Strip(text, "SITE:", rest)) {
        if (Newer(p, "SITE", seq)) p.site = rest;
    } else if (Strip(text, "FEN: ", rest)) {
        if (Newer(p, "FEN", seq)) {
            p.previousFen = p.fen;
            p.fen = rest;
        }
    } else if (StartsWith(text, "WMOVE:") || StartsWith(text, "BMOVE:")) {
        if (Newer(p, "MOVE", seq)) p.lastMove = std::string(text);
    } else if (Strip(text, "FMR: ", rest)) {
        if (Newer(p, "FMR", seq)) p.fiftyMoves = TrimBlanks(rest);
    } else if (StartsWith(text, "WTIME: ")) {
        p.whiteTime = std::string(text.substr(7));
    } else if (StartsWith(text, "BTIME: ")) {
        p.blackTime = std::string(text.substr(7));
    } else if (Strip(text, "WPV: ", rest)) {
        p.whitePv = rest;
    } else if (Strip(text, "BPV: ", rest)) {
        p.blackPv = rest;
    } else if (StartsWith(text, "level")) {
        if (Newer(p, "level", seq)) p.level = std::string(text);
    } else if (Strip(text, "result", rest)) {
        if (Newer(p, "result", seq)) p.result = TrimBlanks(rest);
    } else if (StartsWith(text, "MENU ")) {
        p.menu.emplace_back(text);
    } else if (Strip(text, "ADDUSER: ", rest) || Strip(text, "ADDUSER:", rest)) {
        // The user list at logon pads names to 30 characters.
        std::string name = TrimRightBlanks(rest);
        if (Newer(p, "user " + name, seq)) AddUser(p.users, name);
    } else if (Strip(text, "DELUSER: ", rest) || Strip(text, "DELUSER:", rest)) {
        std::string name = TrimRightBlanks(rest);
        if (Newer(p, "user " + name, seq)) RemoveUser(p.users, name);
    } else if (Strip(text, "CHAT:", rest)) {
        p.chat.push_back(rest);
    } else if (Strip(text, "MSG:", rest)) {
        p.notices.push_back(rest);
    } else if (Strip(text, "SECUSER: ", rest)) {
        p.secUsers.push_back(rest);
    } else if (text == "CTRESET") {
        p.resultTable.clear();
    } else if (Strip(text, "CT:", rest)) {
        p.resultTable.push_back(rest);
    } else if (Strip(text, "GL:", rest)) {
        p.gameList.push_back(rest);
    } else {
        return false;
    }
    return true;
}

std::vector<std::string> BoardDiagram(std::string_view fen) {
    std::string_view placement = fen.substr(0, fen.find(' '));
    std::vector<std::string> rows;
    std::string row;
    auto finishRow = [&] {
        if (row.size() != 16) return false;
        rows.push_back(std::to_string(8 - rows.size()) + " " + row);
        row.clear();
        return true;
    };
    for (char c : placement) {
        if (c == '/') {
            if (!finishRow()) return {};
        } else if (c >= '1' && c <= '8') {
            for (int i = 0; i < c - '0'; ++i)
                row += " .";
        } else if (std::string_view("pnbrqkPNBRQK").find(c) != std::string_view::npos) {
            row += ' ';
            row += c;
        } else {
            return {};
        }
        if (row.size() > 16) return {};
    }
    if (!finishRow() || rows.size() != 8) return {};
    rows.push_back("   a b c d e f g h");
    return rows;
}

const char* const kViewerCommandHelp =
    "  /who /time /ver /stats /q   ask the server (users, time, version, statistics, queues)\n"
    "  /results /games             results table, list of games\n"
    "  /send N..                   mail the games with these numbers (see /games)\n"
    "  /email ADDR                 the address games are mailed to\n"
    "  /name NEW                   change your name\n"
    "  /ping                       PING the server\n"
    "  /security /boot IP /srboot IP   administration (ADMIN= addresses only)\n"
    "  /quit                       log off and end\n"
    "  anything else               chat\n";

TypedLine TranslateTypedLine(std::string_view line) {
    TypedLine typed;
    std::string text = TrimRightBlanks(line);
    if (text.empty()) return typed;
    if (text[0] != '/') {
        typed.message = "CHAT:" + text;
        return typed;
    }
    std::size_t blank = text.find(' ');
    std::string command = text.substr(0, blank);
    std::string argument = blank == std::string::npos ? "" : TrimBlanks(text.substr(blank + 1));
    static const std::pair<const char*, const char*> kPlain[] = {
        {"/who", "CHAT: <who>"},     {"/time", "CHAT: <time>"}, {"/ver", "CHAT: <ver>"},
        {"/stats", "CHAT: <stats>"}, {"/q", "CHAT: <q>"},       {"/results", "RESULTTABLE"},
        {"/games", "GAMELIST"},      {"/ping", "PING"},         {"/security", "SECURITY"},
    };
    for (const auto& [word, message] : kPlain) {
        if (command == word) {
            typed.message = message;
            return typed;
        }
    }
    if (command == "/quit") {
        typed.message = "LOGOFF";
        typed.quit = true;
    } else if (command == "/send") {
        // Every game number is preceded by one blank: "SEND: 3 17".
        typed.message = "SEND:";
        std::size_t at = 0;
        while ((at = argument.find_first_not_of(' ', at)) != std::string::npos) {
            std::size_t end = std::min(argument.find(' ', at), argument.size());
            typed.message += " " + argument.substr(at, end - at);
            at = end;
        }
    } else if (command == "/email" && !argument.empty()) {
        typed.message = "EMAIL:" + argument;
    } else if (command == "/name") {
        typed.message = "CHANGE:" + argument;
    } else if (command == "/boot" && !argument.empty()) {
        typed.message = "BOOT:" + argument;
    } else if (command == "/srboot" && !argument.empty()) {
        typed.message = "SRBOOT:" + argument;
    } else {
        typed.unknown = true;
    }
    return typed;
}

ViewerClient::ViewerClient(DatagramSocket& socket, Clock& clock, ViewerSettings settings)
    : socket_(socket),
      clock_(clock),
      settings_(std::move(settings)),
      random_(settings_.lossSeed),
      // Start own numbers away from 1, so that a viewer started again soon after
      // a crash is not taken for a repeat of its former self.
      nextOwnSeq_(static_cast<SequenceNumber>(clock.TimeOfDay() * 10) % 800000 + 1) {}

void ViewerClient::Transmit(std::string_view text) {
    socket_.Send(settings_.server, settings_.port, text);
}

bool ViewerClient::Lose(double share) {
    if (share <= 0) return false;
    return std::uniform_real_distribution<double>(0, 1)(random_) < share;
}

void ViewerClient::Logon() {
    // The server numbers afresh after a restart: forget the numbers seen so far.
    seen_.clear();
    picture_.loggedOn = false;
    picture_.users.clear();
    picture_.partSeq.clear();
    lastLogon_ = clock_.Monotonic();
    lastPing_ = lastLogon_;
    lastNumbered_ = lastLogon_;
    SendRaw("LOGONv15:" + settings_.name);
}

void ViewerClient::Logoff() {
    lastLogon_ = -1;
    SendRaw("LOGOFF");
}

void ViewerClient::SendRaw(std::string_view text) {
    Transmit(text);
}

void ViewerClient::Send(std::string_view text) {
    if (!settings_.frameOwnMessages) {
        Transmit(text);
        return;
    }
    SequenceNumber seq = nextOwnSeq_++;
    Pending& p = pending_[seq];
    p.text = FrameMessage(seq, text);
    p.lastSent = clock_.Monotonic();
    p.sends = 1;
    Transmit(p.text);
}

void ViewerClient::HandleDatagram(const std::string& datagram) {
    ++stats_.datagrams;
    if (onDatagram) onDatagram(datagram);
    if (Lose(settings_.dropReceivedShare)) {
        ++stats_.lost;
        return;
    }
    Frame frame = ParseFrame(datagram);
    // A logged-on viewer's PING is answered with a numbered PONG; a plain one
    // with nothing numbered for a while (a congested viewer gets plain
    // messages too, but its re-sends go on) is the server's answer to a
    // stranger: it was started again and no longer knows this viewer, which
    // would otherwise keep its old game for ever.
    const double now = clock_.Monotonic();
    if (frame.seq == 0 && datagram == "PONG" && picture_.loggedOn &&
        now - lastNumbered_ >= kStrangerSilenceSeconds) {
        if (onNotice) onNotice("The server no longer knew this viewer: logging on again");
        Logon();
        return;
    }
    if (frame.seq == 0) {
        // The server's acknowledgement of one of our own framed messages.
        if (StartsWith(datagram, "ACK:")) {
            pending_.erase(ParseLongNumber(std::string_view(datagram).substr(4)));
            return;
        }
        ApplyMessage(picture_, datagram);
        if (onMessage) onMessage(datagram);
        if (onNumberedMessage) onNumberedMessage(0, datagram);
        if (datagram == "LOGON SUCCESSFUL") {
            lastLogon_ = -1;
            lastPing_ = clock_.Monotonic();
        }
        return;
    }
    ++stats_.framed;
    lastNumbered_ = now;
    if (settings_.acknowledge) {
        // Acknowledge repeats too: our earlier ACK may be the one that got lost.
        if (Lose(settings_.dropAckShare)) {
            ++stats_.acksLost;
        } else {
            ++stats_.acksSent;
            Transmit(AckText(frame.seq));
        }
    }
    // Older than everything remembered: acted upon long ago.
    bool repeat = seen_.count(frame.seq) != 0 ||
                  (seen_.size() >= kRememberedNumbers && frame.seq < *seen_.begin());
    if (repeat) {
        ++stats_.repeats;
        return;
    }
    seen_.insert(frame.seq);
    if (seen_.size() > kRememberedNumbers) seen_.erase(seen_.begin());
    if (settings_.recordActedOn) ++actedOn_[frame.seq];
    std::string text(frame.text);
    ApplyMessage(picture_, text, frame.seq);
    if (onMessage) onMessage(text);
    if (onNumberedMessage) onNumberedMessage(frame.seq, text);
}

int ViewerClient::Poll(int waitMs) {
    int taken = 0;
    Datagram d;
    int wait = waitMs;
    while (socket_.Receive(wait, d) == SocketError::kOk) {
        wait = 0;  // take what is already there without waiting again
        if (d.sender != settings_.server) continue;  // only the server talks to us
        ++taken;
        HandleDatagram(d.text);
    }
    Tick();
    return taken;
}

bool ViewerClient::PollUntil(const std::function<bool()>& done, double seconds, int waitMs) {
    const double end = clock_.Monotonic() + seconds;
    while (!done()) {
        if (clock_.Monotonic() >= end) return done();
        Poll(waitMs);
    }
    return true;
}

void ViewerClient::Tick() {
    const double now = clock_.Monotonic();
    for (auto it = pending_.begin(); it != pending_.end();) {
        Pending& p = it->second;
        if (now - p.lastSent < settings_.resendAfterSeconds) {
            ++it;
            continue;
        }
        if (p.sends >= settings_.maxSends) {
            ++stats_.ownGivenUp;
            it = pending_.erase(it);
            continue;
        }
        ++p.sends;
        p.lastSent = now;
        ++stats_.ownResends;
        Transmit(p.text);
        ++it;
    }
    if (lastLogon_ >= 0 && !picture_.loggedOn && now - lastLogon_ >= kLogonRetrySeconds) {
        lastLogon_ = now;
        SendRaw("LOGONv15:" + settings_.name);
    }
    if (settings_.pingEverySeconds > 0 && picture_.loggedOn &&
        now - lastPing_ >= settings_.pingEverySeconds) {
        lastPing_ = now;
        Send("PING");
    }
}

}  // namespace lantrel
