// The tournament services: answers to viewers' requests computed from the
// tournament PGN file named by "TOURNEYPGN=" in server.ini.
//
//   RESULTTABLE  -> "CT:" lines: crosstable, total games, most recent games
//   GAMELIST     -> one "GL:" line per game, most recent first
//   SEND: n n .. -> the chosen games in a mail file, mailed by the external gbmail
//
// Everything is computed afresh from the file on every request. These are pure
// steps that turn the file's text and the request into the reply texts
// (unit-tested byte for byte); the server looks the file up, counts, shows and
// sends them (app/tourney_requests.h).
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lantrel {

constexpr int kTablePlayers = 300;            // entries of CrossTable::players
constexpr int kRecentGames = 300;             // entries of the recentGames ring
constexpr std::size_t kPlayerNameWidth = 40;  // name field of the table and the ring
constexpr std::size_t kListNameWidth = 20;    // names are cut shorter in the game list
constexpr std::size_t kResultWidth = 8;
constexpr std::size_t kMaxCellLength = 100;  // results kept per pair of players
constexpr int kMaxEmailTagLines = 20;

// ---- Tables --------------------------------------------------------------------
// Text fields are kept without their blank padding; the formatters pad them to
// their field widths.

struct PlayerEntry {
    std::string name;  // upper case, at most 40 characters; empty = free entry
    std::int32_t games = 0;
    float points = 0;  // 1 per win, 0.5 per draw
};

struct GameEntry {
    std::int32_t number = 0;  // running number in the file, from 1; 0 = empty entry
    std::string white;
    std::string black;
    std::string result;
};

// Standings, pairings and the ring of recent games: working space of one request
// (about 3 MB, most of it the cells), built for it and gone with it. Entry 0 of each table is
// unused except recentGames[0].number, which is the ring cursor (the entry written last).
struct CrossTable {
    CrossTable();

    std::array<PlayerEntry, kTablePlayers + 1> players;
    std::array<GameEntry, kRecentGames + 1> recentGames;
    // cells(r, c): results of player r against player c in file order, one character
    // per game: "1" won, "0" lost, "=" drawn. Player numbers are table positions.
    std::vector<std::string> cells;
    std::int32_t gameCount = 0;  // games met so far in this request
    std::int32_t cellWidth = 0;  // length of the longest cell
    // Names met when every entry of `players` was taken (they are left out).
    std::set<std::string> leftOutNames;
    // Where each name stands in `players`: the walk over the entries, made quick.
    std::unordered_map<std::string, int> playerIndex;

    std::string& Cell(int r, int c) { return cells[Index(r, c)]; }
    const std::string& Cell(int r, int c) const { return cells[Index(r, c)]; }

  private:
    static std::size_t Index(int r, int c) {
        return static_cast<std::size_t>(r) * (kTablePlayers + 1) + static_cast<std::size_t>(c);
    }
};

// ---- The PGN file ---------------------------------------------------------------

// What a request found: the configured path and, when it could be read, the text.
struct PgnLookup {
    enum Status {
        kNotConfigured,  // no "TOURNEYPGN=" line (or server.ini unreadable)
        kNotFound,       // no file of that name
        kUnreadable,     // the file is there but cannot be opened
        kRead,
    };
    Status status = kNotConfigured;
    std::string path;  // as written in server.ini
    std::string text;  // the whole file when status is kRead
};

// One game as the tag scan hands it over.
struct TaggedGame {
    std::string white;           // upper case, blanks trimmed at both ends
    std::string black;           // likewise
    std::string whiteAsWritten;  // the same names in the file's own case
    std::string blackAsWritten;
    std::string result;          // upper case, untrimmed; carried over from the previous game
                                 // when this game's tags held no Result line
    bool resultTagSeen = false;  // a Result tag line was read since the previous game
};

// The tag scan. Lines are upper-cased; "[WHITE ", "[BLACK " and "[RESULT" lines
// set their value (text between the first quote and the next one) and count as
// tag lines; after every third such line a game is complete. Values carry over
// from one game to the next, so a game missing a tag inherits the previous one.
std::vector<TaggedGame> ScanPgnTags(std::string_view pgnText);

// The file's event: the value of its first "[Event" tag line, blanks trimmed;
// empty when it has none, or "?".
std::string PgnEvent(std::string_view pgnText);

// ---- Results table -----------------------------------------------------------

// Every player entry blank, every cell empty, the ring empty, counters 0.
void ClearCrossTable(CrossTable& table);
// First pass over one game: the ring of recent games and the standings.
void CountGame(CrossTable& table, const TaggedGame& game);
// Descending points; equal points keep their order of first appearance.
void SortPlayers(CrossTable& table);
// Descending game number, empty entries last. The ring cursor stays.
void SortRecentGames(CrossTable& table);
// Second pass over one game: appends the result to the two cells of the pair.
// `result` is the game's own Result value (empty when its tags held none).
void AddCrossTableGame(CrossTable& table, const std::string& white, const std::string& black,
                       const std::string& result);
// The lines sent after the table is built: "CTRESET", the header, rule, one row per
// player, the totals and the list of recent games (each "CT:" line complete).
std::vector<std::string> CrossTableLines(const CrossTable& table);
// The whole answer to "RESULTTABLE", in sending order.
std::vector<std::string> ResultTableReply(CrossTable& table, const PgnLookup& pgn);

// Number masks of the table: "* ##." rank, "* ###" games, "* ##0.0" points, "* ####".
std::string RankField(std::int32_t rank);
std::string GamesField(std::int32_t games);
std::string PointsField(float points);
std::string GameNumberField(std::int32_t number);

// ---- Game list -----------------------------------------------------------------

// The "GL:" lines of the games in `games`, most recent 300 first (the ring of
// `table` is cleared and refilled; players and cells are not touched).
std::vector<std::string> GameListLines(CrossTable& table, const std::vector<TaggedGame>& games);
// The whole answer to "GAMELIST". It is refused whenever "SEND:" would refuse the
// mail settings (MAILSERVER= empty, or either setting not plain).
std::vector<std::string> GameListReply(CrossTable& table, const PgnLookup& pgn,
                                       std::string_view mailServer, std::string_view returnAddress);

// ---- Standings for the web page -------------------------------------------------
// The tournament as the page shows it: the PGN's games and this run's
// results before the GUI has saved them, with the names as they are written.

// One game of this run.
struct RunGame {
    std::int32_t number = 0;  // its number in this run
    std::string white;
    std::string black;
    std::string result;     // "1-0", "0-1", "1/2-1/2"; empty while it goes on
    bool hasMoves = false;  // a game lost before its first move is one the GUI saves not
};

struct ListedGame {
    std::int32_t number = 0;  // in the list, from 1, in the order played
    std::string white;
    std::string black;
    std::string result;
    std::int32_t runGame = 0;  // the same game's number in this run; 0 when none of its
};

// With a PGN (`pgnGames` read, `havePgn`): its games, then this run's decided
// games it does not hold yet. The GUI saves each game once it is over, in the
// order played, so the file ends with as many of the run's first decided
// games as it has saved (the most that match, by names without case and
// result); a game lost before its first move is none the GUI saves. Without
// a PGN: this run's decided games alone.
std::vector<ListedGame> ListTourneyGames(const std::vector<TaggedGame>& pgnGames, bool havePgn,
                                         const std::vector<RunGame>& run);

struct Standing {
    std::string name;            // as first written
    double points = 0;           // 1 a win, 0.5 a draw
    std::int32_t games = 0;      // games with a result
    std::int32_t firstGame = 0;  // the list number of its first game: the tie-break
};

// Descending points; equal points keep the order in which the players first
// appear (a game's White before its Black), as the text crosstable ranks them.
// A player is known by the name without case; a game missing a name counts
// for nobody.
std::vector<Standing> RankPlayers(const std::vector<ListedGame>& games);

// Row r, column c: the results of standings[r] against standings[c] in the
// order played, one character a game: "1" won, "0" lost, "=" drawn.
std::vector<std::vector<std::string>> CrossResults(const std::vector<ListedGame>& games,
                                                   const std::vector<Standing>& standings);

// ---- Games by e-mail -----------------------------------------------------------

// A plain address: letters, digits and ". _ + -" before one "@", letters, digits,
// "." and "-" after it; neither part empty nor beginning with "-". Nothing in it
// means anything to a command interpreter.
bool IsPlainMailAddress(std::string_view address);
// A host name (letters, digits, "." and "-", not beginning with "-"), optionally
// followed by ":" and a port number.
bool IsPlainMailServer(std::string_view server);
// Why MAILSERVER= and RETURNADD= (blanks around them dropped) cannot be handed to
// the mailer, as a notice for the operator; empty when they can. Callers check for
// an empty MAILSERVER= first: that is e-mail left unconfigured, nothing to report.
std::string MailSettingsProblem(std::string_view mailServer, std::string_view returnAddress);

// The lines of the mail file for a "SEND:" request: for every finished game whose
// number (counted over games with result 1-0, 0-1 or 1/2-1/2 only) appears in the
// request with a blank on each side, an empty line, the game's tag lines up to its
// Result line (at most 20) and the rest of the game up to the blank line after
// its moves. `request` is the text as the viewer sent it.
std::vector<std::string> SelectGamesForEmail(std::string_view pgnText, std::string_view request);

// The files of a request, in the server's working directory: the chosen games
// for the mailer, in a file of the request's own ("email-" + number + ".txt",
// numbered from 1 in each run of the server), and the log of every mailer
// started with all it printed.
std::string MailFileName(int number);
// Whether `name` is the name of such a mail file.
bool IsMailFileName(std::string_view name);
constexpr const char* kEmailLog = "email.log";

// The mailer as it is started: gbmail and its arguments.
struct MailerCall {
    std::string program;
    std::vector<std::string> args;
    bool operator==(const MailerCall&) const = default;
};
// gbmail -to ADDRESS -file MAILFILE -h MAILSERVER -from RETURNADD -s SUBJECT, each
// value one argument (an empty return address an empty one).
MailerCall MailerCallFor(std::string_view address, std::string_view mailFile,
                         std::string_view mailServer, std::string_view returnAddress);
// The call as email.log records it: the words separated by blanks, a word with
// characters other than letters, digits and ". _ + - @ :" in double quotes, as
// it would be typed at a command prompt.
std::string MailerLogLine(const MailerCall& call);

// What a "SEND:" request is to do, decided without touching anything.
struct EmailPlan {
    std::vector<std::string> replies;  // "MSG:" texts for the requester, in order
    std::string operatorNotice;        // for the console and server.log; empty if none
    bool startMailer = false;          // write the mail file and email.log, start the mailer
    std::vector<std::string> emailLines;
    MailerCall mailer;
};
// `mailFile` is the name the mailer is to be given for the chosen games.
EmailPlan PlanEmail(const PgnLookup& pgn, std::string_view mailServer,
                    std::string_view returnAddress, std::string_view address,
                    std::string_view request, std::string_view mailFile);

}  // namespace lantrel
