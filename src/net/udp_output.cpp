#include "net/udp_output.h"

#include "app/server.h"
#include "net/net.h"
#include "text/text.h"

namespace lantrel {

namespace {

// Thinking lines wait while more re-sends than this are outstanding, and clock
// lines while any is: a viewer that is behind needs the moves first.
constexpr std::int32_t kThinkingBacklogLimit = 20;

}  // namespace

std::string MoveMessage(const PlayedMove& move) {
    return (move.side == Side::kWhite ? "WMOVE:" : "BMOVE:") +
           TrimRightBlanks(NumberText(move.number)) + ". " + move.san;
}

void UdpBroadcaster::PlayerNamed(Side side, const std::string& name) {
    Broadcast(server_, (side == Side::kWhite ? "WPLAYER: " : "BPLAYER: ") + name);
}

void UdpBroadcaster::NewGameStarted(std::int32_t /*gameNumber*/) {
    // Viewers learn of a new game from its start position.
}

void UdpBroadcaster::PositionSet(const std::string& fen) {
    Broadcast(server_, "FEN: " + fen);
}

void UdpBroadcaster::MovePlayed(const PlayedMove& move, const std::string& fen,
                                std::int32_t fiftyMoveCount, bool live) {
    // While the feed catches up, viewers wait for the game as it stands.
    if (!live) return;
    // Keep this order: viewers draw the position before they show the move.
    Broadcast(server_, "FEN: " + fen);
    Broadcast(server_, MoveMessage(move));
    Broadcast(server_, "FMR: " + NumberText(fiftyMoveCount));
}

void UdpBroadcaster::ClocksTold(std::optional<Side> side, const std::string& time,
                                const std::string& opponentTime) {
    if (server_.queue.resendCount != 0) return;
    std::string message;
    if (side) message = (*side == Side::kWhite ? "WTIME: " : "BTIME: ") + time + " ";
    BroadcastRaw(server_, message + " otim " + opponentTime);
}

void UdpBroadcaster::Thinking(Side side, const std::string& line) {
    if (server_.queue.resendCount >= kThinkingBacklogLimit) return;
    BroadcastRaw(server_, (side == Side::kWhite ? "WPV: " : "BPV: ") + line);
}

void UdpBroadcaster::LevelSet(const std::string& level) {
    Broadcast(server_, level);
}

void UdpBroadcaster::ResultAnnounced(const std::string& result) {
    Broadcast(server_, "result " + result);
}

void UdpBroadcaster::CaughtUp(const GameSnapshot& game) {
    // Keep this order: viewers rebuild their picture from it.
    Broadcast(server_, "WPLAYER: " + game.white);
    Broadcast(server_, "BPLAYER: " + game.black);
    Broadcast(server_, "SITE:" + server_.config.site);
    Broadcast(server_, game.lastMove ? MoveMessage(*game.lastMove) : std::string());
    Broadcast(server_, "FEN: " + game.fen);
}

void UdpBroadcaster::Serve(int waitMs) {
    ServiceNetwork(server_, waitMs);
}

}  // namespace lantrel
