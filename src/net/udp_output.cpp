#include "net/udp_output.h"

#include "net/net.h"
#include "text/text.h"

namespace lantrel {

namespace {

// A viewer gets thinking lines while fewer re-sends than this await it, and
// clock lines only while none does: a viewer that is behind needs the moves first.
constexpr std::int32_t kThinkingBacklogLimit = 20;
constexpr std::int32_t kClockBacklogLimit = 1;

}  // namespace

std::string MoveMessage(const PlayedMove& move) {
    return (move.side == PieceColour::kWhite ? "WMOVE:" : "BMOVE:") +
           TrimRightBlanks(NumberText(move.number)) + ". " + move.san;
}

void UdpBroadcaster::PlayerNamed(PieceColour side, const PlayerName& name) {
    Broadcast(net_, (side == PieceColour::kWhite ? "WPLAYER: " : "BPLAYER: ") + name.text);
}

void UdpBroadcaster::NewGameStarted(std::int32_t /*gameNumber*/) {
    // Viewers learn of a new game from its start position.
}

void UdpBroadcaster::PositionSet(const std::string& fen) {
    Broadcast(net_, "FEN: " + fen);
}

void UdpBroadcaster::MovePlayed(const PlayedMove& move, const std::string& fen,
                                std::int32_t fiftyMoveCount, bool live) {
    // While the feed catches up, viewers wait for the game as it stands.
    if (!live) return;
    // Keep this order: viewers draw the position before they show the move.
    Broadcast(net_, {"FEN: " + fen, MoveMessage(move), "FMR: " + NumberText(fiftyMoveCount)});
}

void UdpBroadcaster::MoveTakenBack(const PlayedMove& /*move*/, const std::string& fen, bool live) {
    // The earlier position replaces the refused move's; the result follows.
    if (live) Broadcast(net_, "FEN: " + fen);
}

void UdpBroadcaster::ClocksTold(const ClockReading& clocks, bool live) {
    // Old clocks are no news: viewers that wait for the game as it stands
    // learn the clocks from the next ones.
    if (!live) return;
    std::string message;
    if (clocks.side)
        message =
            (*clocks.side == PieceColour::kWhite ? "WTIME: " : "BTIME: ") + clocks.ownText + " ";
    BroadcastRaw(net_, message + " otim " + clocks.opponentText, kClockBacklogLimit);
}

void UdpBroadcaster::Thinking(PieceColour side, const EngineThinking& thinking) {
    BroadcastRaw(net_, (side == PieceColour::kWhite ? "WPV: " : "BPV: ") + thinking.text,
                 kThinkingBacklogLimit);
}

void UdpBroadcaster::LevelSet(const Level& level) {
    if (level.secondsPerMove) return;
    Broadcast(net_, level.text);
}

void UdpBroadcaster::ResultAnnounced(const GameResult& result) {
    Broadcast(net_, "result " + result.text);
}

void UdpBroadcaster::CaughtUp(const GameSnapshot& game) {
    // Keep this order: viewers rebuild their picture from it.
    Broadcast(net_, "WPLAYER: " + game.white.text);
    Broadcast(net_, "BPLAYER: " + game.black.text);
    Broadcast(net_, "SITE:" + net_.settings.site);
    Broadcast(net_, game.lastMove ? MoveMessage(*game.lastMove) : std::string());
    Broadcast(net_, "FEN: " + game.fen);
}

void UdpBroadcaster::Serve(int waitMs) {
    ServiceNetwork(net_, waitMs);
}

}  // namespace lantrel
