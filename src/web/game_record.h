// The game as the browser feed and the live PGN see it: every move with its
// position, the mover's clock after it and its last thinking before it, and the
// games this run has finished. Filled from the feed's game events.
//
// A game's facts (its number, its players, its start position and its result)
// are decided here, once, as they become known, and every output but the UDP
// viewers reads them from here: once a game has its result, nothing that
// happens later (the next game's engines starting, a name, a time control)
// changes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chess/board.h"
#include "events/game_output.h"
#include "platform/platform.h"
#include "web/openings.h"

namespace lantrel {

struct RecordedPly {
    PlayedMove move;
    std::string pgnSan;  // the move as a PGN writes it (check marks, no needless file or rank)
    std::string fen;     // the position after the move
    std::optional<std::int64_t> clockAfter;     // the mover's time left, centiseconds
    std::optional<ThinkingLine> moverThinking;  // the mover's last thinking before it
    const OpeningName* opening = nullptr;       // the name of the position after it, if any
};

// A player nobody has named yet.
inline constexpr const char* kNoWhite = "White";
inline constexpr const char* kNoBlack = "Black";

struct RecordedGame {
    std::int32_t number = 1;   // 1, 2, 3 ... in the order this run played them
    std::string date;          // "YYYY.MM.DD", local, when the game began
    std::string white;         // PlayerName::shown; kNoWhite while nobody is named
    std::string black;         // likewise; kNoBlack
    Level level;               // the time control; empty text before one
    std::string startFen;      // empty: the standard start position
    std::string startFullFen;  // the same in full (en-passant square, counters), for the PGN
    bool chess960 = false;     // played as Chess960 (its castling letters are X-FEN's)
    std::string result;        // "1-0", "0-1", "1/2-1/2"; empty while it goes on
    std::string reason;        // the GUI's words for it ("White mates"), if any
    std::vector<RecordedPly> plies;
};

// Keeps the games as the events tell them.
class GameRecorder final : public GameOutput {
  public:
    explicit GameRecorder(Clock& clock);

    const RecordedGame& current() const { return current_; }
    // This run's earlier games, oldest first: each game that had a move or a
    // result when the next one began.
    const std::vector<RecordedGame>& finished() const { return finished_; }

    void PlayerNamed(PieceColour side, const PlayerName& name) override;
    void NewGameStarted(std::int32_t gameNumber) override;
    void PositionSet(const std::string& fen) override;
    void StartPositionInFull(const std::string& fullFen) override;
    void MovePlayed(const PlayedMove& move, const std::string& fen, std::int32_t fiftyMoveCount,
                    bool live) override;
    void MoveTakenBack(const PlayedMove& move, const std::string& fen, bool live) override;
    void ClocksTold(const ClockReading& clocks, bool live) override;
    void Thinking(PieceColour side, const EngineThinking& thinking) override;
    void LevelSet(const Level& level) override;
    void VariantSet(bool chess960) override;
    void ResultAnnounced(const GameResult& result) override;
    void CaughtUp(const GameSnapshot& game) override;
    // The games are read again from the start: the record starts afresh.
    void ReadingLogAgain() override;
    void TurnEnded() override {}
    void Serve(int /*waitMs*/) override {}

  private:
    // What the next game takes over from the one before: its players and time
    // control until the GUI names others. After a result it is what the GUI
    // tells meanwhile; before, the current game's.
    struct NextGame {
        std::string white = kNoWhite;
        std::string black = kNoBlack;
        Level level;
    };

    std::string Today() const;
    bool Decided() const { return !current_.result.empty(); }
    RecordedGame FreshGame() const;

    Clock& clock_;
    RecordedGame current_;
    NextGame next_;
    std::vector<RecordedGame> finished_;
    std::optional<ThinkingLine> lastThinking_[2];  // White, Black
    std::string spentThinking_[2];                 // a line a move already took
    Board position_;                               // the position before the next move
};

}  // namespace lantrel
