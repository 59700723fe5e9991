#include "app/tourney_requests.h"

#include <memory>
#include <string>
#include <vector>

#include "app/server.h"
#include "platform/files.h"
#include "text/text.h"
#include "tourney/tourney.h"

namespace lantrel {

namespace {

// The tournament PGN file named in the server's own server.ini.
PgnLookup TourneyPgnOf(const Server& server) {
    return LookUpTourneyPgn(server.File("server.ini"), server.os.workDir);
}

void SendReplies(Server& server, const std::vector<std::string>& replies) {
    // Every reply goes to the requester: a failed send may log a viewer off and
    // send notices to others, so the requester is set again before each one.
    IpAddress requester = server.channel.remoteIp;
    for (const auto& text : replies) {
        server.channel.remoteIp = requester;
        server.channel.outMessage = text;
        SendDatagram(server);
    }
}

}  // namespace

void SendResultTable(Server& server) {
    ++server.counters.resultTableRequests;
    PrintAt(server.os.console, 20, 24,
            "Result table requests:" + PrintForm(server.counters.resultTableRequests));
    auto table = std::make_unique<CrossTable>();  // about 3 MB: not on the stack
    SendReplies(server, ResultTableReply(*table, TourneyPgnOf(server)));
}

void SendGameList(Server& server) {
    auto table = std::make_unique<CrossTable>();
    SendReplies(server, GameListReply(*table, TourneyPgnOf(server), server.config.mailServer));
}

void SendGamesByEmail(Server& server) {
    SendGamesByEmailTo(server, EmailOfViewer(server, server.channel.remoteIp));
}

void SendGamesByEmailTo(Server& server, std::string_view address) {
    ++server.counters.emailCount;
    PrintAt(server.os.console, 18, 60, "Emails: " + PrintForm(server.counters.emailCount));
    EmailPlan plan = PlanEmail(TourneyPgnOf(server), server.config.mailServer,
                               server.config.returnAddress, address, server.channel.inMessage);
    if (!plan.operatorNotice.empty()) {
        PrintAt(server.os.console, 21, 1, plan.operatorNotice);
        WriteServerLog(server, plan.operatorNotice);
    }
    SendReplies(server, plan.replies);
    if (!plan.startMailer) return;

    std::string mailFile = server.File(kEmailFile);
    CreateEmptyFile(mailFile);
    if (!plan.emailLines.empty()) AppendLines(mailFile, plan.emailLines);
    const std::string mailLog = server.File(kEmailLog);
    AppendLine(mailLog, MailerLogLine(plan.mailer));
    // The cursor rests on the notice row; the mailer itself never writes on the
    // screen.
    server.os.console.MoveTo(21, 1);
    // Not waited for: the mailer's outcome goes to email.log only, its error
    // output too (it would otherwise be written over the status screen).
    if (!server.os.processes.Start(plan.mailer.program, plan.mailer.args, server.os.workDir,
                                   mailLog)) {
        // email.log is where the operator looks when a mail does not arrive.
        AppendLine(mailLog, plan.mailer.program + " could not be started");
    }
}

}  // namespace lantrel
