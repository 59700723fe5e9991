#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/posix.h"

namespace lantrel {

namespace {

struct termios savedTerminal;
bool terminalSaved = false;

void RestoreTerminal() {
    if (terminalSaved) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        // Show the cursor, reset the colours and leave the cursor below the screen map.
        static const char reset[] = "\x1b[0m\x1b[?25h\x1b[24;1H\n";
        ssize_t ignored = ::write(STDOUT_FILENO, reset, sizeof reset - 1);
        (void)ignored;
        terminalSaved = false;
    }
}

// Console colour index (bit 0 blue, 1 green, 2 red, 3 bright) to an ANSI code.
int AnsiColour(ConsoleColour colour) {
    const int bits = static_cast<int>(colour);
    int base = ((bits & 4) ? 1 : 0) | ((bits & 2) ? 2 : 0) | ((bits & 1) ? 4 : 0);
    return ((bits & 8) ? 90 : 30) + base;
}

}  // namespace

bool StdinIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void WaitForKeyPress() {
    struct termios saved {};
    bool raw = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (raw) {
        struct termios t = saved;
        t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &t);
    }
    char c;
    ssize_t ignored = ::read(STDIN_FILENO, &c, 1);
    (void)ignored;
    if (raw) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

AnsiConsole::AnsiConsole() {
    if (::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &savedTerminal) == 0) {
        struct termios t = savedTerminal;
        // No line buffering and no echo; reads return at once with or without a key.
        t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &t);
        terminalSaved = true;
        std::atexit(RestoreTerminal);
    }
    pending_ += "\x1b[?25l";  // hide the cursor while the screen map is drawn
}

AnsiConsole::~AnsiConsole() {
    Flush();
    RestoreTerminal();
}

void AnsiConsole::Clear() {
    pending_ += "\x1b[0m\x1b[2J\x1b[H";
}

void AnsiConsole::MoveTo(int row, int column) {
    pending_ += "\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "H";
}

void AnsiConsole::SetColour(ConsoleColour colour) {
    if (colour == ConsoleColour::kNormal) {
        pending_ += "\x1b[0m";
    } else {
        pending_ += "\x1b[" + std::to_string(AnsiColour(colour)) + "m";
    }
}

void AnsiConsole::Print(std::string_view text) {
    // The texts are Latin-1; a UTF-8 terminal needs the two-byte form of the high bytes.
    for (unsigned char c : text) {
        if (c < 0x80) {
            pending_ += (c < 0x20) ? '.' : static_cast<char>(c);
        } else {
            pending_ += static_cast<char>(0xC0 | (c >> 6));
            pending_ += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    if (pending_.size() > 16384) Flush();
}

void AnsiConsole::EndLine() {
    pending_ += "\r\n";
}

std::string TakeKey(std::string& input) {
    constexpr char kEscape = '\x1b';
    if (input.empty()) return {};
    if (input[0] != kEscape) {
        std::string key(1, input[0]);
        input.erase(0, 1);
        return key;
    }
    std::size_t length = 1;  // ESC alone: the Escape key
    if (input.size() >= 2) {
        if (input[1] == '[') {
            // Control sequence: parameter and intermediate bytes, then one final byte.
            length = 2;
            while (length < input.size() && (input[length] < 0x40 || input[length] > 0x7e))
                ++length;
            length = std::min(length + 1, input.size());
        } else {
            length =
                std::min<std::size_t>(input[1] == 'O' ? 3 : 2, input.size());  // SS3 or Alt+key
        }
    }
    input.erase(0, length);
    return {};
}

std::string AnsiConsole::ReadKey() {
    Flush();
    if (!terminalSaved) return {};
    // A terminal writes an escape sequence in one piece, so one read takes it whole.
    char buffer[64];
    ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n > 0) input_.append(buffer, static_cast<std::size_t>(n));
    return TakeKey(input_);
}

void AnsiConsole::Beep() {
    pending_ += '\a';
}

void AnsiConsole::Flush() {
    std::string_view out = pending_;
    while (!out.empty()) {
        ssize_t n = ::write(STDOUT_FILENO, out.data(), out.size());
        if (n <= 0) break;
        out.remove_prefix(static_cast<std::size_t>(n));
    }
    pending_.clear();
}

}  // namespace lantrel
