// The browser feed's messages: what each game event becomes, in which order,
// how often thinking goes out, and what a client that comes back is sent.
#include "web/web_feed.h"

#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "feed/parsing.h"
#include "platform/fakes.h"
#include "web/relay_plan.h"
#include "web/web_request.h"

namespace lantrel {
namespace {

using nlohmann::json;

constexpr const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq";
constexpr const char* kAfterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq";
constexpr const char* kAfterE5 = "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq";

// White's first move e4 as the feed reports it, with its squares.
PlayedMove E4() {
    PlayedMove move{1, PieceColour::kWhite, "e4"};
    move.uci = "e2e4";
    move.from = "e2";
    move.to = "e4";
    return move;
}

struct Collected final : FeedListener {
    std::vector<json> deltas;
    std::optional<json> snapshot;
    std::vector<std::int64_t> versions;
    std::vector<bool> wholeGame;
    void Delta(const FeedMessage& m) override {
        deltas.push_back(json::parse(*m.json));
        versions.push_back(m.version);
        wholeGame.push_back(m.wholeGame);
    }
    void Snapshot(const FeedMessage& m) override { snapshot = json::parse(*m.json); }
    void HandOver() override { ++handOvers; }
    int handOvers = 0;
    std::vector<std::string> Types() const {
        std::vector<std::string> types;
        for (const json& d : deltas)
            types.push_back(d["type"]);
        return types;
    }
};

struct WebFeedTest : ::testing::Test {
    FakeClock clock;
    GameRecorder record{clock};
    std::string site = "Caf\xE9";  // Latin-1
    WebSettings settings;
    WebFeed feed{clock, record, site, settings};
    Collected out;
    GameOutputs outputs;

    WebFeedTest() {
        outputs.Attach(record);
        outputs.Attach(feed);
        feed.AddListener(out);
        outputs.NewGameStarted(1);
        outputs.PositionSet(kStart);
        outputs.PlayerNamed(PieceColour::kWhite, {"jorg", "J\xF6rg"});
        outputs.PlayerNamed(PieceColour::kBlack, {"beta", "Beta"});
        outputs.TurnEnded();
        out.deltas.clear();
        out.versions.clear();
        out.wholeGame.clear();
    }
};

TEST_F(WebFeedTest, AMoveItsClockAndThinkingAsDeltas) {
    outputs.Thinking(PieceColour::kWhite, ReadThinking("10 +17 100 5000 e2e4 e7e5"));
    outputs.MovePlayed(E4(), kAfterE4, 0, true);
    outputs.ClocksTold(ReadClocks(PieceColour::kBlack, "29000", "29950"), true);
    EXPECT_EQ(out.Types(), (std::vector<std::string>{"pv", "move", "clock"}));
    EXPECT_EQ(out.deltas[1], json::parse(R"({"type":"move","version":3,"ply":1,"san":"e4",
        "uci":"e2e4","from":"e2","to":"e4",
        "fen":"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq","clock":null,
        "depth":10,"score":17,"nodes":5000,"pv":"e2e4 e7e5","eco":"B00","opening":"King's Pawn Game"})"));
    EXPECT_EQ(out.deltas[2]["white"], 29950);
    EXPECT_EQ(out.deltas[2]["black"], 29000);

    // Each delta one version after the one before; the snapshot holds them all.
    outputs.TurnEnded();
    EXPECT_EQ(out.versions, (std::vector<std::int64_t>{2, 3, 4}));
    const json& s = *out.snapshot;
    EXPECT_EQ(s["version"], 4);
    EXPECT_EQ(s["site"], "Caf\xC3\xA9");
    EXPECT_EQ(s["white"], "J\xC3\xB6rg");
    EXPECT_EQ(s["moves"][0]["clock"], 29950);  // the clock the GUI told after the move
    EXPECT_EQ(s["moves"][0]["from"], "e2");
    EXPECT_EQ(s["pv"]["white"]["time"], 100);
    EXPECT_TRUE(s["pv"]["black"].is_null());
    EXPECT_EQ(s["chatAllowed"], false);
}

TEST_F(WebFeedTest, OnlyClocksOfKnownColourThatStillRunAreShown) {
    outputs.MovePlayed({1, PieceColour::kWhite, "e4"}, kAfterE4, 0, true);
    outputs.ClocksTold(ReadClocks(std::nullopt, "29000", "29950"), true);
    outputs.ClocksTold(ReadClocks(PieceColour::kBlack, "29000", "-150"), true);
    EXPECT_EQ(out.Types(), (std::vector<std::string>{"move"}));
    outputs.TurnEnded();
    EXPECT_TRUE((*out.snapshot)["clock"].is_null());
    EXPECT_EQ((*out.snapshot)["moves"][0]["clock"], -150);  // as told after the move
}

TEST_F(WebFeedTest, ATakebackDropsTheMoveFromDeltaSnapshotAndLivePgn) {
    outputs.MovePlayed({1, PieceColour::kWhite, "e4"}, kAfterE4, 0, true);
    outputs.MovePlayed({1, PieceColour::kBlack, "e5"}, kAfterE5, 0, true);
    outputs.MoveTakenBack({1, PieceColour::kBlack, "e5"}, kAfterE4, true);
    outputs.ResultAnnounced(ReadResult("*", "* {Game aborted}"));  // no result yet
    outputs.ResultAnnounced(ReadResult("1-0", "1-0"));
    EXPECT_EQ(out.Types(), (std::vector<std::string>{"move", "move", "takeback", "result"}));
    EXPECT_EQ(out.deltas[2], json::parse(R"({"type":"takeback","version":4,"ply":2,
        "fen":"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq"})"));
    outputs.TurnEnded();
    ASSERT_EQ((*out.snapshot)["moves"].size(), 1u);
    EXPECT_EQ((*out.snapshot)["moves"][0]["san"], "e4");
    EXPECT_NE(LivePgn(record, site, site).find("1. e4 1-0"), std::string::npos)
        << LivePgn(record, site, site);
}

// An engine that plays on after the result: the game stays as it ended.
TEST_F(WebFeedTest, NoMoveAfterTheResult) {
    outputs.MovePlayed(E4(), kAfterE4, 0, true);
    outputs.ResultAnnounced(ReadResult("1-0", "1-0 {Black resigns}"));
    outputs.MovePlayed({1, PieceColour::kBlack, "e5"}, kAfterE5, 0, true);
    outputs.MoveTakenBack({1, PieceColour::kBlack, "e5"}, kAfterE4, true);
    EXPECT_EQ(out.Types(), (std::vector<std::string>{"move", "result"}));
    EXPECT_EQ(record.current().plies.size(), 1u);
}

TEST_F(WebFeedTest, ThinkingAtMostFourTimesASecondPerSide) {
    outputs.Thinking(PieceColour::kWhite, ReadThinking("1 5 1 10 e2e4"));
    outputs.Thinking(PieceColour::kWhite, ReadThinking("2 6 2 20 d2d4"));  // too soon: held
    outputs.Thinking(PieceColour::kBlack, ReadThinking("1 -5 1 10 e7e5"));
    outputs.Thinking(PieceColour::kWhite, ReadThinking("3 7 3 30 c2c4"));  // replaces the held one
    EXPECT_EQ(out.deltas.size(), 2u);
    outputs.TurnEnded();  // the turn of those two
    clock.Advance(0.25);
    outputs.TurnEnded();
    EXPECT_EQ(out.deltas.size(), 2u);  // it may go, but alone it waits for other messages
    outputs.ClocksTold(ReadClocks(PieceColour::kWhite, "29000", "29950"), true);
    outputs.TurnEnded();
    ASSERT_EQ(out.Types(), (std::vector<std::string>{"pv", "pv", "clock", "pv"}));
    EXPECT_EQ(out.deltas[3]["pv"], "c2c4");
    // With nothing else to go with, half a second after it was held.
    outputs.Thinking(PieceColour::kBlack, ReadThinking("2 -6 2 20 d7d5"));
    outputs.Thinking(PieceColour::kBlack, ReadThinking("3 -7 3 30 c7c5"));  // held
    outputs.TurnEnded();
    clock.Advance(0.3);
    outputs.TurnEnded();
    EXPECT_EQ(out.deltas.size(), 5u);
    clock.Advance(0.2);
    outputs.TurnEnded();
    ASSERT_EQ(out.deltas.size(), 6u);
    EXPECT_EQ(out.deltas[5]["pv"], "c7c5");

    // A move spends the mover's held line: the move carries it.
    outputs.Thinking(PieceColour::kWhite, ReadThinking("4 8 4 40 g1f3"));
    outputs.MovePlayed({1, PieceColour::kWhite, "Nf3"}, "8/8/8/8/8/5N2/8/8 b - -", 0, true);
    clock.Advance(1);
    outputs.TurnEnded();
    EXPECT_EQ(out.Types().back(), "move");
}

TEST_F(WebFeedTest, ACatchUpIsOneGameDeltaAndStructureComesBeforeMoves) {
    outputs.MovePlayed({1, PieceColour::kWhite, "e4"}, kAfterE4, 0, false);
    outputs.ClocksTold(ReadClocks(PieceColour::kWhite, "29000", "29950"), false);
    outputs.MovePlayed({1, PieceColour::kBlack, "e5"}, kAfterE5, 0, false);
    outputs.ResultAnnounced(ReadResult("1-0", "1-0 {White mates}"));
    outputs.TurnEnded();
    EXPECT_TRUE(out.deltas.empty());
    outputs.CaughtUp(GameSnapshot{});
    outputs.TurnEnded();
    // The clocks read on the way come after the game.
    ASSERT_EQ(out.Types(), (std::vector<std::string>{"game", "clock"}));
    EXPECT_EQ(out.deltas[1]["white"], 29000);
    EXPECT_EQ(out.deltas[0]["moves"].size(), 2u);
    EXPECT_EQ(out.deltas[0]["result"], "1-0");
    EXPECT_EQ(out.deltas[0]["reason"], "White mates");

    // New names go out with the game as a whole, the move that follows in it
    // (once), and the next move on its own.
    outputs.NewGameStarted(2);
    outputs.PlayerNamed(PieceColour::kWhite, {"gamma", "Gamma"});
    outputs.MovePlayed({1, PieceColour::kWhite, "e4"}, kAfterE4, 0, true);
    outputs.MovePlayed({1, PieceColour::kBlack, "e5"}, kAfterE5, 0, true);
    EXPECT_EQ(out.Types(), (std::vector<std::string>{"game", "clock", "game", "move"}));
    // The listener counts a game apart from what may wait for a browser.
    EXPECT_EQ(out.wholeGame, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(out.deltas[2]["white"], "Gamma");
    EXPECT_EQ(out.deltas[2]["moves"].size(), 1u);
    EXPECT_EQ(out.deltas[3]["ply"], 2);
}

// The operator's R mid-game reads the log again: a page (the overlay
// included) keeps the game, its clocks and both engines' thinking.
TEST_F(WebFeedTest, ReadingTheLogAgainMidGameKeepsClocksAndThinking) {
    auto play = [&](bool live) {
        outputs.Thinking(PieceColour::kWhite, ReadThinking("10 +17 100 5000 e2e4 e7e5"));
        outputs.MovePlayed(E4(), kAfterE4, 0, live);
        outputs.ClocksTold(ReadClocks(PieceColour::kBlack, "29000", "29950"), live);
        outputs.Thinking(PieceColour::kBlack, ReadThinking("9 -20 80 4000 e7e5 g1f3"));
        clock.Advance(1);
        outputs.TurnEnded();
    };
    play(true);
    const json before = *out.snapshot;
    outputs.ReadingLogAgain();
    outputs.NewGameStarted(1);
    outputs.PositionSet(kStart);
    outputs.PlayerNamed(PieceColour::kWhite, {"jorg", "J\xF6rg"});
    outputs.PlayerNamed(PieceColour::kBlack, {"beta", "Beta"});
    play(false);
    outputs.CaughtUp(GameSnapshot{});
    outputs.TurnEnded();
    const json& after = *out.snapshot;
    for (const char* field : {"game", "white", "black", "moves", "clock", "pv"})
        EXPECT_EQ(after[field], before[field]) << field;
    EXPECT_FALSE(after["clock"].is_null());
    EXPECT_FALSE(after["pv"]["black"].is_null());
}

TEST_F(WebFeedTest, ViewersAtMostOnceASecondAndChatLines) {
    std::vector<std::string> names{"Ann"};
    feed.audience.userNames = [&] { return names; };
    clock.Advance(1);
    outputs.TurnEnded();
    names.push_back("Bob");
    outputs.TurnEnded();  // too soon after the last
    feed.ChatLine("[Ann] - <b>hi</b> \xE9");
    clock.Advance(1);
    outputs.TurnEnded();
    ASSERT_EQ(out.Types(), (std::vector<std::string>{"users", "chat", "users"}));
    EXPECT_EQ(out.deltas[2]["users"], json::parse(R"(["Ann","Bob"])"));
    EXPECT_EQ(out.deltas[1]["line"], "[Ann] - <b>hi</b> \xC3\xA9");
    EXPECT_EQ((*out.snapshot)["chat"].size(), 1u);
}

// Every message's keys in the order pages have always had them.
TEST(FeedMessages, TextOfEachType) {
    const RecordedPly ply{E4(), "e4", kAfterE4, 29950, ThinkingLine{10, 17, 100, 5000, "e4 e5"}};
    RecordedGame game;
    game.number = 2;
    game.white = "J\xF6rg";
    game.level = ReadLevel("level 40 5 0");
    game.plies = {ply};
    const std::string e4 = R"({"san":"e4","uci":"e2e4","from":"e2","to":"e4",)"
                           R"("fen":"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq",)"
                           R"("clock":29950,"depth":10,"score":17,"nodes":5000,"pv":"e4 e5"})";
    const std::string gameFields =
        R"("game":2,"white":"J)"
        "\xC3\xB6"
        R"(rg","black":"","level":"40 5 0",)"
        R"("timeControl":"40/300","startFen":"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq",)"
        R"("result":"","reason":"","moves":[)" +
        e4 + "]";
    const std::pair<FeedDelta, std::string> rows[] = {
        {MoveDelta{1, ply}, R"({"type":"move","version":7,"ply":1,)" + e4.substr(1)},
        {GameDelta{game}, R"({"type":"game","version":7,)" + gameFields + "}"},
        {TakebackDelta{1, kAfterE4},
         R"({"type":"takeback","version":7,"ply":1,)"
         R"("fen":"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq"})"},
        {ClockDelta{29950, 30000}, R"({"type":"clock","version":7,"white":29950,"black":30000})"},
        {PvDelta{PieceColour::kBlack, {17, -25, 210, 880000, "e5"}},
         R"({"type":"pv","version":7,"side":"black","depth":17,"score":-25,"time":210,)"
         R"("nodes":880000,"pv":"e5"})"},
        {ResultDelta{"1-0", "White mates"},
         R"({"type":"result","version":7,"result":"1-0","reason":"White mates"})"},
        {ChatDelta{"caf\xE9"}, R"({"type":"chat","version":7,"line":"caf)"
                               "\xC3\xA9"
                               R"("})"},
        {UsersDelta{{"Ann"}, 3}, R"({"type":"users","version":7,"users":["Ann"],"webViewers":3})"},
    };
    for (const auto& [delta, text] : rows)
        EXPECT_EQ(MessageText(delta, 7), text);

    const SnapshotMessage snapshot{.run = "R",
                                   .site = "",
                                   .game = game,
                                   .clock = ClockDelta{1, 2},
                                   .whitePv = std::nullopt,
                                   .blackPv = ply.moverThinking,
                                   .users = {{"Ann"}, 3},
                                   .chat = {"hi"}};
    EXPECT_EQ(MessageText(snapshot, 7),
              R"({"type":"snapshot","version":7,"run":"R","site":"",)" + gameFields +
                  R"(,"clock":{"white":1,"black":2},"pv":{"white":null,"black":{"depth":10,)"
                  R"("score":17,"time":100,"nodes":5000,"pv":"e4 e5"}},"users":["Ann"],)"
                  R"("webViewers":3,"chat":["hi"],"chatAllowed":false})");
    EXPECT_EQ(MessageText(ErrorMessage{"No."}), R"({"text":"No.","type":"error"})");
    EXPECT_EQ(DocumentText(NatsServerList{{"wss://a.example:443"}}),
              R"({"servers":["wss://a.example:443"]})");
}

// An engine's line reaches the feed whole within its bounds, else cut after
// a whole word and marked; move numbers are no moves and go with the next.
TEST(FeedMessages, LongLinesAreCutAfterAWholeWord) {
    auto words = [](std::size_t count, const std::string& word) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i)
            text += (i ? " " : "") + word;
        return text;
    };
    const std::string mark = kPvCutMark;
    const std::string numbered = "1. Nf3 Nf6 " + words(62, "Ng1");  // 64 moves, 258 bytes
    const std::pair<std::string, std::string> rows[] = {
        {"", ""},
        {"e4\te5  Nf3 ", "e4\te5  Nf3 "},
        {words(kFeedPvMoves, "Nf3"), words(kFeedPvMoves, "Nf3")},
        {words(kFeedPvMoves + 1, "Nf3"), words(kFeedPvMoves, "Nf3") + mark},
        {numbered, numbered},
        {numbered + " 33. Nf3", numbered + mark},
        // Ten bytes a word: 51 fit in 512.
        {words(60, "abcdefghi"), words(51, "abcdefghi") + mark},
        {std::string(kFeedPvBytes + 1, 'x') + " e4", "\xE2\x80\xA6"},
        {"e4" + std::string(kFeedPvBytes, ' '), "e4"},
    };
    for (const auto& [line, sent] : rows) {
        EXPECT_EQ(FeedPvText(line), sent) << line;
        EXPECT_LE(FeedPvText(line).size(), kFeedPvBytes + mark.size());
    }
    // In every message that carries a line.
    const ThinkingLine longLine{30, 5, 100, 9000, words(5000, "e2e4")};
    const std::string cut = words(kFeedPvMoves, "e2e4") + mark;
    EXPECT_EQ(json::parse(MessageText(PvDelta{PieceColour::kWhite, longLine}, 1))["pv"], cut);
    const RecordedPly ply{E4(), "e4", kAfterE4, std::nullopt, longLine};
    EXPECT_EQ(json::parse(MessageText(MoveDelta{1, ply}, 1))["pv"], cut);
}

// A server restarted within the same second starts another run, so that no
// client resumes the old run's versions on it.
TEST(FeedRuns, ARestartWithinTheSecondIsAnotherRun) {
    FakeClock clock;
    GameRecorder record{clock};
    const std::string site;
    const WebSettings settings;
    const WebFeed first{clock, record, site, settings};
    clock.Advance(0.2);
    const WebFeed second{clock, record, site, settings};
    EXPECT_NE(first.run(), second.run());
    EXPECT_EQ(first.run().substr(0, 14), second.run().substr(0, 14));  // the same second
    EXPECT_TRUE(IsRunName(second.run())) << second.run();  // fit for the relay's headers
}

TEST(FeedHistory, ReachesBackOrSaysItCannot) {
    FeedHistory history;
    auto text = std::make_shared<const std::string>("{}");
    for (std::int64_t v = 1; v <= static_cast<std::int64_t>(FeedHistory::kCapacity) + 10; ++v)
        history.Add({v, text});
    const std::int64_t last = history.LastVersion();
    struct Row {
        std::int64_t since;
        std::optional<std::size_t> deltas;
    } rows[] = {
        {last, 0},
        {last - 3, 3},
        {10, FeedHistory::kCapacity},
        {9, std::nullopt},
        {last + 1, std::nullopt},  // a client of another run, ahead of this one
    };
    for (const Row& row : rows) {
        const auto after = history.After(row.since);
        ASSERT_EQ(after.has_value(), row.deltas.has_value()) << row.since;
        if (!after) continue;
        EXPECT_EQ(after->size(), *row.deltas) << row.since;
        if (!after->empty()) {
            EXPECT_EQ(after->front().version, row.since + 1);
        }
    }
}

TEST(ClientMessages, ChatLinesTakenOrRefused) {
    const std::string twoHundred(200, 'x');
    struct Row {
        std::string message;
        bool chatAllowed;
        const char* refusal;  // empty: taken
    } rows[] = {
        {R"({"type":"chat","name":"Ann","text":"hi <b>"})", true, ""},
        {R"({"type":"chat","name":"\u00c5sa","text":")" + twoHundred + R"("})", true, ""},
        {R"({"type":"chat","name":"Ann","text":"hi"})", false, "Chat from browsers is off"},
        {R"({"type":"chat","name":"","text":"hi"})", true, "A name is 1 to 20"},
        {R"({"type":"chat","name":"123456789012345678901","text":"hi"})", true, "A name is"},
        {R"({"type":"chat","name":"Ann","text":"a\nb"})", true, "A chat line is"},
        {R"({"type":"chat","name":"Ann","text":")" + twoHundred + R"(x"})", true, "A chat line is"},
        {R"({"type":"chat","name":"Ann","text":7})", true, "Not a message"},
        {"{\"type\":\"chat\",\"name\":\"A\xFF\",\"text\":\"hi\"}", true, "Not a message"},
        {R"({"type":"hello"})", true, "Not a message"},
        {"garbage", true, "Not a message"},
        // Any JSON shape is refused, never thrown on.
        {R"({"type":1})", true, "Not a message"},
        {R"({"type":null,"name":"Ann","text":"hi"})", true, "Not a message"},
        {R"({"type":["chat"],"name":"Ann","text":"hi"})", true, "Not a message"},
        {R"({"type":{"chat":1},"name":"Ann","text":"hi"})", true, "Not a message"},
        {R"({"type":"chat","name":{"first":"Ann"},"text":"hi"})", true, "Not a message"},
        {R"(["chat","Ann","hi"])", true, "Not a message"},
        {R"("chat")", true, "Not a message"},
        {"null", true, "Not a message"},
        {"", true, "Not a message"},
        // Names that pass for another speaker, or for the server.
        {R"({"type":"chat","name":"Ann] - I resign, gg","text":"x"})", true, "A name holds no ["},
        {R"({"type":"chat","name":"[SERVER","text":"x"})", true, "A name holds no ["},
        {R"({"type":"chat","name":" server ","text":"x"})", true, "A name holds no ["},
        {R"({"type":"chat","name":"Phantom User","text":"x"})", true, "A name holds no ["},
        // C1 controls and invisible format characters, in the name or the text.
        {R"({"type":"chat","name":"Ann\u0085","text":"x"})", true, "A name is 1 to 20"},
        {R"({"type":"chat","name":"A\u200bnn","text":"x"})", true, "A name is 1 to 20"},
        {R"({"type":"chat","name":"\u202eAnn","text":"x"})", true, "A name is 1 to 20"},
        {R"({"type":"chat","name":"Ann","text":"x\u009b2J"})", true, "A chat line is"},
        {R"({"type":"chat","name":"Ann","text":"\ufeffx"})", true, "A chat line is"},
        {R"({"type":"chat","name":"Ann","text":"x\u2066y"})", true, "A chat line is"},
        {R"({"type":"chat","name":"Ann","text":"caf\u00e9 \u00a0 \u4e2d \ud83d\ude00"})", true, ""},
    };
    for (const Row& row : rows) {
        const ClientMessage read = ReadClientMessage(row.message, row.chatAllowed);
        EXPECT_EQ(read.chat.has_value(), std::string(row.refusal).empty()) << row.message;
        EXPECT_EQ(read.refusal.substr(0, std::strlen(row.refusal)), row.refusal) << row.message;
    }
}

TEST(ClientMessages, RequestTargetsAndOrigins) {
    struct Row {
        const char* target;
        WebResource resource;
    } rows[] = {
        {"/feed", WebResource::kFeed},
        {"/feed?run=R&since=4", WebResource::kFeed},
        {"/feedx", WebResource::kPage},
        {"/state.json?x", WebResource::kState},
        {"/games.pgn", WebResource::kPgn},
        {"/", WebResource::kPage},
        {"/vendor/cm-chessboard/x.js", WebResource::kPage},
        {"/a.b/c.d", WebResource::kPage},
        {"/.git/config", WebResource::kRefused},
        {"/vendor/.env", WebResource::kRefused},
        {"/../server.ini", WebResource::kRefused},
        {"/%2e%2e/server.ini", WebResource::kRefused},
        {"/a\\b", WebResource::kRefused},
        {"state.json", WebResource::kRefused},
        {"http://host/", WebResource::kRefused},
        {"", WebResource::kRefused},
    };
    for (const Row& row : rows)
        EXPECT_EQ(RouteTarget(row.target).resource, row.resource) << row.target;
    EXPECT_EQ(RouteTarget("/app.js?v=2").path, "/app.js");

    const std::vector<std::string> allowed = {"https://club.example.org/"};
    EXPECT_TRUE(OriginMayPost("", "chess.example.org:8080", allowed));
    EXPECT_TRUE(OriginMayPost("http://chess.example.org:8080", "Chess.Example.org:8080", allowed));
    EXPECT_TRUE(OriginMayPost("https://CLUB.example.org", "chess.example.org", allowed));
    EXPECT_FALSE(OriginMayPost("http://chess.example.org", "chess.example.org:8080", allowed));
    EXPECT_FALSE(OriginMayPost("https://evil.example", "chess.example.org", allowed));
    EXPECT_FALSE(OriginMayPost("null", "chess.example.org", allowed));
    EXPECT_FALSE(OriginMayPost("https://evil.example", "", {}));
    EXPECT_EQ(ListWords(" https://a.org, https://b.org ,,"),
              (std::vector<std::string>{"https://a.org", "https://b.org"}));
    // A word that could end a directive of the security policy, or is no ASCII.
    EXPECT_EQ(ListWords("wss://a.org:443 wss://x;script-src \"'x' wss://caf\xE9.org"),
              (std::vector<std::string>{"wss://a.org:443"}));
}

TEST(WebRequests, FramingIsSoundOnlyWhereTheLengthIsInNoDoubt) {
    EXPECT_TRUE(FramingIsSound(11, true, std::nullopt));
    EXPECT_TRUE(FramingIsSound(11, true, "chunked"));
    EXPECT_TRUE(FramingIsSound(11, true, "gzip, Chunked \t"));
    EXPECT_TRUE(FramingIsSound(10, false, std::nullopt));  // HTTP/1.0 needs no Host
    for (const char* codings :
         {"xchunked", "chunked, identity", "identity", "", " , ", "chunkedx", "gzip chunked"})
        EXPECT_FALSE(FramingIsSound(11, true, std::string_view(codings))) << codings;
    EXPECT_FALSE(FramingIsSound(11, false, std::nullopt));
}

// Two a second after a burst of four: each row a connection at `at` seconds
// (at 99, a clock that steps back, which gives nothing).
TEST(WebRequests, ConnectionsFromOneAddressAtABoundedRate) {
    ConnectionRate rate(2, 4, 100);
    const struct {
        double at;
        bool taken;
    } rows[] = {{100, true},    {100, true},   {100, true},    {100, true}, {100, false},
                {100.4, false}, {100.5, true}, {100.6, false}, {99, false}, {102, true},
                {102, true},    {102, true},   {102, false}};
    for (const auto& row : rows)
        EXPECT_EQ(rate.Take(row.at), row.taken) << row.at;
    EXPECT_FALSE(rate.Rested(102.5));
    EXPECT_TRUE(rate.Rested(104));
}

// Only a bare origin goes into the policy's connect-src: a word that could add
// a source of its own (a wildcard, a keyword, a second directive) is refused.
TEST(WebRequests, FeedOriginsForTheSecurityPolicy) {
    const struct Row {
        const char* word;
        const char* origin;  // null: refused
    } rows[] = {
        {"ws://192.168.1.21:8080", "ws://192.168.1.21:8080"},
        {"WSS://Board-2.club.example.org/", "WSS://Board-2.club.example.org"},
        {"https://events.example.org", "https://events.example.org"},
        {"ws://pc3:1", "ws://pc3:1"},
        {"ftp://pc3:21", nullptr},
        {"pc3:8080", nullptr},
        {"ws://", nullptr},
        {"ws://pc3:", nullptr},
        {"ws://pc3:0", nullptr},
        {"ws://pc3:65536", nullptr},
        {"ws://pc3:123456", nullptr},
        {"ws://pc3:*", nullptr},
        {"ws://*.example.org", nullptr},
        {"ws://pc3:8080/feed", nullptr},
        {"ws://[::1]:8080", nullptr},
        {"ws://a..b", nullptr},
        {"ws://.a", nullptr},
        {"ws://pc3;script-src", nullptr},
        {"'unsafe-inline'", nullptr},
        {"*", nullptr},
        {"ws://caf\xE9.org", nullptr},
    };
    for (const Row& row : rows) {
        const OriginList list = ReadOrigins(row.word);
        const auto want =
            row.origin ? std::vector<std::string>{row.origin} : std::vector<std::string>{};
        EXPECT_EQ(list.origins, want) << row.word;
        EXPECT_EQ(list.refused.size(), row.origin ? 0u : 1u) << row.word;
    }
    const OriginList two = ReadOrigins(" ws://a:1,wss://b:2 ,, nonsense\t");
    EXPECT_EQ(two.origins, (std::vector<std::string>{"ws://a:1", "wss://b:2"}));
    EXPECT_EQ(two.refused, std::vector<std::string>{"nonsense"});
}

TEST(ClientMessages, ResumePoints) {
    EXPECT_EQ(ReadResumePoint("/feed?run=R1&since=41").since, 41);
    EXPECT_EQ(ReadResumePoint("/feed?since=41&run=R1").run, "R1");
    EXPECT_EQ(ReadResumePoint("/feed").since, std::nullopt);
    EXPECT_EQ(ReadResumePoint("/feed?run=R1&since=-1").since, std::nullopt);
    EXPECT_EQ(ReadResumePoint("/feed?since=99999999999999999999").since, std::nullopt);
}

}  // namespace
}  // namespace lantrel
