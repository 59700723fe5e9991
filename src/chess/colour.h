// The two sides of a game, by the colour of their pieces: the side to move,
// a move's mover, an engine's colour, whose clock or thinking a line is.
//
// The console palette of platform/platform.h already takes the name Colour,
// hence PieceColour.
#pragma once

#include <cstdint>

namespace lantrel {

enum class PieceColour : std::uint8_t { kWhite, kBlack };

constexpr PieceColour Opponent(PieceColour colour) {
    return colour == PieceColour::kWhite ? PieceColour::kBlack : PieceColour::kWhite;
}

}  // namespace lantrel
