#include "web/openings.h"

#include <utility>

#include "chess/fen.h"
#include "chess/move_query.h"
#include "text/text.h"

namespace lantrel {

// The table's text, built from src/web/openings/openings.tsv (opening_table.cpp.in).
extern const std::string_view kOpeningTableText;

namespace {

constexpr const char* kStartPosition = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq";

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The position the SAN moves lead to from the start ("1." and "2..." are move
// numbers); empty when a move is no legal move of its position.
std::string PositionAfter(std::string_view moves) {
    Board board;
    LoadFen(board, kStartPosition);
    for (std::string_view word : Split(moves, ' ')) {
        if (word.empty() || word.back() == '.') continue;
        const MoveTextMatch match = MatchMoveText(board, word);
        if (!match.legal) return {};
        MakeMove(board, match.move.from, match.move.to, match.move.kind, board.searchPly);
        board.searchPly = 1;  // a fresh board from the position: no undo is needed
    }
    return FenText(board);
}

}  // namespace

OpeningTable ReadOpeningTable(std::string_view utf8Table) {
    OpeningTable table;
    bool header = true;
    for (std::string_view line : Split(utf8Table, '\n')) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (std::exchange(header, false) || line.empty()) continue;
        const std::vector<std::string_view> fields = Split(line, '\t');
        const std::string position = fields.size() == 3 ? PositionAfter(fields[2]) : std::string();
        if (position.empty()) {
            table.unreadable.emplace_back(line);
            continue;
        }
        table.byPosition[position] = {std::string(fields[0]), Utf8ToLatin1(fields[1])};
    }
    return table;
}

const OpeningTable& BuiltInOpenings() {
    static const OpeningTable table = ReadOpeningTable(kOpeningTableText);
    return table;
}

const OpeningName* OpeningAt(const std::string& fen) {
    const auto& positions = BuiltInOpenings().byPosition;
    const auto found = positions.find(fen);
    return found == positions.end() ? nullptr : &found->second;
}

}  // namespace lantrel
