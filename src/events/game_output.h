// What the feed reports as the game goes on, and the few things it asks back.
//
// The feed knows nothing of who listens. Every output (the UDP broadcaster, a
// browser feed, a live PGN file) implements GameOutput; the app attaches them
// to one GameOutputs, which hands every event to each output in attach order.
// Texts are the GUI's bytes, as the log had them; what the feed read of them
// travels beside them (events/game_events.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "chess/colour.h"
#include "events/game_events.h"

namespace lantrel {

// A move as the game records it: its full-move number, who made it, its SAN,
// and where it went.
struct PlayedMove {
    PlayedMove() = default;
    PlayedMove(std::int32_t moveNumber, PieceColour mover, std::string moveSan,
               std::optional<EngineThinking> moverThinking = std::nullopt)
        : number(moveNumber),
          side(mover),
          san(std::move(moveSan)),
          thinking(std::move(moverThinking)) {}

    std::int32_t number = 0;
    PieceColour side = PieceColour::kWhite;
    std::string san;
    // The mover's last thinking line before the move when the same read of the
    // log held both: Thinking reports only the latest line of a read, after its
    // moves. None when the line was reported before the move.
    std::optional<EngineThinking> thinking;
    // The move as UCI writes it ("e2e4", "e7e8q", castling as the king's move
    // "e1g1", in Chess960 as the king taking its own rook "g1h1") and its from
    // and to squares ("e2", "e4"; the king's for castling).
    std::string uci;
    std::string from;
    std::string to;
};

// The game as somebody who comes in now needs it.
struct GameSnapshot {
    PlayerName white;
    PlayerName black;
    std::string previousFen;  // the position before the last move
    std::string fen;
    std::optional<PlayedMove> lastMove;  // the last move followed, of this game or an earlier one
    Level level;                         // the time control; empty text before one
};

class GameOutput {
  public:
    virtual ~GameOutput() = default;

    // A player's name became known or changed.
    virtual void PlayerNamed(PieceColour side, const PlayerName& name) = 0;
    // A new game began at the start position (PositionSet follows).
    virtual void NewGameStarted(std::int32_t gameNumber) = 0;
    // The position was set without a move: a new game, or a position from the GUI.
    virtual void PositionSet(const std::string& fen) = 0;
    // The position a game starts from in full (castling "-" when none, the
    // en-passant square, the halfmove clock, move number 1): after each
    // PositionSet, and again when the GUI tells in full a set-up the feed had
    // to guess (an engine set up by "edit"), which the viewers' text of it
    // may not show.
    virtual void StartPositionInFull(const std::string& fullFen) = 0;
    // A move was played. `live` is false while the feed catches up with a log
    // written before it looked (then CaughtUp follows once it has).
    virtual void MovePlayed(const PlayedMove& move, const std::string& fen,
                            std::int32_t fiftyMoveCount, bool live) = 0;
    // The GUI refused the last move reported (say, it came after the mover's
    // flag fell): the game is back at `fen`, the position before that move. `live`
    // as for MovePlayed.
    virtual void MoveTakenBack(const PlayedMove& move, const std::string& fen, bool live) = 0;
    // The clocks the GUI gave the engine on move: its own time and its
    // opponent's. `live` as for MovePlayed.
    virtual void ClocksTold(const ClockReading& clocks, bool live) = 0;
    // The latest thinking line (depth, score, time, nodes, PV) of one side.
    virtual void Thinking(PieceColour side, const EngineThinking& thinking) = 0;
    // The time control the GUI set ("level ...").
    virtual void LevelSet(const Level& level) = 0;
    // The GUI plays this game as Chess960 (`chess960`), or as the standard
    // game. Told when it changes, after NewGameStarted and before the game's
    // set-up position.
    virtual void VariantSet(bool chess960) = 0;
    // The GUI announced the result ("1-0 {White mates}" and the like).
    virtual void ResultAnnounced(const GameResult& result) = 0;
    // The feed has read the whole log that was there when it started (or was
    // reset by the operator): the game as it stands now.
    virtual void CaughtUp(const GameSnapshot& game) = 0;
    // The operator reset the feed: the whole log is read again from its start
    // (silently, then CaughtUp), so every game it holds is told once more.
    virtual void ReadingLogAgain() = 0;

    // The feed has handled every line it had and is about to wait: what the
    // output made of this turn goes out now, together (a ply's move, clock and
    // thinking reach each browser in one write).
    virtual void TurnEnded() = 0;
    // Asked back: serve the output's own clients for up to `waitMs` ms (during
    // long reads and pauses the feed is the loop). 0 in the middle of a read:
    // more lines of the same turn follow at once.
    virtual void Serve(int waitMs) = 0;
};

// Several outputs behind one: each event goes to every output in attach order.
class GameOutputs final : public GameOutput {
  public:
    void Attach(GameOutput& output) { outputs_.push_back(&output); }

    void PlayerNamed(PieceColour side, const PlayerName& name) override {
        Each(&GameOutput::PlayerNamed, side, name);
    }
    void NewGameStarted(std::int32_t gameNumber) override {
        Each(&GameOutput::NewGameStarted, gameNumber);
    }
    void PositionSet(const std::string& fen) override { Each(&GameOutput::PositionSet, fen); }
    void StartPositionInFull(const std::string& fullFen) override {
        Each(&GameOutput::StartPositionInFull, fullFen);
    }
    void MovePlayed(const PlayedMove& move, const std::string& fen, std::int32_t fiftyMoveCount,
                    bool live) override {
        Each(&GameOutput::MovePlayed, move, fen, fiftyMoveCount, live);
    }
    void MoveTakenBack(const PlayedMove& move, const std::string& fen, bool live) override {
        Each(&GameOutput::MoveTakenBack, move, fen, live);
    }
    void ClocksTold(const ClockReading& clocks, bool live) override {
        Each(&GameOutput::ClocksTold, clocks, live);
    }
    void Thinking(PieceColour side, const EngineThinking& thinking) override {
        Each(&GameOutput::Thinking, side, thinking);
    }
    void LevelSet(const Level& level) override { Each(&GameOutput::LevelSet, level); }
    void VariantSet(bool chess960) override { Each(&GameOutput::VariantSet, chess960); }
    void ResultAnnounced(const GameResult& result) override {
        Each(&GameOutput::ResultAnnounced, result);
    }
    void CaughtUp(const GameSnapshot& game) override { Each(&GameOutput::CaughtUp, game); }
    void ReadingLogAgain() override { Each(&GameOutput::ReadingLogAgain); }
    void TurnEnded() override { Each(&GameOutput::TurnEnded); }
    void Serve(int waitMs) override { Each(&GameOutput::Serve, waitMs); }

  private:
    template <typename... Params, typename... Args>
    void Each(void (GameOutput::*event)(Params...), const Args&... args) {
        for (GameOutput* output : outputs_)
            (output->*event)(args...);
    }

    std::vector<GameOutput*> outputs_;
};

}  // namespace lantrel
