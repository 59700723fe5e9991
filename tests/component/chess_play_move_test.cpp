// PlayMoveText on a whole Server: the notations it accepts, what it writes to
// server.log, the screen and LiveGame, what it broadcasts, and how it fails.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/server.h"
#include "chess/fen.h"
#include "feed/feed.h"
#include "support/fake_server.h"

namespace lantrel {
namespace {

using testing::FakeServer;

constexpr const char* kAfterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq";
constexpr const char* kAfterNf3 = "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq";

struct Game {
    FakeServer f;
    Server& s = *f;

    explicit Game(const char* fen = nullptr) {
        InitialiseChess(s.feed.chess);
        if (fen) {
            EXPECT_TRUE(LoadFen(s.feed.chess, fen)) << fen;
        }
        s.feed.game.lineStamp = "12:00:01";
        s.feed.game.whitePlayer = "Alpha";
        s.feed.game.blackPlayer = "Beta";
        s.config.delayAfterMove = 0;
    }
    // Plays one text; returns the cleaned text PlayMoveText leaves behind.
    std::string Play(std::string text) {
        PlayMoveText(s.feed, text);
        return text;
    }
    void PlayAll(std::initializer_list<const char*> texts) {
        for (const char* t : texts)
            Play(t);
    }
    std::string San() const { return s.feed.game.lastMove->san; }
};

TEST(ChessPlayMoveText, AcceptedNotationsOfOneMove) {
    struct Row {
        const char* text;
        const char* fen;
        const char* san;
    };
    const Row rows[] = {
        {"e2e4", kAfterE4, "e4"},      {"E2E4", kAfterE4, "e4"},
        {"e2-e4", kAfterE4, "e4"},     {"Pe2e4", kAfterE4, "e4"},
        {"pe2-e4", kAfterE4, "e4"},    {"e4", kAfterE4, "e4"},
        {"e2xe4", kAfterE4, "e4"},     {"e2e4   ", kAfterE4, "e4"},
        {"Ng1f3", kAfterNf3, "Nf3"},   {"Ng1-f3", kAfterNf3, "Nf3"},
        {"g1f3", kAfterNf3, "Nf3"},    {"Nf3", kAfterNf3, "Nf3"},
        {"Ng1xf3", kAfterNf3, "Nf3"},  {"Nf3+", kAfterNf3, "Nf3"},
        {"Nf3#", kAfterNf3, "Nf3"},    {"Nf3 {book move}", kAfterNf3, "Nf3"},
        {"  Nf3  ", kAfterNf3, "Nf3"}, {"Nf3<e>", kAfterNf3, "Nf3"},
        {"Nf3++", kAfterNf3, "Nf3"},
    };
    for (const Row& r : rows) {
        Game g;
        g.Play(r.text);
        EXPECT_EQ(g.s.feed.game.fen, r.fen) << r.text;
        EXPECT_EQ(g.San(), r.san) << r.text;
        EXPECT_EQ(g.s.feed.game.moveErrorCount, 0) << r.text;
    }
}

TEST(ChessPlayMoveText, TextsThatMatchNothing) {
    // SAN is compared case-sensitively, and a SAN text of a quiet move has no x.
    for (const char* text :
         {"nf3", "NF3", "Nxf3", "e5", "e2e5", "Ke2", "+", "xyz", "e8Q", "O-O", "\xe9\xff"}) {
        Game g;
        g.Play(text);
        EXPECT_EQ(g.s.feed.game.moveErrorCount, 1) << text;
        EXPECT_EQ(g.s.feed.game.plyCount, 0) << text;
        EXPECT_EQ(FenText(g.s.feed.chess), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq");
    }
}

TEST(ChessPlayMoveText, CapturesEnPassantCastlingAndPromotions) {
    struct Row {
        const char* fen;
        const char* text;
        const char* san;
        const char* after;  // placement of the rank that changed, or the whole FEN
        const char* uci;    // castling as the king's move
    };
    const char* open = "4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1";
    const char* castle = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
    const char* black = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1";
    const char* promo = "3r3k/4P3/8/8/8/8/8/K7 w - - 0 1";
    const char* passing = "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1";
    const Row rows[] = {
        {passing, "exd6", "exd6", "4k3/8/3P4/8/8/8/8/4K3 b ", "e5d6"},
        {open, "exd5", "exd5", "4k3/8/8/3P4/8/8/8/4K3 b ", "e4d5"},
        {open, "e4d5", "exd5", "4k3/8/8/3P4/8/8/8/4K3 b ", "e4d5"},
        {open, "e4xd5", "exd5", "4k3/8/8/3P4/8/8/8/4K3 b ", "e4d5"},
        {open, "e4-d5", "exd5", "4k3/8/8/3P4/8/8/8/4K3 b ", "e4d5"},
        {castle, "O-O", "O-O", "r3k2r/8/8/8/8/8/8/R4RK1 b kq", "e1g1"},
        {castle, "o-o", "O-O", "r3k2r/8/8/8/8/8/8/R4RK1 b kq", "e1g1"},
        {castle, "0-0", "O-O", "r3k2r/8/8/8/8/8/8/R4RK1 b kq", "e1g1"},
        {castle, "0-0+", "O-O", "r3k2r/8/8/8/8/8/8/R4RK1 b kq", "e1g1"},
        {castle, "e1g1", "O-O", "r3k2r/8/8/8/8/8/8/R4RK1 b kq", "e1g1"},
        {castle, "Ke1g1", "O-O", "r3k2r/8/8/8/8/8/8/R4RK1 b kq", "e1g1"},
        {castle, "O-O-O", "O-O-O", "r3k2r/8/8/8/8/8/8/2KR3R b kq", "e1c1"},
        {castle, "o-o-o", "O-O-O", "r3k2r/8/8/8/8/8/8/2KR3R b kq", "e1c1"},
        {castle, "0-0-0", "O-O-O", "r3k2r/8/8/8/8/8/8/2KR3R b kq", "e1c1"},
        {castle, "e1c1", "O-O-O", "r3k2r/8/8/8/8/8/8/2KR3R b kq", "e1c1"},
        {black, "e8g8", "O-O", "r4rk1/8/8/8/8/8/8/R3K2R w KQ", "e8g8"},
        {black, "O-O-O", "O-O-O", "2kr3r/8/8/8/8/8/8/R3K2R w KQ", "e8c8"},
        {black, "e8c8", "O-O-O", "2kr3r/8/8/8/8/8/8/R3K2R w KQ", "e8c8"},
        {promo, "e7e8", "e8=Q", "3rQ2k/8/8/8/8/8/8/K7 b ", "e7e8q"},
        {promo, "e7e8q", "e8=Q", "3rQ2k/8/8/8/8/8/8/K7 b ", "e7e8q"},
        {promo, "e7e8Q", "e8=Q", "3rQ2k/8/8/8/8/8/8/K7 b ", "e7e8q"},
        {promo, "e7e8=Q", "e8=Q", "3rQ2k/8/8/8/8/8/8/K7 b ", "e7e8q"},
        {promo, "e8=Q", "e8=Q", "3rQ2k/8/8/8/8/8/8/K7 b ", "e7e8q"},
        {promo, "e8=Q+", "e8=Q", "3rQ2k/8/8/8/8/8/8/K7 b ", "e7e8q"},
        {promo, "e7e8n", "e8=N", "3rN2k/8/8/8/8/8/8/K7 b ", "e7e8n"},
        {promo, "e8=N", "e8=N", "3rN2k/8/8/8/8/8/8/K7 b ", "e7e8n"},
        {promo, "e7e8r", "e8=R", "3rR2k/8/8/8/8/8/8/K7 b ", "e7e8r"},
        {promo, "e7e8=B", "e8=B", "3rB2k/8/8/8/8/8/8/K7 b ", "e7e8b"},
        {promo, "e7d8", "exd8=Q", "3Q3k/8/8/8/8/8/8/K7 b ", "e7d8q"},
        {promo, "exd8=N", "exd8=N", "3N3k/8/8/8/8/8/8/K7 b ", "e7d8n"},
    };
    for (const Row& r : rows) {
        Game g(r.fen);
        g.Play(r.text);
        EXPECT_EQ(g.s.feed.game.moveErrorCount, 0) << r.fen << " " << r.text;
        EXPECT_EQ(g.s.feed.game.fen, r.after) << r.fen << " " << r.text;
        EXPECT_EQ(g.San(), r.san) << r.fen << " " << r.text;
        // The move's squares, which the browser feed marks.
        const PlayedMove& move = *g.s.feed.game.lastMove;
        EXPECT_EQ(move.uci, r.uci) << r.fen << " " << r.text;
        EXPECT_EQ(move.from + move.to, std::string(r.uci, 4)) << r.fen << " " << r.text;
    }
    Game g(promo);
    g.Play("e8Q");  // neither a coordinate text nor SAN
    EXPECT_EQ(g.s.feed.game.moveErrorCount, 1);
}

TEST(ChessPlayMoveText, CleanedTextIsLeftInTheCallersVariable) {
    Game g;
    EXPECT_EQ(g.Play("Nf3+ {+0.31/12}"), "Nf3");
    EXPECT_EQ(g.Play("0-0-0"), "O-O-O");  // cleaned even when it then fails
    EXPECT_EQ(g.Play("e5 <e>"), "e5");
}

TEST(ChessPlayMoveText, PinnedKnightTextsUseTheirOwnPass) {
    // Knights on b1 and f3; f3 is pinned to the d1 king by the h5 bishop.
    const char* fen = "4k3/8/8/7b/8/5N2/8/1N1K4 w - - 0 1";
    {
        Game g(fen);  // found among the pseudo-legal moves, sent with its file
        g.Play("b1d2");
        EXPECT_EQ(g.San(), "Nbd2");
        EXPECT_EQ(g.s.feed.game.moveErrorCount, 0);
    }
    {
        Game g(fen);  // matches nothing pseudo-legal, one legal move
        g.Play("Nd2");
        EXPECT_EQ(g.San(), "Nd2");
        EXPECT_EQ(g.s.feed.game.fen, "4k3/8/8/7b/8/5N2/3N4/3K4 b ");
    }
    {
        Game g(fen);  // a pseudo-legal text is accepted even though it exposes the king
        g.Play("Nfd2");
        EXPECT_EQ(g.s.feed.game.moveErrorCount, 0);
        EXPECT_EQ(g.s.feed.game.fen, "4k3/8/8/7b/8/8/3N4/1N1K4 b ");
    }
}

TEST(ChessPlayMoveText, LogLineMessagesAndLiveGame) {
    Game g;
    g.Play("e2e4");
    auto lines = g.f.LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "<12:00:01> Move  1: e2e4, Index =  10");
    EXPECT_EQ(g.s.feed.game.plyCount, 1);
    EXPECT_FALSE(g.s.feed.game.gameNotStarted);
    EXPECT_EQ(MoveMessage(*g.s.feed.game.lastMove), "WMOVE: 1. e4");
    EXPECT_EQ(g.s.feed.game.previousFen, "");
    EXPECT_EQ(g.s.feed.chess.sideToMove, PieceColour::kBlack);
    EXPECT_EQ(g.s.feed.chess.searchPly, 1);

    g.PlayAll({"e7e5", "Nf3", "Nc6", "Bb5", "a6", "Ng5"});
    lines = g.f.LogLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1], "<12:00:01> Move  2: e7e5, Index =  14");
    // Black's list begins with the b8 knight's moves.
    EXPECT_EQ(lines[3], "<12:00:01> Move  4: Nc6, Index =  1");
    EXPECT_EQ(MoveMessage(*g.s.feed.game.lastMove), "WMOVE: 4. Ng5");
    EXPECT_EQ(g.s.feed.game.plyCount, 7);
    g.Play("Nf6");
    EXPECT_EQ(MoveMessage(*g.s.feed.game.lastMove), "BMOVE: 4. Nf6");
    EXPECT_EQ(g.s.feed.chess.halfmoveClock, 2);  // a6 was the last pawn move
    EXPECT_EQ(g.s.feed.game.previousFen,
              "r1bqkbnr/1ppp1ppp/p1n5/1B2p1N1/4P3/8/PPPP1PPP/RNBQK2R b KQkq");
}

TEST(ChessPlayMoveText, ConsoleRowsForTheMove) {
    Game g;
    g.f.screen.MoveTo(22, 1);
    g.f.screen.Print("Move: ");
    g.PlayAll({"Nf3", "Nf6"});
    ScreenBuffer& screen = g.f.screen;
    EXPECT_EQ(screen.Text(22, 24, 16), "50 Move Rule= 1 ");
    EXPECT_EQ(screen.ColourAt(22, 24), ConsoleColour::kLightMagenta);
    EXPECT_EQ(screen.Row(23), "FEN : rnbqkb1r/pppppppp/5n2/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq    " +
                                  std::string(80 - 64, ' '));
    EXPECT_EQ(screen.CurrentColour(), ConsoleColour::kNormal);
    // The cleaned text appears in brackets after "Move: ".
    Game h;
    h.f.screen.MoveTo(22, 1);
    h.f.screen.Print("Move: ");
    h.Play("e4 {book}");
    EXPECT_EQ(h.f.screen.Text(22, 1, 16), "Move: (e4)      ");
}

TEST(ChessPlayMoveText, FailureBlockByteForByte) {
    Game g;
    g.PlayAll({"e4", "e5"});
    g.s.feed.game.plyCount = 2;
    g.f.dir.Write("server.log", "");
    g.s.screen.DrawBoard(g.s.feed.chess.cells);
    g.Play("Nf6 {!}");
    EXPECT_EQ(g.f.dir.Read("server.log"),
              "\r\n"
              "************************ Error ********************************\r\n"
              "Cannot find the following move...\r\n"
              "Nf6\r\n"
              "ply= 2\r\n"
              "No. of legal moves 29\r\n"
              " white to play... player= Alpha\r\n"
              "===============================================================\r\n"
              "\r\n");
    EXPECT_EQ(g.s.feed.game.moveErrorCount, 1);
    EXPECT_EQ(g.f.screen.Text(22, 50, 20), "Move error count = 1");
    EXPECT_EQ(g.f.screen.ColourAt(22, 50), ConsoleColour::kLightRed);
    EXPECT_EQ(g.f.screen.CurrentColour(), ConsoleColour::kNormal);
    EXPECT_EQ(MoveMessage(*g.s.feed.game.lastMove), "BMOVE: 1. e5");
    EXPECT_EQ(g.s.feed.game.plyCount, 2);
    EXPECT_EQ(g.s.feed.chess.sideToMove, PieceColour::kWhite);
    for (int i = 1; i <= 100; ++i)
        EXPECT_EQ(g.s.screen.DrawnBoard()[i], kOffBoard) << i;

    g.s.feed.chess.sideToMove = PieceColour::kWhite;
    g.Play("Ke3");
    g.Play("Kf3");
    EXPECT_EQ(g.s.feed.game.moveErrorCount, 3);
    EXPECT_EQ(g.f.screen.Text(22, 50, 20), "Move error count = 3");

    Game b;
    b.Play("e4");
    b.Play("Nf3");  // Black to move: reported with the Black player
    auto lines = b.f.LogLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[5], "ply= 1");
    EXPECT_EQ(lines[6], "No. of legal moves 20");
    EXPECT_EQ(lines[7], " black to play... player= Beta");
}

TEST(ChessPlayMoveText, BroadcastsInOrderAndPausesWhenTheHeaderIsOut) {
    Game g;
    const IpAddress viewer = MakeIp(10, 0, 0, 7);
    g.f.socket.Queue(viewer, "LOGONv15:Watcher");
    ServiceNetwork(g.s.net, 0);
    AcknowledgeAll(g.f, viewer);
    g.f.socket.sent.clear();
    g.s.config.delayAfterMove = 300;
    g.s.feed.game.headerSent = true;
    const long long before = g.f.clock.sleptMs();
    g.Play("e4");
    EXPECT_EQ(g.f.clock.sleptMs() - before, 300);
    std::vector<std::string> texts;
    for (const std::string& framed : g.f.socket.SentTo(viewer)) {
        texts.push_back(framed.substr(framed.find('>') + 1));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{std::string("FEN: ") + kAfterE4, "WMOVE: 1. e4",
                                               "FMR:  0"}));
}

TEST(ChessPlayMoveText, NothingSentBeforeTheHeader) {
    Game g;
    const IpAddress viewer = MakeIp(10, 0, 0, 7);
    g.f.socket.Queue(viewer, "LOGONv15:Watcher");
    ServiceNetwork(g.s.net, 0);
    AcknowledgeAll(g.f, viewer);
    g.f.socket.sent.clear();
    g.s.config.delayAfterMove = 300;
    g.s.feed.game.headerSent = false;
    const long long before = g.f.clock.sleptMs();
    g.PlayAll({"e4", "e5"});
    EXPECT_EQ(g.f.clock.sleptMs(), before);
    EXPECT_TRUE(g.f.socket.SentTo(viewer).empty());
    EXPECT_EQ(MoveMessage(*g.s.feed.game.lastMove), "BMOVE: 1. e5");
    EXPECT_EQ(g.s.feed.game.fen, "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq");
}

TEST(ChessPlayMoveText, SaveDebugNameAfterTheFirstPlyOnly) {
    Game g;
    g.Play("e4");
    EXPECT_EQ(g.s.feed.game.saveDebugName, "Debug-Alpha_vs_Beta.log");
    g.s.feed.game.saveDebugName = "kept";
    g.Play("e5");
    EXPECT_EQ(g.s.feed.game.saveDebugName, "kept");
}

TEST(ChessDrawBoard, PaintsOnlyChangedSquaresInTheirColours) {
    Game g;
    ScreenBuffer& screen = g.f.screen;
    g.s.screen.DrawBoard(g.s.feed.chess.cells);
    EXPECT_EQ(screen.Text(7, 2, 15), "R N B Q K B N R");
    EXPECT_EQ(screen.Text(8, 2, 15), "P P P P P P P P");
    EXPECT_EQ(screen.Text(10, 2, 15), ". . . . . . . .");
    EXPECT_EQ(screen.Text(14, 2, 15), "R N B Q K B N R");
    EXPECT_EQ(screen.ColourAt(7, 2), ConsoleColour::kLightBlue);
    EXPECT_EQ(screen.ColourAt(13, 2), ConsoleColour::kNormal);
    EXPECT_EQ(screen.ColourAt(10, 8), ConsoleColour::kNormal);
    EXPECT_EQ(screen.CurrentColour(), ConsoleColour::kNormal);

    // Mark an unchanged square: only the two squares of the move are repainted.
    screen.MoveTo(7, 2);
    screen.Print("Z");
    g.Play("e4");
    g.s.screen.DrawBoard(g.s.feed.chess.cells);
    EXPECT_EQ(screen.Text(7, 2, 1), "Z");
    EXPECT_EQ(screen.Text(13, 10, 1), ".");
    EXPECT_EQ(screen.Text(11, 10, 1), "P");

    // The failure block forces a full repaint.
    g.Play("Qh5");
    g.s.screen.DrawBoard(g.s.feed.chess.cells);
    EXPECT_EQ(screen.Text(7, 2, 1), "R");

    // With the board frozen (key B) nothing is drawn, and the screen says so,
    // until it is back: then all of it at once.
    g.s.screen.ToggleBoard(g.s.feed.chess.cells);
    EXPECT_EQ(screen.Text(21, 1, 24), "Board display frozen: B ");
    EXPECT_EQ(screen.Text(15, 2, 15), "--- frozen ----");
    g.Play("e5");
    screen.MoveTo(9, 10);
    screen.Print("?");
    g.s.screen.DrawBoard(g.s.feed.chess.cells);
    EXPECT_EQ(screen.Text(8, 10, 1), "P");
    g.s.screen.ToggleBoard(g.s.feed.chess.cells);
    EXPECT_EQ(screen.Text(21, 1, 24), "Board display on: B     ");
    EXPECT_EQ(screen.Text(15, 2, 15), std::string(15, ' '));
    EXPECT_EQ(screen.Text(8, 10, 1), ".");
    EXPECT_EQ(screen.Text(10, 10, 1), "P");
    EXPECT_EQ(screen.ColourAt(10, 10), ConsoleColour::kLightBlue);
}

TEST(ChessNewGame, ResetPutsEverythingBack) {
    Game g("r3k2r/8/8/3pP3/8/8/8/R3K2R w - d6 33 80");
    g.s.feed.chess.startBoard = StartCells();
    ResetBoardForNewGame(g.s.feed.chess);
    EXPECT_EQ(g.s.feed.chess.cells, StartCells());
    EXPECT_EQ(g.s.feed.chess.whiteKingSquare, 96);
    EXPECT_EQ(g.s.feed.chess.blackKingSquare, 26);
    EXPECT_EQ(g.s.feed.chess.halfmoveClock, 0);
    EXPECT_EQ(g.s.feed.chess.sideToMove, PieceColour::kWhite);
    for (int i = 0; i < kBoardCells; ++i)
        EXPECT_EQ(g.s.screen.DrawnBoard()[i], kOffBoard);
    WriteFen(g.s.feed);
    EXPECT_EQ(g.s.feed.game.fen, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq");
}

TEST(ChessOutOfStep, KingCaptureAndGarbageNeverCrash) {
    // Fool's mate, then White ignores the check and Black takes the king: a
    // position the server only reaches when it has lost step with the game.
    Game g;
    g.PlayAll({"f2f3", "e7e5", "g2g4", "Qh4#", "a2a3", "h4e1"});
    EXPECT_EQ(g.s.feed.game.moveErrorCount, 0);
    EXPECT_EQ(g.s.feed.chess.whiteKingSquare, 0);
    EXPECT_EQ(g.San(), "Qxe1");
    // Play on with every sort of text; the server must stay in one piece.
    std::mt19937 random(12345);
    const std::string alphabet = "abcdefghNBRQKPxX-=+#0Oo12345678 <e>q\xff";
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        const int length = 1 + static_cast<int>(random() % 8);
        for (int k = 0; k < length; ++k)
            text += alphabet[random() % alphabet.size()];
        PlayMoveText(g.s.feed, text);
        // Now and then a move that exists, so the position keeps changing.
        MoveList list;
        GenerateMoves(g.s.feed.chess, list, g.s.feed.chess.sideToMove, true);
        if (list.count > 0) {
            const MoveRecord& m = list[1 + static_cast<int>(random() % list.count)];
            std::string coordinate = {static_cast<char>('a' + FileOf(m.from) - 1),
                                      static_cast<char>('0' + RankOf(m.from)),
                                      static_cast<char>('a' + FileOf(m.to) - 1),
                                      static_cast<char>('0' + RankOf(m.to))};
            PlayMoveText(g.s.feed, coordinate);
        }
        ASSERT_EQ(g.s.feed.chess.searchPly, 1);
    }
    EXPECT_GT(g.s.feed.game.plyCount, 6);
}

}  // namespace
}  // namespace lantrel
