// Files that other programs write, gone wrong: the GUI log replaced by a binary
// file, cut short in the middle of a line, deleted and started again, grown past
// 2 GiB; a tournament PGN with broken tags, missing quotes and a 1 MB line; a
// server.ini of 10,000 MENU lines. The server stays up with bounded memory,
// keeps answering, and follows the real game once the log makes sense again.
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <random>

#include "hardening_fixture.h"
#include "tourney/tourney.h"

namespace lantrel::testing {
namespace {

std::string Fixture(const std::string& name) {
    return ReadWholeFile(std::string(LANTREL_FIXTURES) + "/" + name).value_or("");
}

// Placement and side to move of a FEN (the server sends three fields, a
// recording has six).
std::string PlacementAndSide(const std::string& fen) {
    std::istringstream fields(fen);
    std::string placement, side;
    fields >> placement >> side;
    return placement + " " + side;
}

// The recorded game: its log and the position it ends in.
struct RecordedGame {
    std::string log = Fixture("xboard/sf_sf.debug");
    std::string final = "8/4N2k/8/2n2KPP/8/8/8/8 w";

    // Length of the log up to the line end after `share` of it.
    std::size_t LineEndAfter(double share) const {
        return log.find('\n', static_cast<std::size_t>(log.size() * share)) + 1;
    }
};

void ReplaceFile(const TempDir& dir, const std::string& name, const std::string& content) {
    dir.Write(name + ".new", content);
    ASSERT_EQ(::rename(dir.File(name + ".new").c_str(), dir.File(name).c_str()), 0);
}

class LogFileTest : public HardeningTest {
  protected:
    void SetUp() override {
        ASSERT_FALSE(game.log.empty());
        // The first part of the game is there before the server starts.
        dir.Write("gui.log", game.log.substr(0, game.LineEndAfter(0.3)));
        StartWithControl("PATH=gui.log\nDELAYAFTERMOVE=0\nDELAYAFTERGAME=0\n");
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(FollowedUpTo(1, 30)) << "the server follows no game";
    }
    // Accepted moves written to server.log so far.
    int MoveLines() { return Occurrences(dir.Read("server.log"), "> Move"); }
    int NewGames() { return Occurrences(dir.Read("server.log"), "New Game"); }
    // Serves the control viewer until server.log holds `moves` accepted moves.
    bool FollowedUpTo(int moves, double seconds) {
        return control->client->PollUntil([&] { return MoveLines() >= moves; }, seconds);
    }
    // Serves the control viewer until it has been shown the game's last position.
    bool ShownFinalPosition(double seconds) {
        return control->client->PollUntil(
            [&] { return PlacementAndSide(control->picture().fen) == game.final; }, seconds);
    }

    RecordedGame game;
};

TEST_F(LogFileTest, ReplacedByBinaryFileThenByANewGame) {
    std::mt19937 random(8);
    std::string binary(2 << 20, '\0');
    for (char& c : binary)
        c = static_cast<char>(random());
    ReplaceFile(dir, "gui.log", binary);
    ServeControl(1);
    ExpectStillServing();

    // The GUI starts its log again (shorter than the binary one): a new game.
    const int newGames = NewGames();
    ReplaceFile(dir, "gui.log", game.log);
    EXPECT_TRUE(ShownFinalPosition(30)) << control->picture().fen;
    EXPECT_GT(NewGames(), newGames);
    ExpectStillServing();
}

TEST_F(LogFileTest, CutShortInTheMiddleOfALineThenWrittenOn) {
    const std::size_t read = game.LineEndAfter(0.6);
    const int moves = MoveLines();
    AppendBytes(dir.File("gui.log"),
                game.log.substr(game.LineEndAfter(0.3), read - game.LineEndAfter(0.3)));
    ASSERT_TRUE(FollowedUpTo(moves + 1, 30));

    // Shorter than what was read, and the last line without its end: the feed
    // starts again from the first byte and the half line waits for its end.
    // The cut lies before the part appended above, so it is shorter than what
    // was read however much of that part the server had seen.
    const int newGames = NewGames();
    const std::size_t cut = game.LineEndAfter(0.2) + 7;
    ASSERT_EQ(::truncate(dir.File("gui.log").c_str(), static_cast<off_t>(cut)), 0);
    ASSERT_TRUE(control->client->PollUntil([&] { return NewGames() > newGames; }, 15));
    AppendBytes(dir.File("gui.log"), game.log.substr(cut));
    EXPECT_TRUE(ShownFinalPosition(30)) << control->picture().fen;
    EXPECT_FALSE(Contains(dir.Read("server.log"), "rror")) << "a move was lost or garbled";
    ExpectStillServing();
}

TEST_F(LogFileTest, DeletedAndStartedAgain) {
    const int newGames = NewGames();
    ASSERT_EQ(::unlink(dir.File("gui.log").c_str()), 0);
    // The server finds no log: it creates it empty and starts a new game.
    ASSERT_TRUE(control->client->PollUntil([&] { return NewGames() > newGames; }, 15));
    EXPECT_TRUE(FileExists(dir.File("gui.log")));
    ExpectStillServing();

    // The GUI writes its new log in pieces.
    for (double share : {0.25, 0.5, 0.75}) {
        std::size_t from = StampOf(dir.File("gui.log")).value_or(FileStamp{}).length;
        AppendBytes(dir.File("gui.log"), game.log.substr(from, game.LineEndAfter(share) - from));
        ServeControl(0.05);
    }
    AppendBytes(dir.File("gui.log"),
                game.log.substr(StampOf(dir.File("gui.log")).value_or(FileStamp{}).length));
    EXPECT_TRUE(ShownFinalPosition(30)) << control->picture().fen;
    ExpectStillServing();
}

// A log past 2 GiB: a stretch of 2.05 GiB of NUL bytes (a sparse file, so it
// takes no disk space), then the rest of the game. The positions read must
// not wrap at 2^31, and the NUL "line" is cut to the longest line kept.
TEST_F(LogFileTest, GrownPastTwoGibibytes) {
    const std::string log = dir.File("gui.log");
    const std::size_t resume = game.LineEndAfter(0.5);
    const int moves = MoveLines();
    AppendBytes(log, game.log.substr(game.LineEndAfter(0.3), resume - game.LineEndAfter(0.3)));
    ASSERT_TRUE(FollowedUpTo(moves + 1, 30));

    const off_t grown = static_cast<off_t>(resume) + (static_cast<off_t>(2100) << 20);
    ASSERT_EQ(::truncate(log.c_str(), grown), 0);
    AppendBytes(log, "\n" + game.log.substr(resume));
    ASSERT_GT(StampOf(log).value_or(FileStamp{}).length, std::int64_t{1} << 31);

    EXPECT_TRUE(ShownFinalPosition(30)) << control->picture().fen;
    EXPECT_TRUE(Contains(dir.Read("server.log"), "Log line longer than"));
    ExpectStillServing();

    // And the log goes on growing beyond that.
    const int movesBefore = MoveLines();
    AppendBytes(log, "\n");
    ServeControl(0.5);
    EXPECT_EQ(MoveLines(), movesBefore);
    ExpectStillServing();
}

// ---- The tournament PGN --------------------------------------------------------

struct BadPgn {
    const char* name;
    std::string text;
};

std::vector<BadPgn> BadPgns() {
    const std::string game =
        "[Event \"e\"]\n[White \"Alpha\"]\n[Black \"Beta\"]\n[Result \"1-0\"]\n\n1. e4 1-0\n\n";
    std::mt19937 random(3);
    std::string binary(200000, '\0');
    for (char& c : binary)
        c = static_cast<char>(random());
    return {
        {"broken tags",
         game +
             "[White \"Gamma\"\n[Black Delta\"]\n[Result \"0-1\n[White]\n[Black \"\"]\n"
             "[Result \"\"]\n[WhiteElo \"2800\"]\n[White \n[Black\n[Result\n\"]\"]\"\n" +
             game},
        {"quotes missing",
         "[White Fritz]\n[Black Junior]\n[Result 1-0]\n[White Fritz]\n[Black Junior]\n"
         "[Result 1/2-1/2]\n" +
             game},
        {"only one quote per tag", "[White \"Open]\n[Black Close\"]\n[Result \"*]\n" + game},
        {"1 MB movetext line", game + std::string(1 << 20, 'e') + "\n" + game},
        {"1 MB tag value", "[White \"" + std::string(1 << 20, 'W') + "\"]\n[Black \"" +
                               std::string(1 << 20, 'B') + "\"]\n[Result \"1-0\"]\n" + game},
        {"1 MB line without a line end", game + std::string(1 << 20, '[')},
        {"binary", game + binary + game},
        {"CR only", "[White \"A\"]\r[Black \"B\"]\r[Result \"1-0\"]\r"},
        {"empty", ""},
        {"tags without games", std::string(5000, '\n') + "[Result \"1-0\"]\n"},
        {"three hundred and fifty players",
         [] {
             std::string many;
             for (int i = 0; i < 350; ++i)
                 many += "[White \"P" + std::to_string(i) + "\"]\n[Black \"P" +
                         std::to_string(i + 1) + "\"]\n[Result \"1-0\"]\n";
             return many;
         }()},
    };
}

using PgnTest = HardeningTest;

// What came back without the numbered messages every viewer receives (arrival
// notices, re-sends of the welcome).
std::vector<std::string> Answers(const std::vector<std::string>& got) {
    std::vector<std::string> answers;
    for (const auto& text : got)
        if (!StartsWith(text, "<")) answers.push_back(text);
    return answers;
}

TEST_F(PgnTest, BrokenTournamentFilesAreAnsweredAsRead) {
    StartWithControl("TOURNEYPGN=games.pgn\nMAILSERVER=smtp.example.org\n");
    // Only logged-on viewers are answered, each once in ten seconds: every
    // request comes from a viewer of its own.
    int askers = 0;
    auto loggedOnAsker = [&] {
        auto asker = std::make_unique<RawPeer>(PeerAddress(askers), port);
        EXPECT_TRUE(asker->LogOn("Asker" + std::to_string(askers++)));
        return asker;
    };
    for (const BadPgn& bad : BadPgns()) {
        SCOPED_TRACE(bad.name);
        dir.Write("games.pgn", bad.text);
        const PgnLookup pgn{PgnLookup::kRead, "games.pgn", bad.text};
        CrossTable table;
        for (const auto& [request, expected] :
             {std::pair{"RESULTTABLE", ResultTableReply(table, pgn)},
              std::pair{"GAMELIST", GameListReply(table, pgn, "smtp.example.org", "")}}) {
            auto asker = loggedOnAsker();
            ASSERT_EQ(asker->opened, SocketError::kOk);
            asker->Send(request);
            std::vector<std::string> got;
            if (expected.empty()) {
                got = asker->Collect(0.3);
            } else {
                const std::size_t lines = expected.size();
                asker->ReceiveUntil(
                    [&](const std::string&) { return Answers(got).size() >= lines; }, 5, &got);
            }
            EXPECT_EQ(Answers(got), expected) << request;
        }
        ASSERT_TRUE(ControlServed());
    }
    ExpectStillServing();
}

// ---- server.ini ------------------------------------------------------------------

using IniFileTest = HardeningTest;

// 10,000 MENU lines, some 10,000 bytes long, some with numbers out of range or
// no blank after the number: the last line of each number 1..10 stands.
TEST_F(IniFileTest, TenThousandMenuLines) {
    std::string ini;
    std::vector<std::string> expected(11);
    for (int n = 0; n < 10000; ++n) {
        const int id = n % 13;  // 0, 11 and 12 are out of range
        std::string line = "MENU ID=" + std::to_string(id) + " caption " + std::to_string(n);
        if (n % 97 == 0) line += " " + std::string(10000, 'm');
        if (n % 89 == 0) line = "MENU ID=" + std::to_string(id);  // no blank: ignored
        if (n % 83 == 0) line = "MENU ID=99999999999 too big";
        ini += line + "\n";
        if (id >= 1 && id <= 10 && n % 89 != 0 && n % 83 != 0) expected[id] = line;
    }
    StartWithControl(ini);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(
        control->client->PollUntil([&] { return control->picture().menu.size() >= 10; }, 5));
    EXPECT_EQ(control->picture().menu,
              std::vector<std::string>(expected.begin() + 1, expected.end()));
    ExpectStillServing();
}

}  // namespace
}  // namespace lantrel::testing
