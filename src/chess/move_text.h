// Move text matching: the texts of every generated move, and the one pass that
// looks a logged text up among them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "chess/board.h"
#include "chess/san.h"

namespace lantrel {

// What a move text tells beyond the move itself.
struct MoveTextMarks {
    std::string eqMark;      // "=" when the text had one
    bool queenMark = false;  // the text had a q or Q
    std::string separator;   // "", "-" or "X": written between the two squares
};

// Cleans a logged move text in place (trailing blanks, check and mate marks,
// comments, "<e>", castling spelt with o or 0) and returns its marks. The
// marks are read before the comment goes, as the matcher always did.
MoveTextMarks NormaliseMoveText(std::string& text);

// The texts of every entry: 0 piece letter + coordinates, 1 coordinates, 2 SAN,
// 3 for castling the king taking its own rook (UCI_Chess960's E1H1), empty
// for any other move.
using MoveTexts = std::array<MoveTextColumn, 4>;

// Writes the coordinate texts of every entry (E2E4, E7E8N, E1G1 for castling,
// with the marks' separator and "="), the same with the piece letter in front,
// and castling's king-takes-rook text. A Chess960 castling whose king moves
// less than two files has its king-takes-rook text in the other two columns
// too: its king's squares would name a plain king move, or none.
void BuildCoordinateTexts(const Board& board, const MoveList& list, const MoveTextMarks& marks,
                          MoveTexts& texts);

// The entry of `list` that a cleaned text names (0 = none): the last entry
// whose SAN is the text exactly, or else the last whose coordinate text, with
// or without the piece letter, or king-takes-rook text is the text in
// capitals (`upper`). A SAN match comes first because a bishop's SAN with the
// rank of its square ("B6b5") is in capitals also the coordinate text of a
// pawn move (b6-b5).
std::int32_t FindTextEntry(const MoveList& list, const MoveTexts& texts, const std::string& text,
                           const std::string& upper);

// One matching pass: generates the moves of the side to move into `list`
// (all pseudo-legal ones, or with `legalOnly` only the legal ones), writes
// their texts and returns the entry a cleaned text names (0 = none). The
// board is left as it was found.
std::int32_t MatchPass(Board& board, MoveList& list, MoveTexts& texts, const std::string& text,
                       const MoveTextMarks& marks, bool legalOnly);

}  // namespace lantrel
