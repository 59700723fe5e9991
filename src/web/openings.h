// Opening names: the ECO code and name of well-known positions, read from the
// table in src/web/openings/ (built into the program), for the live PGN's tags
// and the browser feed's moves.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lantrel {

struct OpeningName {
    std::string eco;   // "C60"
    std::string name;  // "Ruy Lopez", in Latin-1 as every text of the server
};

struct OpeningTable {
    // Keyed by the position as FenText writes it (placement, side to move,
    // castling letters), so a line reached in another move order is named too.
    std::unordered_map<std::string, OpeningName> byPosition;
    std::vector<std::string> unreadable;  // lines whose moves do not play out
};

// Reads a table of lines "ECO<TAB>Name<TAB>1. e4 e5 2. Nf3" (UTF-8, a header
// line first): each line names the position its moves reach from the start.
// A later line for the same position replaces an earlier one.
OpeningTable ReadOpeningTable(std::string_view utf8Table);

// The built-in table, read on first use.
const OpeningTable& BuiltInOpenings();

// The opening the built-in table names for `fen` (FenText form); null when none.
const OpeningName* OpeningAt(const std::string& fen);

}  // namespace lantrel
