#include "app/tourney_requests.h"

#include <memory>
#include <string>
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

// The tournament PGN file named in the server's own server.ini.
PgnLookup TourneyPgnOf(const Server& server) {
    return LookUpTourneyPgn(server.File("server.ini"), server.os.workDir);
}

void SendReplies(Server& server, IpAddress requester, const std::vector<std::string>& replies) {
    for (const std::string& text : replies)
        SendDatagram(server.net, requester, text);
}

}  // namespace

void AddTourneyCommands(Server& server) {
    AddCommand(server.net, {[](const std::string& t) { return t == "RESULTTABLE"; },
                            [&server](Request& r) { SendResultTable(server, r); }});
    AddCommand(server.net, {[](const std::string& t) { return t == "GAMELIST"; },
                            [&server](Request& r) { SendGameList(server, r); }});
    AddCommand(server.net, {[](const std::string& t) { return StartsWith(t, "SEND:"); },
                            [&server](Request& r) { SendGamesByEmail(server, r); }});
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
    EmailPlan plan = PlanEmail(TourneyPgnOf(server), server.config.mailServer,
                               server.config.returnAddress, address, request.text);
    if (!plan.operatorNotice.empty()) {
        server.screen.ShowOperatorNotice(plan.operatorNotice);
        server.journal.Write(plan.operatorNotice);
    }
    SendReplies(server, request.sender, plan.replies);
    if (!plan.startMailer) return;

    std::string mailFile = server.File(kEmailFile);
    CreateEmptyFile(mailFile);
    if (!plan.emailLines.empty()) AppendLines(mailFile, plan.emailLines);
    const std::string mailLog = server.File(kEmailLog);
    AppendLine(mailLog, MailerLogLine(plan.mailer));
    server.screen.ShowMailerStarting();
    // Not waited for: the mailer's outcome goes to email.log only, its error
    // output too (it would otherwise be written over the status screen).
    if (!server.os.processes.Start(plan.mailer.program, plan.mailer.args, server.os.workDir,
                                   mailLog)) {
        // email.log is where the operator looks when a mail does not arrive.
        AppendLine(mailLog, plan.mailer.program + " could not be started");
    }
}

}  // namespace lantrel
