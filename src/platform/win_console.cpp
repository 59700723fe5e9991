#include <cstdlib>

#include "platform/win.h"

namespace lantrel {

namespace {

// The palette's numbers are the console's own attributes (bit 0 blue, 1
// green, 2 red, 3 bright), on black.
WORD Attribute(ConsoleColour colour) {
    return static_cast<WORD>(static_cast<int>(colour) & 0x0F);
}

// What the console was like before the status screen took it over.
struct SavedConsole {
    bool saved = false;
    DWORD inputMode = 0;
    WORD attributes = 0;
    CONSOLE_CURSOR_INFO cursor{};
    UINT codePage = 0;
};
SavedConsole savedConsole;

HANDLE Input() {
    return ::GetStdHandle(STD_INPUT_HANDLE);
}

HANDLE Output() {
    return ::GetStdHandle(STD_OUTPUT_HANDLE);
}

bool IsConsole(HANDLE handle) {
    DWORD mode;
    return ::GetConsoleMode(handle, &mode) != 0;
}

void RestoreConsole() {
    if (!savedConsole.saved) return;
    savedConsole.saved = false;
    // The extended flags make the console take the quick-edit bit as saved.
    ::SetConsoleMode(Input(), savedConsole.inputMode | ENABLE_EXTENDED_FLAGS);
    ::SetConsoleTextAttribute(Output(), savedConsole.attributes);
    ::SetConsoleCursorInfo(Output(), &savedConsole.cursor);
    ::SetConsoleOutputCP(savedConsole.codePage);
    // Leave the cursor below the screen map.
    ::SetConsoleCursorPosition(Output(), COORD{0, 24});
    DWORD written;
    ::WriteConsoleA(Output(), "\r\n", 2, &written, nullptr);
}

// One key press with a character, taken from the console's input without
// waiting; other events (key releases, keys without a character such as the
// arrows and function keys, the mouse, resizing) are taken and passed over.
std::string TakeConsoleKey(HANDLE input) {
    DWORD pending = 0;
    while (::GetNumberOfConsoleInputEvents(input, &pending) && pending > 0) {
        INPUT_RECORD record;
        DWORD taken = 0;
        if (!::ReadConsoleInputA(input, &record, 1, &taken) || taken == 0) break;
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
            record.Event.KeyEvent.uChar.AsciiChar != 0)
            return std::string(1, record.Event.KeyEvent.uChar.AsciiChar);
    }
    return {};
}

}  // namespace

bool StdinIsTerminal() {
    return IsConsole(Input());
}

bool StdoutIsTerminal() {
    return IsConsole(Output());
}

void WaitForKeyPress() {
    HANDLE input = Input();
    if (!IsConsole(input)) {
        char c;
        DWORD n;
        ::ReadFile(input, &c, 1, &n, nullptr);
        return;
    }
    while (TakeConsoleKey(input).empty() &&
           ::WaitForSingleObject(input, INFINITE) == WAIT_OBJECT_0) {
    }
}

WinConsole::WinConsole() {
    HANDLE input = Input(), output = Output();
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (!savedConsole.saved && IsConsole(input) && ::GetConsoleScreenBufferInfo(output, &screen)) {
        ::GetConsoleMode(input, &savedConsole.inputMode);
        ::GetConsoleCursorInfo(output, &savedConsole.cursor);
        savedConsole.attributes = screen.wAttributes;
        savedConsole.codePage = ::GetConsoleOutputCP();
        savedConsole.saved = true;
        std::atexit(RestoreConsole);
        // Keys one at a time without echo; Ctrl-C stays a stop request. Quick
        // edit goes off (which only the extended flags can say): a click in the
        // window would start a selection, and while it lasts every write to the
        // console blocks, the whole server with it.
        const bool quickEdit = (savedConsole.inputMode & ENABLE_QUICK_EDIT_MODE) != 0;
        const bool set = ::SetConsoleMode(input, ENABLE_PROCESSED_INPUT | ENABLE_EXTENDED_FLAGS);
        NoteSystemSetup(!set        ? "Console quick edit: could not be turned off"
                        : quickEdit ? "Console quick edit: off while the server runs"
                                    : "Console quick edit: off");
        // Names come as the GUIs write them, in Windows-1252.
        ::SetConsoleOutputCP(1252);
        // Hide the cursor while the screen map is drawn.
        CONSOLE_CURSOR_INFO hidden = savedConsole.cursor;
        hidden.bVisible = FALSE;
        ::SetConsoleCursorInfo(output, &hidden);
    }
}

WinConsole::~WinConsole() {
    RestoreConsole();
}

void WinConsole::Write(std::string_view bytes) {
    DWORD written;
    if (savedConsole.saved) {
        ::WriteConsoleA(Output(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                        nullptr);
    } else {
        ::WriteFile(Output(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

void WinConsole::Clear() {
    HANDLE output = Output();
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (!::GetConsoleScreenBufferInfo(output, &screen)) return;
    DWORD cells = static_cast<DWORD>(screen.dwSize.X) * static_cast<DWORD>(screen.dwSize.Y);
    DWORD done;
    ::FillConsoleOutputCharacterA(output, ' ', cells, COORD{0, 0}, &done);
    ::FillConsoleOutputAttribute(output, Attribute(ConsoleColour::kNormal), cells, COORD{0, 0},
                                 &done);
    ::SetConsoleTextAttribute(output, Attribute(ConsoleColour::kNormal));
    ::SetConsoleCursorPosition(output, COORD{0, 0});
}

void WinConsole::MoveTo(int row, int column) {
    ::SetConsoleCursorPosition(Output(),
                               COORD{static_cast<SHORT>(column - 1), static_cast<SHORT>(row - 1)});
}

void WinConsole::SetColour(ConsoleColour colour) {
    ::SetConsoleTextAttribute(Output(), Attribute(colour));
}

void WinConsole::Print(std::string_view text) {
    std::string shown(text);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20) c = '.';
    Write(shown);
}

void WinConsole::EndLine() {
    Write("\r\n");
}

std::string WinConsole::ReadKey() {
    return savedConsole.saved ? TakeConsoleKey(Input()) : std::string();
}

void WinConsole::Beep() {
    Write("\a");
}

}  // namespace lantrel
