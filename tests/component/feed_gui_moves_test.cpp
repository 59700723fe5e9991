// Moves and positions the GUI gives its engines itself, driven line by line
// through ProcessLogLine on the fake platform with one viewer logged on: opening
// moves sent to one engine and then relayed to the other, relays after every
// engine move, "new" between games, setboard positions, the old "edit" set-up
// and UCI "position" lines. The line shapes are those of XBoard 4.9.1 logs.
#include <algorithm>

#include "feed_fixture.h"
#include "text/text.h"

namespace lantrel {
namespace {

using testing::kViewer;
constexpr const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq";
// The Italian after 3...Bc5 and 4. ... (White to move), and a Nimzo-Indian
// position with Black to move, as XBoard's position file gives them.
constexpr const char* kItalian =
    "r1bqk1nr/pppp1ppp/2n5/2b1p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 1";
constexpr const char* kNimzo = "rnbqkb1r/pppp1ppp/4pn2/8/2PP4/2N5/PP2PPPP/R1BQKBNR b KQkq - 1 1";

class GuiMovesTest : public testing::FeedTest {
  protected:
    void SetUp() override {
        StartWithViewer("PATH=gui.log\nDELAYAFTERMOVE=0\nDELAYAFTERGAME=0\n");
        Lines({"StartChildProcess (dir=\"\") polyglot -ec \"stockfish\"",
               "StartChildProcess (dir=\".\") fairymax", "100 >first : new", "100 >first : force"});
        f.socket.sent.clear();
    }
    std::vector<std::string> MoveMessages() const {
        std::vector<std::string> moves;
        for (const std::string& text : Received()) {
            if (StartsWith(text, "WMOVE:") || StartsWith(text, "BMOVE:")) moves.push_back(text);
        }
        return moves;
    }
    int LogCount(const std::string& pattern) const {
        int n = 0;
        for (const std::string& line : f.LogLines())
            n += line.find(pattern) != std::string::npos ? 1 : 0;
        return n;
    }
    std::string Fen() const { return f->feed.game.fen; }
};

TEST_F(GuiMovesTest, OpeningSentToBothEnginesIsPlayedOnce) {
    // XBoard gives the first engine the opening, starts the second engine, and
    // then gives it the opening too (usermove lines repeat stamp and marker).
    Lines({"200 >first : usermove 200 >first : e2e4", "200 >first : usermove 200 >first : e7e5",
           "200 >first : usermove 200 >first : g1f3"});
    EXPECT_EQ(f->feed.game.plyCount, 3);
    EXPECT_EQ(MoveMessages(),
              (std::vector<std::string>{"WMOVE: 1. e4", "BMOVE: 1. e5", "WMOVE: 2. Nf3"}));
    const int games = f->feed.game.gameNumber;
    Lines({"900 >second: new", "900 >second: force", "950 >second: e2e4", "950 >second: e7e5",
           "950 >second: g1f3"});
    EXPECT_EQ(f->feed.game.gameNumber, games);  // the second engine's "new" starts no game
    EXPECT_EQ(f->feed.game.plyCount, 3);
    EXPECT_EQ(MoveMessages().size(), 3u);

    // The engine told to go first has the side to move: Black after three plies.
    Lines({"960 >second: go"});
    EXPECT_EQ(f->feed.game.secondEngineColour, PieceColour::kBlack);
    EXPECT_EQ(f->feed.game.firstEngineColour, PieceColour::kWhite);
    Lines({"1000 <second: move b8c6", "1000 >first : usermove 1000 >first : b8c6",
           "1000 >first : go", "1100 <first : move f1b5", "1100 >second: f1b5"});
    EXPECT_EQ(f->feed.game.plyCount, 5);
    EXPECT_EQ(MoveMessages().back(), "WMOVE: 3. Bb5");
    EXPECT_EQ(f->feed.game.moveErrorCount, 0);
    EXPECT_EQ(LogCount("Cannot find"), 0);

    // The journal tells the GUI's moves from the engines' moves.
    const auto log = f.LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "<200> GUI move e2e4 to first engine"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "<200> Move  1: e2e4, Index =  10"), log.end());
    EXPECT_EQ(LogCount("GUI move"), 3);
    EXPECT_EQ(LogCount(", Index = "), 5);
}

TEST_F(GuiMovesTest, RelayAfterEveryEngineMoveIsNeverPlayed) {
    Lines({"150 >second: new", "150 >second: force", "200 >first : go"});
    const char* game[][2] = {{"e2e4", "e7e5"}, {"g1f3", "b8c6"}, {"f1c4", "g8f6"}};
    int stamp = 300;
    for (const auto& pair : game) {
        const std::string s = std::to_string(stamp++);
        // The second engine's relay in the usermove shape, the first engine's bare.
        Lines({s + " <first : move " + pair[0],
               s + " >second: usermove " + s + " >second: " + pair[0],
               s + " <second: move " + pair[1], s + " >first : " + pair[1]});
    }
    EXPECT_EQ(f->feed.game.plyCount, 6);
    EXPECT_EQ(MoveMessages().size(), 6u);
    EXPECT_EQ(f->feed.game.moveErrorCount, 0);
    EXPECT_EQ(LogCount("GUI move"), 0);
    EXPECT_EQ(Fen(), "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq");
}

TEST_F(GuiMovesTest, NewBetweenGamesStartsTheNextOpeningAfresh) {
    auto playGame = [this](const std::string& opening1, const std::string& opening2) {
        Lines({"200 >first : " + opening1, "200 >first : " + opening2, "300 >second: new",
               "300 >second: force", "310 >second: " + opening1, "310 >second: " + opening2,
               "320 >first : go"});
    };
    playGame("e2e4", "c7c5");
    Lines({"400 <first : move g1f3", "400 >second: g1f3", "500 <second: move d7d6",
           "500 >first : usermove 500 >first : d7d6", "600 >first : result 1/2-1/2 {adjudication}",
           "600 >second: result 1/2-1/2 {adjudication}", "610 >first : new", "610 >first : force"});
    EXPECT_EQ(f->feed.game.plyCount, 0);
    EXPECT_EQ(Fen(), kStart);
    const int games = f->feed.game.gameNumber;

    // Game 2 with another opening: both counts start again from the "new".
    f.socket.sent.clear();
    playGame("d2d4", "g8f6");
    EXPECT_EQ(f->feed.game.gameNumber, games);
    EXPECT_EQ(f->feed.game.plyCount, 2);
    EXPECT_EQ(MoveMessages(), (std::vector<std::string>{"WMOVE: 1. d4", "BMOVE: 1. Nf6"}));
    Lines({"700 <first : move c2c4", "700 >second: c2c4"});
    EXPECT_EQ(f->feed.game.plyCount, 3);
    EXPECT_EQ(f->feed.game.moveErrorCount, 0);
    EXPECT_EQ(LogCount("Cannot find"), 0);
    EXPECT_EQ(LogCount("GUI move"), 4);
}

TEST_F(GuiMovesTest, CommandsAndIllegalMovesAreNeverMoves) {
    Lines({"200 >first : time 1000", "200 >first : otim 1000", "200 >first : hard",
           "200 >first : computer", "200 >first : random", "200 >first : level 40 0:10 0",
           "200 >first : ping 3", "200 >first : name Fairy-Max 5.0b", "200 >first : ics -"});
    EXPECT_EQ(f->feed.game.plyCount, 0);
    // A move that is not legal here is ignored, with a note and without an error.
    Lines({"210 >first : e2e5", "210 >first : usermove 210 >first : e7e5"});
    EXPECT_EQ(f->feed.game.plyCount, 0);
    EXPECT_EQ(f->feed.game.moveErrorCount, 0);
    EXPECT_EQ(LogCount("Cannot find"), 0);
    const auto log = f.LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "<210> GUI move e2e5 to first engine is not legal here: ignored"),
              log.end());
    EXPECT_TRUE(MoveMessages().empty());
    // SAN from the GUI (engines with the san feature) is a move like any other.
    Lines({"220 >first : Nf3"});
    EXPECT_EQ(MoveMessages(), (std::vector<std::string>{"WMOVE: 1. Nf3"}));
}

TEST_F(GuiMovesTest, SetboardStartsTheGameFromThePosition) {
    Lines({std::string("300 >first : setboard ") + kItalian});
    EXPECT_EQ(Fen(), "r1bqk1nr/pppp1ppp/2n5/2b1p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq");
    EXPECT_EQ(Received(), (std::vector<std::string>{"FEN: " + Fen()}));
    EXPECT_EQ(f->feed.game.plyCount, 0);
    EXPECT_EQ(f->feed.chess.halfmoveClock, 4);
    EXPECT_EQ(f.screen.Row(13).substr(1, 15), "P P P P . P P P");  // rank 2, repainted
    EXPECT_EQ(LogCount("> GUI position " + std::string(kItalian) + " to first engine"), 1);

    // The second engine joins the game: its "new" and the same setboard change nothing.
    f.socket.sent.clear();
    const int games = f->feed.game.gameNumber;
    Lines({"500 >second: new", "500 >second: force",
           std::string("510 >second: setboard ") + kItalian, "520 >first : go"});
    EXPECT_EQ(f->feed.game.gameNumber, games);
    EXPECT_TRUE(Received().empty());
    Lines({"600 <first : move e1g1", "600 >second: e1g1", "700 <second: move g8f6",
           "700 >first : usermove 700 >first : g8f6"});
    EXPECT_EQ(MoveMessages(), (std::vector<std::string>{"WMOVE: 1. O-O", "BMOVE: 1. Nf6"}));
    EXPECT_EQ(f->feed.game.plyCount, 2);

    // The same position sent again later brings an engine back to its start:
    // the relays that follow are not played again.
    Lines({std::string("800 >second: setboard ") + kItalian, "800 >second: e1g1",
           "800 >second: g8f6"});
    EXPECT_EQ(f->feed.game.plyCount, 2);
    EXPECT_EQ(f->feed.game.moveErrorCount, 0);
}

TEST_F(GuiMovesTest, SetboardWithBlackToMoveNumbersMovesFromThePosition) {
    Lines({std::string("300 >first : setboard ") + kNimzo, "400 >second: new",
           std::string("400 >second: setboard ") + kNimzo, "410 >second: go"});
    // The engine told to go first has Black, the side to move.
    EXPECT_EQ(f->feed.game.secondEngineColour, PieceColour::kBlack);
    EXPECT_EQ(f->feed.game.firstEngineColour, PieceColour::kWhite);
    Lines({"500 <second: move f8b4", "500 >first : f8b4", "500 >first : white", "500 >first : go",
           "600 <first : move e2e3", "600 >second: usermove 600 >second: e2e3",
           "700 <second: move c7c5"});
    EXPECT_EQ(MoveMessages(),
              (std::vector<std::string>{"BMOVE: 1. Bb4", "WMOVE: 1. e3", "BMOVE: 2. c5"}));
    EXPECT_EQ(f->feed.game.moveErrorCount, 0);
}

TEST_F(GuiMovesTest, BadFenIsNotedAndThePositionKept) {
    Lines({"200 >first : e2e4"});
    const std::string before = Fen();
    f.socket.sent.clear();
    Lines({"300 >first : setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1",
           "301 >first : setboard 8/8/8/8/8/8/8/K7 w - - 0 1"});
    EXPECT_EQ(Fen(), before);
    EXPECT_EQ(f->feed.game.plyCount, 1);
    EXPECT_TRUE(Received().empty());
    const auto log = f.LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "<300> Bad FEN from the GUI (7 ranks instead of 8), position kept: "
                        "setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1"),
              log.end());
    EXPECT_EQ(LogCount("Bad FEN"), 2);
}

TEST_F(GuiMovesTest, EditSetUpGivesThePositionAndItsPiecesAreNoMoves) {
    // fairymax has no setboard: XBoard places the pieces one by one. "Nf3"
    // would be a legal move from the start position; in edit mode it is not.
    Lines({"300 >second: new", "300 >second: force", "310 >second: edit", "310 >second: #"});
    for (const char* piece : {"Ke1", "Ra1", "Rh1", "Nf3", "Pe4", "c", "Ke8", "Pe5", "Nc6"})
        Lines({std::string("310 >second: ") + piece});
    EXPECT_EQ(f->feed.game.plyCount, 0);
    EXPECT_EQ(Fen(), kStart);
    Lines({"310 >second: ."});
    EXPECT_EQ(Fen(), "4k3/8/2n5/4p3/4P3/5N2/8/R3K2R w KQ");
    Lines({"400 >second: go", "410 <second: move e1g1"});
    EXPECT_EQ(MoveMessages(), (std::vector<std::string>{"WMOVE: 1. O-O"}));
}

TEST_F(GuiMovesTest, EditWithBlackToMoveIsNoMove) {
    // The protocol's way to an edit set-up with Black to move: a placeholder
    // move, then "edit". The placeholder is never shown, even where it is legal.
    Lines({"300 >first : a2a3", "300 >first : edit", "300 >first : #"});
    for (const char* piece : {"Ke1", "Pd4", "c", "Ke8", "Pd5"})
        Lines({std::string("300 >first : ") + piece});
    Lines({"300 >first : ."});
    EXPECT_EQ(Fen(), "4k3/8/8/3p4/3P4/8/8/4K3 b ");
    EXPECT_EQ(f->feed.game.plyCount, 0);
    EXPECT_TRUE(MoveMessages().empty());

    // 1. a3 from an opening is a move like any other.
    Lines({"400 >first : new", "400 >first : force", "410 >first : a2a3", "410 >first : e7e5"});
    EXPECT_EQ(MoveMessages(), (std::vector<std::string>{"WMOVE: 1. a3", "BMOVE: 1. e5"}));
}

// One engine gets the position by setboard, the other (as fairymax would) by
// "edit", which carries no castling rights and no en-passant square, in either
// order: the game goes on from the setboard position, rights and all.
struct SetUpCase {
    const char* name;
    const char* fen;    // what setboard gives
    const char* start;  // the position text the viewer must be shown for it
    const char* move;   // the engine's first move: it needs the true rights
    const char* shown;  // the move as the viewer gets it
    const char* after;  // the position text after it
};
const SetUpCase kSetUpCases[] = {
    {"EnPassant", "r1bqk1nr/pppp2pp/2n5/2b1Pp2/2B5/5N2/PPPP1PPP/RNBQR1K1 w kq f6 0 1",
     "r1bqk1nr/pppp2pp/2n5/2b1Pp2/2B5/5N2/PPPP1PPP/RNBQR1K1 w kq", "e5f6", "WMOVE: 1. exf6",
     "r1bqk1nr/pppp2pp/2n2P2/2b5/2B5/5N2/PPPP1PPP/RNBQR1K1 b kq"},
    {"NoCastling", "4k2r/8/8/8/8/8/8/R2QK2R w - - 0 1", "4k2r/8/8/8/8/8/8/R2QK2R w ", "h1h8",
     "WMOVE: 1. Rxh8", "4k2R/8/8/8/8/8/8/R2QK3 b "},
    {"BlackTakesEnPassant", "r1bqkb1r/pp3ppp/4pn2/8/2pP4/4P3/PPN1NPPP/R1BQK2R b Kq d3 0 1",
     "r1bqkb1r/pp3ppp/4pn2/8/2pP4/4P3/PPN1NPPP/R1BQK2R b Kq", "c4d3", "BMOVE: 1. cxd3",
     "r1bqkb1r/pp3ppp/4pn2/8/8/3pP3/PPN1NPPP/R1BQK2R w Kq"},
};

class SetUpOrderTest : public GuiMovesTest,
                       public ::testing::WithParamInterface<std::tuple<SetUpCase, bool>> {
  protected:
    void Send(const std::string& to, const std::string& text) {
        ProcessLogLine(f->feed, (to == "first" ? "300 >first : " : "300 >second: ") + text);
    }
    // What XBoard sends an engine without setboard: a placeholder move when
    // Black is to move, then the pieces of each colour ("Ke1", "c", "Ke8").
    void Edit(const std::string& to, const std::string& fen) {
        Send(to, "new");
        Send(to, "force");
        if (fen.find(" b ") != std::string::npos) Send(to, "a2a3");
        Send(to, "edit");
        Send(to, "#");
        for (const bool white : {true, false}) {
            int square = 0;  // a8 = 0, h1 = 63
            for (const char c : fen.substr(0, fen.find(' '))) {
                if (c >= '1' && c <= '8') square += c - '0';
                if (c == '/' || (c >= '1' && c <= '8')) continue;
                const std::string name{static_cast<char>('a' + square % 8),
                                       static_cast<char>('8' - square / 8)};
                ++square;
                if ((c < 'a') == white) Send(to, static_cast<char>(c & ~0x20) + name);
            }
            if (white) Send(to, "c");
        }
        Send(to, ".");
    }
};

TEST_P(SetUpOrderTest, SetboardPositionIsTheTrueOne) {
    const auto& [c, editFirst] = GetParam();
    if (editFirst) Edit("second", c.fen);
    Send("first", "new");
    Send("first", std::string("setboard ") + c.fen);
    if (!editFirst) Edit("second", c.fen);
    const std::vector<std::string> seen = Received();
    const auto lastFen = std::find_if(seen.rbegin(), seen.rend(),
                                      [](const std::string& t) { return StartsWith(t, "FEN: "); });
    ASSERT_NE(lastFen, seen.rend());
    EXPECT_EQ(*lastFen, std::string("FEN: ") + c.start);
    EXPECT_EQ(f->record.current().startFullFen, c.fen);  // the live PGN's FEN tag

    Send("first", "go");
    ProcessLogLine(f->feed, std::string("400 <first : move ") + c.move);
    EXPECT_EQ(MoveMessages(), std::vector<std::string>{c.shown});
    EXPECT_EQ(Fen(), c.after);
    EXPECT_EQ(LogCount("Cannot find"), 0);
}

INSTANTIATE_TEST_SUITE_P(BothOrders, SetUpOrderTest,
                         ::testing::Combine(::testing::ValuesIn(kSetUpCases), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_EditFirst" : "_SetboardFirst");
                         });

TEST_F(GuiMovesTest, UciPositionLinesPlayWhatExtendsTheGame) {
    // Arena's lines as the translation gives them, book moves first.
    Lines({"2021-03-28 20:19:25.113 >first : position startpos moves e2e4 e7e5",
           "2021-03-28 20:19:25.113 >first : go wtime 9210 btime 9170 movestogo 39"});
    EXPECT_EQ(MoveMessages(), (std::vector<std::string>{"WMOVE: 1. e4", "BMOVE: 1. e5"}));
    EXPECT_EQ(f->feed.game.firstEngineColour, PieceColour::kWhite);
    EXPECT_EQ(LogCount("<2021-03-28 20:19:25.113> GUI move e7e5 to first engine"), 1);
    Lines({"2021-03-28 20:19:26.000 <first : move g1f3",
           "2021-03-28 20:19:26.000 >second: position startpos moves e2e4 e7e5 g1f3",
           "2021-03-28 20:19:26.000 >second: go wtime 9000 btime 9000"});
    EXPECT_EQ(f->feed.game.plyCount, 3);  // nothing missing: nothing played

    // A ponder position holds the move the engine expects: never the game's.
    Lines({"2021-03-28 20:19:26.100 >first : position startpos moves e2e4 e7e5 g1f3 b8c6",
           "2021-03-28 20:19:26.100 >first : go ponder wtime 9000 btime 9000",
           "2021-03-28 20:19:27.000 >first : stop"});
    EXPECT_EQ(f->feed.game.plyCount, 3);
    Lines({"2021-03-28 20:19:27.000 <second: move g8f6",
           "2021-03-28 20:19:27.000 >first : position startpos moves e2e4 e7e5 g1f3 g8f6",
           "2021-03-28 20:19:27.000 >first : go wtime 9000 btime 9000"});
    EXPECT_EQ(f->feed.game.plyCount, 4);
    EXPECT_EQ(MoveMessages().back(), "BMOVE: 2. Nf6");
    EXPECT_EQ(f->feed.game.moveErrorCount, 0);

    // A line that leaves the game starts its own position and plays its moves.
    f.socket.sent.clear();
    Lines({"2021-03-28 20:20:00.000 >first : position startpos moves d2d4",
           "2021-03-28 20:20:00.000 >first : go"});
    EXPECT_EQ(f->feed.game.plyCount, 1);
    EXPECT_EQ(Received().front(), std::string("FEN: ") + kStart);
    EXPECT_EQ(MoveMessages(), (std::vector<std::string>{"WMOVE: 1. d4"}));

    // "position fen": from a position, with Black to move.
    f.socket.sent.clear();
    Lines({std::string("2021-03-28 20:21:00.000 >second: position fen ") + kNimzo +
               " moves f8b4 e2e3",
           "2021-03-28 20:21:00.000 >second: go"});
    EXPECT_EQ(MoveMessages(), (std::vector<std::string>{"BMOVE: 1. Bb4", "WMOVE: 1. e3"}));
    // The current position as a FEN is the same game: nothing to play.
    Lines(
        {"2021-03-28 20:21:01.000 >first : position fen "
         "rnbqk2r/pppp1ppp/4pn2/8/1bPP4/2N1P3/PP3PPP/R1BQKBNR b KQkq - 0 2",
         "2021-03-28 20:21:01.000 >first : go"});
    EXPECT_EQ(f->feed.game.plyCount, 2);
    EXPECT_EQ(f->feed.game.moveErrorCount, 0);
    // A line that cannot be read is noted and changes nothing.
    Lines({"2021-03-28 20:21:02.000 >first : position startpos moves e2e4 zz",
           "2021-03-28 20:21:02.000 >first : go"});
    EXPECT_EQ(f->feed.game.plyCount, 2);
    EXPECT_EQ(LogCount("Bad position line"), 1);
}

TEST_F(GuiMovesTest, Chess960CastlingInPositionLinesIsTheGamesOwn) {
    // UCI_Chess960 engines castle by taking their own rook, and so do the
    // GUI's position lines: the game goes on, never starts again.
    const std::string start = "position fen 1k2r3/pppppppp/8/8/8/8/PPPPPPPP/1K2R3 w Ee - 0 1";
    Lines({"1 >first : setoption name UCI_Chess960 value true", "1 >first : " + start,
           "1 >first : go", "2 <first : move b1e1", "2 >second: " + start + " moves b1e1",
           "2 >second: go", "3 <second: move b8e8", "3 >first : " + start + " moves b1e1 b8e8",
           "3 >first : go"});
    EXPECT_EQ(MoveMessages(), (std::vector<std::string>{"WMOVE: 1. O-O", "BMOVE: 1. O-O"}));
    EXPECT_EQ(LogCount("GUI position"), 1);
    EXPECT_EQ(f->feed.game.moveErrorCount, 0);
}

TEST_F(GuiMovesTest, PositionLinesCatchUpWithoutThePauseAfterEachMove) {
    f->config.delayAfterMove = 300;
    // Whole pauses in the time slept: the network's turns of 1 ms aside.
    auto pauses = [this](long long sleptBefore) { return (f.clock.sleptMs() - sleptBefore) / 300; };
    // Six moves from a new game: as the GUI's moves one by one, then as one
    // position line. The viewer gets the same; only the moves one by one pause.
    auto play = [this, &pauses](std::initializer_list<std::string> lines) {
        StartNewGame(f->feed);
        f.socket.sent.clear();
        const long long before = f.clock.sleptMs();
        Lines(lines);
        return std::pair{Received(), pauses(before)};
    };
    const auto [oneByOne, oneByOnePauses] =
        play({"200 >first : e2e4", "200 >first : e7e5", "200 >first : g1f3", "200 >first : b8c6",
              "200 >first : f1b5", "200 >first : a7a6"});
    const auto [caughtUp, caughtUpPauses] = play(
        {"200 >first : position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 a7a6", "200 >first : go"});
    EXPECT_EQ(caughtUp, oneByOne);
    EXPECT_EQ(oneByOnePauses, 6);
    EXPECT_EQ(caughtUpPauses, 0);

    // The engine's own move still pauses; a line that disagrees with the game
    // replays its moves without.
    long long before = f.clock.sleptMs();
    Lines({"300 <first : move b5a4"});
    EXPECT_EQ(pauses(before), 1);
    before = f.clock.sleptMs();
    Lines({"400 >second: position startpos moves d2d4 d7d5 c2c4 e7e6", "400 >second: go"});
    EXPECT_EQ(f->feed.game.plyCount, 4);
    EXPECT_EQ(pauses(before), 0);
}

TEST_F(GuiMovesTest, IcsModeKeepsItsOwnRule) {
    f->config.icsMode = true;
    Lines({std::string("300 >first : setboard ") + kItalian});
    EXPECT_EQ(Fen(), kStart);
    EXPECT_EQ(LogCount("GUI "), 0);
}

}  // namespace
}  // namespace lantrel
