// The live PGN: time controls, thinking lines and whole games from the events.
#include <gtest/gtest.h>

#include "feed/parsing.h"
#include "platform/fakes.h"
#include "web/game_record.h"
#include "web/live_pgn.h"

namespace lantrel {
namespace {

// A fixed time a move ("st 30") has no PGN form.
TEST(PgnTimeControl, FromTheGuisLevelAsTheFeedReadIt) {
    struct Row {
        const char* level;
        const char* timeControl;
    } rows[] = {
        {"level 40 5 0", "40/300"},
        {"level 0 2 12", "120+12"},
        {"level 0 0:30 0", "30"},
        {"level 0 1:05 3", "65+3"},
        {"level 40 x 0", ""},
        {"level 0 5", ""},
        {"level 0 1:2:3 0", ""},
        {"level 1234567 5 0", "1234567/300"},
        {"level 0 99999999999 0", ""},
        {"", ""},
        {"st 30", ""},
        {"st x", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PgnTimeControl(ReadLevel(row.level)), row.timeControl) << row.level;
    EXPECT_EQ(ReadLevel("st 30").secondsPerMove, 30);
    EXPECT_EQ(ReadLevel("st x").secondsPerMove, std::nullopt);
}

TEST(LivePgn, GamesWithClocksEvalsAndResults) {
    FakeClock clock;
    GameRecorder record(clock);
    record.NewGameStarted(1);
    record.PositionSet("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq");
    // Control characters dropped; a Windows-1252 text in UTF-8.
    record.PlayerNamed(PieceColour::kWhite, {"alpha -x",
                                             "Al\x1b"
                                             "pha\x81\x85 \"A\"\t"});
    record.PlayerNamed(PieceColour::kBlack, {"Beta", "Beta"});
    record.LevelSet(ReadLevel("level 40 5 0"));
    record.Thinking(PieceColour::kWhite, ReadThinking("10 17 100 5000 e2e4"));
    record.MovePlayed({1, PieceColour::kWhite, "e4"},
                      "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq", 0, true);
    record.ClocksTold(ReadClocks(PieceColour::kBlack, "30000", "29850"),
                      true);  // White's time after e4
    record.Thinking(PieceColour::kBlack,
                    ReadThinking("9 25 100 4000 e7e5"));  // Black's view: White -0.25
    record.MovePlayed({1, PieceColour::kBlack, "e5"},
                      "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq", 0, true);
    // A move read together with its thinking carries it; the same line reported
    // after the move is not the next move's.
    record.MovePlayed({2, PieceColour::kWhite, "Qh5", ReadThinking("12 300 50 9000 d1h5")},
                      "rnbqkbnr/pppp1ppp/8/4p2Q/4P3/8/PPPP1PPP/RNB1KBNR b KQkq", 0, true);
    record.MovePlayed({2, PieceColour::kBlack, "Nc6"},
                      "r1bqkbnr/pppp1ppp/2n5/4p2Q/4P3/8/PPPP1PPP/RNB1KBNR w KQkq", 0, true);
    record.Thinking(PieceColour::kWhite, ReadThinking("12 300 50 9000 d1h5"));
    record.MovePlayed({3, PieceColour::kWhite, "Qxf7"},
                      "r1bqkbnr/pppp1Qpp/2n5/4p3/4P3/8/PPPP1PPP/RNB1KBNR b KQkq", 0, true);
    record.ResultAnnounced(ReadResult("1-0", "1-0 {White mates}"));
    record.NewGameStarted(2);
    record.PositionSet("4k3/8/8/8/8/8/8/4K2R b K");
    record.MovePlayed({40, PieceColour::kBlack, "Kd7"}, "8/3k4/8/8/8/8/8/4K2R w K", 0, true);
    record.MovePlayed({41, PieceColour::kWhite, "Rh7"}, "8/3k3R/8/8/8/8/8/4K3 b ", 0, true);

    EXPECT_EQ(
        LivePgn(record, "Lab Cup", "Lab"),
        "[Event \"Lab Cup\"]\n[Site \"Lab\"]\n[Date \"2026.12.08\"]\n[Round \"1\"]\n"
        "[White \"Alpha\xE2\x80\xA6 \\\"A\\\"\"]\n[Black \"Beta\"]\n[Result \"1-0\"]\n"
        "[TimeControl \"40/300\"]\n[ECO \"C20\"]\n"
        "[Opening \"King's Pawn Game: Wayward Queen Attack\"]\n\n"
        "1. e4 {[%clk 0:04:58] [%eval 0.17]} 1... e5 {[%eval -0.25]} 2. Qh5\n"
        "{[%eval 3.00]} 2... Nc6 3. Qxf7+ {White mates} 1-0\n\n"
        "[Event \"Lab Cup\"]\n[Site \"Lab\"]\n[Date \"2026.12.08\"]\n[Round \"2\"]\n"
        "[White \"Alpha\xE2\x80\xA6 \\\"A\\\"\"]\n[Black \"Beta\"]\n[Result \"*\"]\n"
        "[TimeControl \"40/300\"]\n[SetUp \"1\"]\n[FEN \"4k3/8/8/8/8/8/8/4K2R b K - 0 40\"]\n\n"
        "40... Kd7 41. Rh7+ *\n\n");
}

// A game's facts are decided once: the next game's engines, named after the
// result, and the feed's count of starts change neither its players nor its
// number; a log read again from its start numbers its games from 1 again.
TEST(GameRecorder, AFinishedGameKeepsItsFacts) {
    FakeClock clock;
    GameRecorder record(clock);
    EXPECT_EQ(record.current().white + " - " + record.current().black, "White - Black");
    record.NewGameStarted(3);
    record.PlayerNamed(PieceColour::kWhite, {"phalanx", "Phalanx XXV"});
    record.PlayerNamed(PieceColour::kBlack, {"fairymax", "Fairy-Max 5.0b"});
    record.MovePlayed({1, PieceColour::kWhite, "e4"},
                      "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq", 0, true);
    record.ResultAnnounced(ReadResult("1-0", "1-0 {Black resigns}"));
    record.ResultAnnounced(ReadResult("0-1", "0-1 {White resigns}"));
    record.PlayerNamed(PieceColour::kWhite, {"stockfish", "Stockfish 15.1"});
    EXPECT_EQ(record.current().white, "Phalanx XXV");
    record.NewGameStarted(5);
    record.NewGameStarted(6);
    ASSERT_EQ(record.finished().size(), 1u);
    const RecordedGame& first = record.finished()[0];
    EXPECT_EQ(first.number, 1);
    EXPECT_EQ(first.white + " - " + first.black + " " + first.result + " " + first.reason,
              "Phalanx XXV - Fairy-Max 5.0b 1-0 Black resigns");
    EXPECT_EQ(record.current().number, 2);
    EXPECT_EQ(record.current().white + " - " + record.current().black,
              "Stockfish 15.1 - Fairy-Max 5.0b");
    record.PlayerNamed(PieceColour::kBlack, {"\x01 \x02", ""});  // nothing readable
    EXPECT_EQ(record.current().black, "Black");

    record.ReadingLogAgain();
    EXPECT_TRUE(record.finished().empty());
    EXPECT_EQ(record.current().number, 1);
    // A position without castling rights is still a whole FEN.
    record.PositionSet("4k3/8/8/8/8/8/8/4K3 w ");
    EXPECT_NE(PgnOfGame(record.current(), "E", "S").find("[FEN \"4k3/8/8/8/8/8/8/4K3 w - - 0 1\"]"),
              std::string::npos);
}

}  // namespace
}  // namespace lantrel
