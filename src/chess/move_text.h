// The parts of move text matching that need no Server.
#pragma once

#include <cstdint>
#include <string>

#include "chess/board.h"
#include "chess/san.h"

namespace lantrel {

// What a move text tells beyond the move itself.
struct MoveTextMarks {
    std::string eqMark;          // "=" when the text had one
    std::int32_t queenMark = 0;  // 1 when the text had a q or Q
    std::string separator;       // "", "-" or "X": written between the two squares
};

// Cleans a logged move text in place (trailing blanks, check and mate marks,
// comments, "<e>", castling spelt with o or 0) and returns its marks. The
// marks are read before the comment goes, as the matcher always did.
MoveTextMarks NormaliseMoveText(std::string& text);

// Writes the coordinate text of every entry (E2E4, E7E8N, E1G1 for castling,
// with the marks' separator and "=") and the same with the piece letter in front.
void BuildCoordinateTexts(const Board& board, const MoveList& list, const MoveTextMarks& marks,
                          MoveTextColumn& withPiece, MoveTextColumn& coordinates);

}  // namespace lantrel
