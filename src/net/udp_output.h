// The UDP viewers as an output of the game feed: every game event becomes the
// viewer protocol's messages, numbered and re-sent where they matter.
#pragma once

#include "events/game_output.h"

namespace lantrel {

struct NetServer;

// "WMOVE: 12. e4" / "BMOVE: 12. e5": a move as viewers are told it.
std::string MoveMessage(const PlayedMove& move);

class UdpBroadcaster final : public GameOutput {
  public:
    explicit UdpBroadcaster(NetServer& net) : net_(net) {}

    void PlayerNamed(PieceColour side, const PlayerName& name) override;
    void NewGameStarted(std::int32_t gameNumber) override;
    void PositionSet(const std::string& fen) override;
    void StartPositionInFull(const std::string&) override {}  // viewers get PositionSet's text
    void MovePlayed(const PlayedMove& move, const std::string& fen, std::int32_t fiftyMoveCount,
                    bool live) override;
    void MoveTakenBack(const PlayedMove& move, const std::string& fen, bool live) override;
    void ClocksTold(const ClockReading& clocks, bool live) override;
    void Thinking(PieceColour side, const EngineThinking& thinking) override;
    void LevelSet(const Level& level) override;
    // The viewers read the variant from the position's castling letters.
    void VariantSet(bool) override {}
    void ResultAnnounced(const GameResult& result) override;
    void CaughtUp(const GameSnapshot& game) override;
    void ReadingLogAgain() override {}  // the main loop has told the viewers
    void TurnEnded() override {}        // each message leaves as it is made
    void Serve(int waitMs) override;

  private:
    NetServer& net_;
};

}  // namespace lantrel
