#include "web/game_record.h"

#include "chess/fen.h"
#include "chess/san.h"

namespace lantrel {

namespace {

constexpr const char* kStartPosition = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq";

int Index(PieceColour side) {
    return side == PieceColour::kWhite ? 0 : 1;
}

// A line of a search, not a book move's ("0 0 0 0 (O-O, book2)"): only a
// search evaluates the move, as the GUI records it too.
bool Searched(const EngineThinking& thinking) {
    return thinking.values && thinking.values->depth > 0;
}

}  // namespace

GameRecorder::GameRecorder(Clock& clock) : clock_(clock) {
    current_ = FreshGame();
    LoadFen(position_, kStartPosition);
}

std::string GameRecorder::Today() const {
    const LocalDateTime now = clock_.Now();
    auto two = [](int n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
    return std::to_string(now.year) + "." + two(now.month) + "." + two(now.day);
}

RecordedGame GameRecorder::FreshGame() const {
    RecordedGame game;
    game.number = static_cast<std::int32_t>(finished_.size()) + 1;
    game.date = Today();
    game.white = next_.white;
    game.black = next_.black;
    game.level = next_.level;
    return game;
}

void GameRecorder::PlayerNamed(PieceColour side, const PlayerName& name) {
    const bool white = side == PieceColour::kWhite;
    std::string shown = name.shown.empty() ? (white ? kNoWhite : kNoBlack) : name.shown;
    if (!Decided()) (white ? current_.white : current_.black) = shown;
    (white ? next_.white : next_.black) = std::move(shown);
}

void GameRecorder::NewGameStarted(std::int32_t /*gameNumber*/) {
    // The feed counts every start, a game without a move too; this record
    // numbers the games played.
    if (!current_.plies.empty() || Decided()) finished_.push_back(std::move(current_));
    current_ = FreshGame();
    LoadFen(position_, kStartPosition);
    lastThinking_[0].reset();
    lastThinking_[1].reset();
    spentThinking_[0].clear();
    spentThinking_[1].clear();
}

void GameRecorder::PositionSet(const std::string& fen) {
    // A position before the first move is where the game starts; one later on
    // re-states the game, whose moves are already recorded.
    if (!current_.plies.empty() || Decided()) return;
    const bool standard = fen == kStartPosition;
    current_.startFen = standard ? std::string() : fen;
    LoadFen(position_, fen, current_.chess960);
    current_.startFullFen = FullFenText(position_, 1);
}

void GameRecorder::StartPositionInFull(const std::string& fullFen) {
    if (!current_.plies.empty() || Decided() || !LoadFen(position_, fullFen, current_.chess960))
        return;
    current_.startFullFen = fullFen;
}

void GameRecorder::MovePlayed(const PlayedMove& move, const std::string& fen,
                              std::int32_t /*fiftyMoveCount*/, bool /*live*/) {
    // A move after the result (an engine that plays on) is no part of the game.
    if (Decided()) return;
    const int mover = Index(move.side);
    if (move.thinking) {
        if (move.thinking->values) lastThinking_[mover] = move.thinking->values;
        // Reported again after the move: not the next one's.
        spentThinking_[mover] = move.thinking->text;
    }
    RecordedPly ply{move, PlayPgnMove(position_, fen), fen, std::nullopt, lastThinking_[mover]};
    ply.move.thinking.reset();
    if (ply.pgnSan.empty()) {
        // Not a move of the position as recorded (the GUI set another one up
        // meanwhile): take the feed's text and start again from its position.
        LoadFen(position_, fen);
        ply.pgnSan = move.san + CheckMark(position_);
    }
    ply.opening = current_.chess960 ? nullptr : OpeningAt(fen);  // names of the standard game
    lastThinking_[mover].reset();
    current_.plies.push_back(std::move(ply));
}

void GameRecorder::MoveTakenBack(const PlayedMove& /*move*/, const std::string& fen,
                                 bool /*live*/) {
    if (Decided()) return;
    if (!current_.plies.empty()) current_.plies.pop_back();
    LoadFen(position_, fen);
}

void GameRecorder::ClocksTold(const ClockReading& clocks, bool /*live*/) {
    // The GUI tells the engine on move its opponent's time too: the time the
    // side that just moved has left after its move.
    if (!clocks.side || current_.plies.empty() || Decided()) return;
    RecordedPly& last = current_.plies.back();
    if (last.move.side == *clocks.side || last.clockAfter) return;
    last.clockAfter = clocks.opponent;
}

void GameRecorder::Thinking(PieceColour side, const EngineThinking& thinking) {
    const bool spent = thinking.text == spentThinking_[Index(side)];
    spentThinking_[Index(side)].clear();
    if (spent) return;
    if (Searched(thinking)) lastThinking_[Index(side)] = thinking.values;
}

void GameRecorder::VariantSet(bool chess960) {
    if (current_.plies.empty() && !Decided()) current_.chess960 = chess960;
}

void GameRecorder::LevelSet(const Level& level) {
    if (!Decided()) current_.level = level;
    next_.level = level;
}

void GameRecorder::ResultAnnounced(const GameResult& result) {
    // A game the GUI left unfinished ("*") goes on as far as the record is
    // concerned; a game has one result, the first.
    if (!result.score || *result.score == ResultScore::kUnfinished || Decided()) return;
    current_.result = ScoreText(*result.score);
    current_.reason = result.reason;
}

void GameRecorder::CaughtUp(const GameSnapshot& game) {
    if (!game.white.text.empty()) PlayerNamed(PieceColour::kWhite, game.white);
    if (!game.black.text.empty()) PlayerNamed(PieceColour::kBlack, game.black);
    if (!game.level.text.empty()) LevelSet(game.level);
}

void GameRecorder::ReadingLogAgain() {
    finished_.clear();
    next_ = {};
    current_ = {};
    NewGameStarted(0);
}

}  // namespace lantrel
