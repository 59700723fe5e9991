// The tournament requests on a running server: each counts and shows what the
// operator follows, computes its answer from the tournament PGN file, and sends
// it to the requester with unnumbered datagrams. Only viewers ask (logged-on
// ones and the local viewer), each one request at a time.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/platform.h"
#include "tourney/tourney.h"

namespace lantrel {

struct Server;
struct Request;

// A viewer's next tournament request within this many seconds of its previous
// answered one is turned away: answering takes a while and fills its line.
constexpr double kTourneyRequestGapSeconds = 10;
constexpr const char* kPleaseWaitNotice =
    "MSG:Please wait a few seconds: your previous request is still being answered.";

// A mailer still running, and the mail file it was given (full name).
struct MailerRun {
    ProcessId process = 0;
    std::string mailFile;
};

// What the tournament requests keep between requests.
struct TourneyDesk {
    // Monotonic seconds of the local viewer's last answered request; the logged-on
    // viewers' own are in their client records.
    std::optional<double> localViewerLastRequest;
    int mailFilesWritten = 0;  // in this run: the number of the last mail file
    std::vector<MailerRun> runningMailers;
    // The web listener's tournament pages and the live PGN's event: the PGN
    // they were read from (its name in server.ini, its stamp) and when that
    // was last looked at.
    struct PagesSource {
        std::string path;
        std::optional<FileStamp> stamp;
        bool operator==(const PagesSource&) const = default;
    };
    std::optional<PagesSource> webPagesSource;
    double webPagesCheckedAt = -1e9;
    // The page's tournament (/tourney.json) is built from the PGN's games as
    // last read (`pgnRead` false: no file to read) and this run's games; it is
    // built again when either changes: the PGN, or how far this run has come.
    std::vector<TaggedGame> pgnGames;
    bool pgnRead = false;
    std::string pgnEvent;
    struct RunProgress {
        std::size_t finished = 0;
        std::int32_t game = 0;
        std::string result;
        bool operator==(const RunProgress&) const = default;
    };
    std::optional<RunProgress> tourneyPageFor;
    // This run's earlier games handed to the listener (/games/N.json).
    std::size_t earlierGamesServed = 0;
};

// The path given by the first line of server.ini that starts with "TOURNEYPGN="
// (the rest of that line, untrimmed); empty when there is none or the file cannot
// be read. server.ini is read again on every request.
std::string FindTourneyPgn(const std::string& iniPath);

// FindTourneyPgn over `iniPath`, a relative PGN path resolved against `workDir`,
// then the file read whole.
PgnLookup LookUpTourneyPgn(const std::string& iniPath, const std::string& workDir);

// Adds RESULTTABLE, GAMELIST and SEND: to the viewer commands, each answered
// only when AdmitTourneyRequest lets it through.
void AddTourneyCommands(Server& server);
// Whether a tournament request is to be answered: from a logged-on viewer or the
// local viewer (anyone else gets not a byte back), and not within
// kTourneyRequestGapSeconds of that viewer's previous answered one (which is
// told kPleaseWaitNotice). An answered request's time is noted.
bool AdmitTourneyRequest(Server& server, const Request& request);

// Removes the mail files of the mailers that have ended; cheap when none runs.
void RemoveFinishedMailFiles(Server& server);
// Removes the mail files an earlier run left in the working folder.
void RemoveLeftoverMailFiles(const Server& server);

// "RESULTTABLE": the crosstable and the most recent games.
void SendResultTable(Server& server, const Request& request);
// "GAMELIST": the numbered list of games.
void SendGameList(Server& server, const Request& request);
// "SEND:": the chosen games by e-mail to the requester's stored address.
void SendGamesByEmail(Server& server, const Request& request);
// The same with the address given (SendGamesByEmail looks it up in the client table).
void SendGamesByEmailTo(Server& server, const Request& request, std::string_view address);

}  // namespace lantrel
