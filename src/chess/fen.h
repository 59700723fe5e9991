// Position texts: the FEN writer, the FEN reader for positions the GUI sets up,
// and a lenient loader used by tests and benchmarks.
#pragma once

#include <string>
#include <string_view>

#include "chess/board.h"

namespace lantrel {

// The position text viewers receive: placement, side to move and castling
// letters only ("... w KQkq"; with no castling left it ends "... w "). A
// Chess960 position's castling is written in X-FEN: K or Q for the outermost
// rook on its side of the king, else the rook's file ("... w KGkg").
std::string FenText(const Board& board);

// The position in full FEN, for texts other programs read (a PGN's FEN tag):
// castling "-" when none is left, the en-passant square or "-", the halfmove
// clock and `moveNumber`.
std::string FullFenText(const Board& board, std::int32_t moveNumber);

// Sets `board` from a full FEN (placement, side, castling, en passant,
// halfmove clock; missing trailing fields count as "-" and 0). A castling
// letter that is absent makes that wing lost. Returns false, leaving the board
// unchanged, when the text is no FEN. The server never loads positions; this
// is how tests and benchmarks reach positions far from the start.
// With `chess960`, or castling letters that name files, the castling field is
// read as ReadFen reads it.
bool LoadFen(Board& board, std::string_view fen, bool chess960 = false);

// What reading a FEN gave: the position, or why the text is no position.
struct FenReading {
    Board board;        // the position read (king squares, castling cells, en passant,
                        // halfmove clock and side to move set); the start position on error
    std::string error;  // empty when the text was read

    bool ok() const { return error.empty(); }
};

// Reads the position a GUI sends (setboard, UCI "position fen"): placement,
// side to move, castling rights, en-passant square, halfmove clock and move
// number, separated by blanks. The last two fields may be missing (some GUIs
// leave them out); everything else is checked: eight ranks of eight squares,
// known piece letters, no pawn on the first or last rank, one king per side,
// "w" or "b", castling "-" or distinct letters of KQkq and of the files A-H
// and a-h (Shredder-FEN and X-FEN: a rook's file; with `chess960`, K and Q
// name the outermost rook on their side of the king), en passant "-" or a
// square on the rank the side to move can take on, numbers as digits, and the
// side that has just moved not left in check. A castling right whose king or
// rook is not at home and an en-passant square without the pawn that passed it
// are dropped, as the position cannot have them.
FenReading ReadFen(std::string_view text, bool chess960 = false);

}  // namespace lantrel
