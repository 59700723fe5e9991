#include "game_display.h"

#include <cctype>

#include "screen_text.h"
#include "text/text.h"

namespace lantrel {

namespace {

bool IsMoveMessage(std::string_view m) {
    return StartsWith(m, "WMOVE:") || StartsWith(m, "BMOVE:");
}

// The piece on a square of a FEN placement (file and rank 0..7), '.' for an
// empty square, 0 when the placement cannot be read that far.
char PieceOn(std::string_view fen, int file, int rank) {
    std::string_view placement = fen.substr(0, fen.find(' '));
    int row = 7, column = 0;
    for (char c : placement) {
        if (c == '/') {
            --row;
            column = 0;
            continue;
        }
        if (row < 0) return 0;
        if (c >= '1' && c <= '8') {
            if (row == rank && file >= column && file < column + (c - '0')) return '.';
            column += c - '0';
        } else {
            if (row == rank && column == file) return c;
            ++column;
        }
    }
    return 0;
}

// The side-to-move field of a FEN, or an empty view.
std::string_view SideToMove(std::string_view fen) {
    std::size_t blank = fen.find(' ');
    if (blank == std::string_view::npos) return {};
    std::string_view rest = fen.substr(blank + 1);
    return rest.substr(0, rest.find(' '));
}

// The SAN of a move message: the text after "N. " ("BMOVE: 19. Bf6" gives "Bf6").
std::string SanOf(std::string_view message) {
    std::string rest = TrimBlanks(message.substr(6));
    std::size_t dot = rest.find(". ");
    return dot == std::string::npos ? rest : TrimBlanks(rest.substr(dot + 2));
}

}  // namespace

std::string ForTerminal(std::string_view latin1) {
    std::string text(latin1);
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || (byte >= 0x7F && byte <= 0x9F)) c = '?';
    }
    return text;
}

std::string MoveForReaders(std::string_view message) {
    if (!IsMoveMessage(message)) return std::string(message);
    std::string rest = TrimBlanks(message.substr(6));
    std::size_t dot = rest.find(". ");
    bool numbered = dot != std::string::npos && dot > 0;
    for (std::size_t i = 0; numbered && i < dot; ++i)
        numbered = std::isdigit(static_cast<unsigned char>(rest[i])) != 0;
    if (!numbered || StartsWith(message, "WMOVE:")) return rest;
    return rest.substr(0, dot) + "... " + TrimBlanks(rest.substr(dot + 2));
}

bool MoveLedTo(std::string_view message, std::string_view fen) {
    if (!IsMoveMessage(message)) return true;
    const bool white = StartsWith(message, "WMOVE:");
    std::string_view side = SideToMove(fen);
    if ((side == "w" || side == "b") && side != (white ? "b" : "w")) return false;

    std::string san = SanOf(message);
    char piece = 'P';
    int file = -1, rank = -1;
    if (StartsWith(san, "O-O") || StartsWith(san, "0-0")) {
        piece = 'K';
        file = san.size() >= 5 && (san[4] == 'O' || san[4] == '0') ? 2 : 6;
        rank = white ? 0 : 7;
    } else {
        if (!san.empty() && std::string_view("KQRBN").find(san[0]) != std::string_view::npos)
            piece = san[0];
        // The destination is the last square named; a promotion names its piece after it.
        for (std::size_t i = 0; i + 1 < san.size(); ++i) {
            if (san[i] >= 'a' && san[i] <= 'h' && san[i + 1] >= '1' && san[i + 1] <= '8') {
                file = san[i] - 'a';
                rank = san[i + 1] - '1';
                std::size_t after = i + 2;
                if (after < san.size() && san[after] == '=') ++after;
                if (piece == 'P' && after < san.size() &&
                    std::string_view("QRBN").find(san[after]) != std::string_view::npos)
                    piece = san[after];
            }
        }
    }
    if (file < 0) return true;
    char there = PieceOn(fen, file, rank);
    if (there == 0) return true;
    return there == (white ? piece : static_cast<char>(std::tolower(piece)));
}

GameDisplay::Header GameDisplay::HeaderOf(const GamePicture& p) {
    return Header{p.whitePlayer, p.blackPlayer, p.site, p.level};
}

void GameDisplay::PrintBoard(const Header& h, const std::string& fen, const std::string& move) {
    // Names not given yet show as "?", as in a game score.
    auto name = [](const std::string& n) { return n.empty() ? std::string("?") : ForTerminal(n); };
    out_ << "\n  White: " << name(h.white) << "   Black: " << name(h.black);
    if (!h.site.empty()) out_ << "   at " << ForTerminal(h.site);
    out_ << "\n";
    for (const auto& row : BoardDiagram(fen))
        out_ << "    " << row << "\n";
    out_ << "  FEN " << fen << "\n";
    if (!move.empty()) out_ << "  Last move: " << MoveForReaders(move) << "\n";
    if (!h.level.empty()) out_ << "  Time control: " << ForTerminal(h.level) << "\n";
}

void GameDisplay::PrintThinking(const char* side, const std::string& line) {
    // The summary on the first line, the moves below it, broken between moves.
    const ThinkingText thinking = ReadThinkingText(line);
    out_ << "  " << side << " thinks:";
    if (!thinking.summary.empty()) out_ << " " << thinking.summary;
    out_ << "\n";
    for (const auto& row : WrapMoves(thinking.moves, columns_, "    "))
        out_ << ForTerminal(row) << "\n";
}

void GameDisplay::Flush() {
    if (!waiting_) return;
    waiting_ = false;
    PrintBoard(waitingHeader_, waitingFen_, "");
}

void GameDisplay::Tick(double now) {
    if (waiting_ && now - waitingSince_ >= kMoveWaitSeconds) Flush();
}

void GameDisplay::Show(const GamePicture& p, const std::string& m, double now) {
    if (StartsWith(m, "FEN: ")) {
        Flush();
        // A position re-sent late, after a newer one, is not shown again; nor is
        // the empty "before" position of a welcome before the first move.
        if (m.compare(5, std::string::npos, p.fen) != 0 || BoardDiagram(p.fen).empty()) return;
        if (!lastMove_.empty() && MoveLedTo(lastMove_, p.fen)) {
            PrintBoard(HeaderOf(p), p.fen, lastMove_);
        } else {
            waiting_ = true;
            waitingFen_ = p.fen;
            waitingHeader_ = HeaderOf(p);
            waitingSince_ = now;
        }
        return;
    }
    if (IsMoveMessage(m)) {
        if (m != p.lastMove) return;  // an older move re-sent late
        lastMove_ = m;
        if (waiting_ && MoveLedTo(m, waitingFen_)) {
            waiting_ = false;
            PrintBoard(waitingHeader_, waitingFen_, m);
            return;
        }
        Flush();
        out_ << "  Move " << MoveForReaders(m) << "\n";
        return;
    }
    if (m.empty()) {
        lastMove_.clear();  // the empty last move of a game not yet begun
        return;
    }
    Flush();
    if (StartsWith(m, "WTIME: ") || StartsWith(m, "BTIME: ")) {
        out_ << "  Clocks  " << ForTerminal(ClocksText(m)) << "\n";
    } else if (StartsWith(m, "WPV: ")) {
        PrintThinking("White", p.whitePv);
    } else if (StartsWith(m, "BPV: ")) {
        PrintThinking("Black", p.blackPv);
    } else if (StartsWith(m, "result")) {
        out_ << "  Result: " << ForTerminal(p.result) << "\n";
    } else if (StartsWith(m, "ADDUSER:") || StartsWith(m, "DELUSER:")) {
        out_ << "  Users (" << p.users.size() << "):";
        for (const auto& u : p.users)
            out_ << " [" << ForTerminal(u) << "]";
        out_ << "\n";
    } else if (StartsWith(m, "CHAT:")) {
        out_ << ForTerminal(m.substr(5)) << "\n";
    } else if (StartsWith(m, "MSG:")) {
        out_ << "*** " << ForTerminal(TrimBlanks(m.substr(4))) << "\n";
    } else if (m == "LOGON SUCCESSFUL") {
        out_ << "Logged on.\n";
    } else if (m == "PONG") {
        out_ << "  PONG\n";
    } else if (StartsWith(m, "WPLAYER: ") || StartsWith(m, "BPLAYER: ")) {
        // Names not given yet (before the engines are known) show nothing.
        std::string name = TrimBlanks(m.substr(9));
        if (!name.empty())
            out_ << (m[0] == 'W' ? "  White: " : "  Black: ") << ForTerminal(name) << "\n";
    } else if (StartsWith(m, "SITE:")) {
        std::string site = TrimBlanks(m.substr(5));
        if (!site.empty()) out_ << "  Site: " << ForTerminal(site) << "\n";
    } else if (StartsWith(m, "MENU ") || StartsWith(m, "SECUSER: ") || StartsWith(m, "CT:") ||
               StartsWith(m, "GL:")) {
        out_ << "  " << ForTerminal(m) << "\n";
    }
}

}  // namespace lantrel
