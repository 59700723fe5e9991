// The viewer's texts for numbers the server passes on as the GUI and the
// engines wrote them: engine scores, thinking times, node counts and clocks,
// and the wrapping of long lines of moves. Pure functions, so that the screen
// can be checked without a server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lantrel {

// The screen is this wide unless told otherwise.
constexpr std::size_t kScreenColumns = 80;

// The moves to a mate in a score, from its engine's point of view: above zero
// when the engine mates, below when it is mated; none for an ordinary score.
// Engines write mates in ways of their own: 100000 + N for mate in N moves
// (XBoard's way, also Fairy-Max's and the GUIs' for UCI engines), or a code
// less the plies to the mate (100000 HoiChess, 32000, 30000 Phalanx, 10000
// GNU Chess; 1000000 Sjeng, which counts the root as a ply).
std::optional<std::int64_t> MateInMoves(std::int64_t score);

// A score in centipawns as pawns from the engine's point of view: "+2.02",
// "-0.35", "0.00"; a mate as "#3" (the engine mates) or "-#3" (it is mated).
std::string ScoreText(std::int64_t centipawns);

// A thinking time in centiseconds: "0.11 s", "45.20 s", "2 min 05 s".
std::string ThinkingTimeText(std::int64_t centiseconds);

// A count in groups of three digits: "78,149".
std::string GroupedNumber(std::int64_t n);

// A clock in centiseconds as h:mm:ss, whole seconds: "0:04:58", "1:30:00";
// a clock below zero (play went on after the flag fell) as "-0:00:05".
std::string ClockText(std::int64_t centiseconds);

// The clocks of a "WTIME: "/"BTIME: " message ("WTIME: 29800   otim 30000":
// the engine playing White was told its time, then its opponent's):
// "White 0:04:58  Black 0:05:00". Clocks that cannot be read are shown as
// they came.
std::string ClocksText(std::string_view message);

// An engine's thinking line ("14 +202 11 78149 16 730 0 Nf3 Nf6 ..."; depth,
// score, centiseconds, nodes, numbers some engines add, then the moves) as
// "depth 14, +2.02, 0.11 s, 78,149 nodes" and the moves; a line that does not
// start with those four numbers is all moves.
struct ThinkingText {
    std::string summary;  // empty when the line could not be read
    std::string moves;
};
ThinkingText ReadThinkingText(std::string_view line);

// `text` in lines of at most `columns` characters, each after `indent`;
// broken between moves only: a move number ("12." or "12...") stays with the
// move after it, and a word longer than a line has a line of its own.
std::vector<std::string> WrapMoves(std::string_view text, std::size_t columns,
                                   std::string_view indent);

}  // namespace lantrel
