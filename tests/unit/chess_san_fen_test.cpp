// The SAN writer (with its three disambiguation stages) and the FEN writer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "chess/fen.h"
#include "chess/san.h"

namespace lantrel {
namespace {

int Cell(const char* name) {
    return CellOf(9 - (name[1] - '0'), name[0] - 'a' + 1);
}

std::string SquareName(int cell) {
    return std::string(1, static_cast<char>('a' + FileOf(cell) - 1)) +
           static_cast<char>('0' + RankOf(cell));
}

// SAN texts of the pseudo-legal list of a position, by "from-to" (and "/kind"
// for promotions), so a case can name the moves it is about.
std::map<std::string, std::string> SanOf(const char* fen, bool skipLegality = true) {
    Board board;
    EXPECT_TRUE(LoadFen(board, fen)) << fen;
    MoveList list;
    GenerateMoves(board, list, board.sideToMove, skipLegality);
    MoveTextColumn san;
    BuildSanTexts(board, list, san);
    std::map<std::string, std::string> texts;
    for (int n = 1; n <= list.count; ++n) {
        std::string key = SquareName(list[n].from) + SquareName(list[n].to);
        if (list[n].kind >= kPromoteKnight && list[n].kind <= kPromoteQueen) {
            key += "/" + std::to_string(list[n].kind);
        }
        texts[key] = san[n];
    }
    return texts;
}

TEST(ChessSan, PlainForms) {
    auto start = SanOf("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(start["e2e4"], "e4");
    EXPECT_EQ(start["e2e3"], "e3");
    EXPECT_EQ(start["g1f3"], "Nf3");
    EXPECT_EQ(start["b1c3"], "Nc3");

    auto middle = SanOf("r3k2r/pppq1ppp/2n5/3pp1B1/4P1b1/2N2N2/PPPQ1PPP/R3K2R w KQkq - 0 1");
    EXPECT_EQ(middle["e4d5"], "exd5");
    EXPECT_EQ(middle["f3e5"], "Nxe5");
    EXPECT_EQ(middle["c3d5"], "Nxd5");
    EXPECT_EQ(middle["g5d8"], "Bd8");
    EXPECT_EQ(middle["e1g1"], "O-O");
    EXPECT_EQ(middle["e1c1"], "O-O-O");
    EXPECT_EQ(middle["e1e2"], "Ke2");
    EXPECT_EQ(middle["d2d5"], "Qxd5");
    EXPECT_EQ(middle.count("d1d5"), 0u);  // no piece on d1
}

TEST(ChessSan, EnPassantPromotionsAndNoCheckMarks) {
    auto ep = SanOf("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    EXPECT_EQ(ep["e5d6"], "exd6");
    EXPECT_EQ(ep["e5e6"], "e6");

    auto promo = SanOf("3r3k/4P3/8/8/8/8/8/K7 w - - 0 1");
    EXPECT_EQ(promo["e7e8/6"], "e8=Q");
    EXPECT_EQ(promo["e7e8/5"], "e8=R");
    EXPECT_EQ(promo["e7e8/4"], "e8=B");
    EXPECT_EQ(promo["e7e8/3"], "e8=N");
    EXPECT_EQ(promo["e7d8/6"], "exd8=Q");
    EXPECT_EQ(promo["e7d8/3"], "exd8=N");

    // Mate and check carry no mark.
    auto mate = SanOf("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    EXPECT_EQ(mate["a1a8"], "Ra8");
    auto check = SanOf("6k1/8/8/8/8/8/8/3N2K1 w - - 0 1");
    EXPECT_EQ(check["d1e3"], "Ne3");
    EXPECT_EQ(check["d1f2"], "Nf2");
}

TEST(ChessSan, DisambiguationStages) {
    struct Row {
        const char* why;
        const char* fen;
        std::map<std::string, std::string> expected;
    };
    const Row rows[] = {
        {"two knights, by file",
         "4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1",
         {{"b1d2", "Nbd2"}, {"f3d2", "Nfd2"}, {"f3d4", "Nd4"}, {"b1c3", "Nc3"}}},
        {"two knights capturing",
         "4k3/8/8/8/8/5N2/3p4/1N2K3 w - - 0 1",
         {{"b1d2", "Nbxd2"}, {"f3d2", "Nfxd2"}, {"e1d2", "Kxd2"}}},
        {"two rooks on a file: the file stage collides, the rank stage decides",
         "4k3/8/8/R7/8/8/8/R3K3 w - - 0 1",
         {{"a1a3", "R1a3"},
          {"a5a3", "R5a3"},
          {"a1a2", "R1a2"},
          {"a5a4", "R5a4"},
          {"a5a6", "Ra6"},
          {"a1b1", "Rb1"}}},
        {"three queens: c1 keeps its file, the a-file pair takes ranks",
         "4k3/8/8/8/8/Q7/8/Q1Q1K3 w - - 0 1",
         {{"a1b2", "Q1b2"}, {"a3b2", "Q3b2"}, {"c1b2", "Qcb2"}}},
        {"four queens: all three stages",
         "4k3/8/8/8/8/Q1Q5/8/Q1Q1K3 w - - 0 1",
         {{"a1b2", "Qa1b2"}, {"a3b2", "Qa3b2"}, {"c1b2", "Qc1b2"}, {"c3b2", "Qc3b2"}}},
        {"two rooks on a rank, by file",
         "4k3/8/8/8/8/8/8/R4RK1 w - - 0 1",
         {{"a1c1", "Rac1"}, {"f1c1", "Rfc1"}, {"f1f8", "Rf8"}}},
    };
    for (const Row& r : rows) {
        auto texts = SanOf(r.fen);
        for (const auto& [move, san] : r.expected)
            EXPECT_EQ(texts[move], san) << r.why << ": " << move;
    }
}

TEST(ChessSan, PinnedPieceStillCountsInThePseudoLegalList) {
    // Knights on b1 and f3; the f3 knight is pinned to the d1 king by h5.
    const char* fen = "4k3/8/8/7b/8/5N2/8/1N1K4 w - - 0 1";
    auto pseudo = SanOf(fen, 1);
    EXPECT_EQ(pseudo["b1d2"], "Nbd2");
    EXPECT_EQ(pseudo["f3d2"], "Nfd2");
    auto legal = SanOf(fen, 0);
    EXPECT_EQ(legal["b1d2"], "Nd2");
    EXPECT_EQ(legal.count("f3d2"), 0u);
}

// The stages exactly as the rules state them, comparing every pair: the
// writer groups the comparisons by target square and must agree with this.
void PairwiseSan(const Board& board, const MoveList& list, MoveTextColumn& san) {
    auto square = [](int cell) { return SquareName(cell); };
    auto suffix = [](int kind) -> std::string {
        switch (kind) {
            case kPromoteKnight:
                return "=N";
            case kPromoteBishop:
                return "=B";
            case kPromoteRook:
                return "=R";
            case kPromoteQueen:
                return "=Q";
            default:
                return "";
        }
    };
    const int count = list.count;
    std::vector<int> ambiguous(count + 1, 0);
    for (int n = 1; n <= count; ++n) {
        const MoveRecord& m = list[n];
        const int p = std::abs(board.cells[m.from]);
        std::string text;
        if (p == kPawn) {
            text = (m.captured > 0 || m.kind == kEnPassant)
                       ? square(m.from).substr(0, 1) + "x" + square(m.to)
                       : square(m.to);
        } else {
            text = std::string(1, "  NBRQK"[p]) + (m.captured > 0 ? "x" : "") + square(m.to);
        }
        if (m.kind == kCastleKingSide) text = "O-O";
        if (m.kind == kCastleQueenSide) text = "O-O-O";
        san[n] = text + suffix(m.kind);
    }
    for (int stage = 1; stage <= 3; ++stage) {
        for (int i = 1; i <= count; ++i) {
            for (int j = i + 1; j <= count; ++j) {
                if (san[i] == san[j]) ambiguous[i] = ambiguous[j] = 1;
            }
        }
        for (int n = 1; n <= count; ++n) {
            if (!ambiguous[n]) continue;
            ambiguous[n] = 0;
            const MoveRecord& m = list[n];
            const std::string from = square(m.from);
            std::string mark = stage == 1 ? from.substr(0, 1) : stage == 2 ? from.substr(1) : from;
            san[n] = std::string(1, "PPNBRQK"[std::abs(board.cells[m.from])]) + mark +
                     (m.captured > 0 ? "x" : "") + square(m.to) + suffix(m.kind);
        }
    }
}

void CompareTree(Board& board, int depth, int& positions) {
    MoveList list;
    GenerateMoves(board, list, board.sideToMove, true);
    MoveTextColumn fast, reference;
    BuildSanTexts(board, list, fast);
    PairwiseSan(board, list, reference);
    ++positions;
    for (int n = 1; n <= list.count; ++n) {
        ASSERT_EQ(fast[n], reference[n]) << FenText(board) << " entry " << n;
    }
    if (depth == 0) return;
    for (int n = 1; n <= list.count; ++n) {
        if (list[n].captured == kKing) continue;
        MakeMove(board, list[n].from, list[n].to, list[n].kind, board.searchPly);
        CompareTree(board, depth - 1, positions);
        UnmakeMove(board);
    }
}

TEST(ChessSan, GroupedComparisonsAgreeWithComparingEveryPair) {
    const char* fens[] = {
        "4k3/8/8/8/8/Q1Q5/8/Q1Q1K3 w - - 0 1",
        "3k4/8/1Q3Q2/8/1Q3Q2/8/1Q3Q2/4K3 w - - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1",
        "1n1n1k2/P1P1P3/8/8/8/8/8/R3K2R w KQ - 0 1",
    };
    int positions = 0;
    for (const char* fen : fens) {
        Board board;
        ASSERT_TRUE(LoadFen(board, fen));
        CompareTree(board, 2, positions);
    }
    EXPECT_GT(positions, 4000);  // the walk really visited the trees
}

TEST(ChessFen, PlacementSideAndCastlingOnly) {
    Board board;
    EXPECT_EQ(FenText(board), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq");
    MakeMove(board, Cell("e2"), Cell("e4"), kNormalMove, board.searchPly);
    // No en-passant field although the pawn just stepped two squares.
    EXPECT_EQ(FenText(board), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq");
}

TEST(ChessFen, CastlingLetters) {
    struct Row {
        const char* fen;
        const char* from;
        const char* to;
        std::int32_t kind;
        const char* expected;
    };
    const Row rows[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "h1", "h2", kNormalMove,
         "r3k2r/8/8/8/8/8/7R/R3K3 b Qkq"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "a1", "b1", kNormalMove,
         "r3k2r/8/8/8/8/8/8/1R2K2R b Kkq"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", "e8", "g8", kCastleKingSide,
         "r4rk1/8/8/8/8/8/8/R3K2R w KQ"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQ -", "e8", "d8", kNormalMove, "r2k3r/8/8/8/8/8/8/R3K2R w KQ"},
        // Both kings gone from home: the text ends with the side and its blank.
        {"r3k2r/8/8/8/8/8/8/R3K2R w kq -", "e1", "e2", kNormalMove, "r3k2r/8/8/8/8/8/4K3/R6R b kq"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b - -", "e8", "e7", kNormalMove, "r6r/4k3/8/8/8/8/8/R3K2R w "},
        // A rook taken in its corner leaves its letter in place.
        {"r3k2r/8/8/8/8/8/6b1/R3K2R b KQkq -", "g2", "h1", kNormalMove,
         "r3k2r/8/8/8/8/8/8/R3K2b w KQkq"},
    };
    for (const Row& r : rows) {
        Board board;
        ASSERT_TRUE(LoadFen(board, r.fen));
        MakeMove(board, Cell(r.from), Cell(r.to), r.kind, board.searchPly);
        EXPECT_EQ(FenText(board), r.expected) << r.fen << " " << r.from << r.to;
    }
}

TEST(ChessFen, LoaderRefusesTextsThatAreNoPosition) {
    Board board;
    const Board before = board;
    for (const char* bad : {"", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w", "9/8/8/8/8/8/8/8 w",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq",
                            "rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w"}) {
        EXPECT_FALSE(LoadFen(board, bad)) << bad;
    }
    EXPECT_EQ(board.cells, before.cells);
    ASSERT_TRUE(LoadFen(board, "4k3/8/8/3pP3/8/8/8/4K3 w - d6 12 40"));
    EXPECT_EQ(board.cells[kEnPassantCell], Cell("d6"));
    EXPECT_EQ(board.halfmoveClock, 12);
    EXPECT_EQ(FenText(board), "4k3/8/8/3pP3/8/8/8/4K3 w ");
}

}  // namespace
}  // namespace lantrel
