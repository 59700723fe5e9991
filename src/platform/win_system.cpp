#include <cstdlib>

#include "platform/win.h"

// After windows.h, which they build on.
#include <shellapi.h>
#include <timeapi.h>

namespace lantrel {

namespace {

// The ANSI code page of the system's locale. GetACP is not asked: the programs'
// manifest makes UTF-8 their own ANSI code page, which is not the one an older
// program wrote its files in.
UINT LegacyCodePage() {
    static const UINT page = [] {
        DWORD number = 0;
        const int got = ::GetLocaleInfoEx(
            LOCALE_NAME_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
            reinterpret_cast<LPWSTR>(&number), sizeof number / sizeof(wchar_t));
        return got == 0 || number == 0 || number == CP_UTF8 ? 1252u : static_cast<UINT>(number);
    }();
    return page;
}

int ToWide(UINT codePage, DWORD flags, std::string_view text, wchar_t* out, int room) {
    return ::MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), out,
                                 room);
}

// Lines for server.log that the backend gathers as it sets the system up.
std::vector<std::string>& SetupNotes() {
    static std::vector<std::string> notes;
    return notes;
}

bool timerPeriodSet = false;

void RestoreTimerPeriod() {
    if (timerPeriodSet) ::timeEndPeriod(1);
    timerPeriodSet = false;
}

}  // namespace

std::wstring Wide(std::string_view text) {
    if (text.empty()) return {};
    UINT codePage = CP_UTF8;
    int length = ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text, nullptr, 0);
    if (length == 0) {
        codePage = LegacyCodePage();
        length = ToWide(codePage, 0, text, nullptr, 0);
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ToWide(codePage, 0, text, wide.data(), length);
    return wide;
}

std::string Narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string SystemMessage(DWORD error) {
    wchar_t text[512];
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               error, 0, text, sizeof text / sizeof text[0], nullptr);
    // The system's texts end with a full stop and CR LF.
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L'.'))
        --n;
    return n > 0 ? Narrow(std::wstring_view(text, n)) : "error " + std::to_string(error);
}

void NoteSystemSetup(std::string line) {
    SetupNotes().push_back(std::move(line));
}

std::vector<std::string> SystemSetupNotes() {
    return SetupNotes();
}

void PrepareSystemForServer() {
    if (timerPeriodSet) return;
    // Without it a wait of 1 ms lasts until the next tick of the system's
    // timer, 15.6 ms on most PCs: the feed's turns between log lines, and any
    // DELAY= below 16, would all take that long.
    timerPeriodSet = ::timeBeginPeriod(1) == TIMERR_NOERROR;
    if (timerPeriodSet) std::atexit(RestoreTimerPeriod);
    // Windows 11 stops honouring the resolution while the window is minimised
    // or hidden, unless the process asks it not to. Older systems have no such
    // throttling and refuse the request, which is as good.
    PROCESS_POWER_THROTTLING_STATE throttling{};
    throttling.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    throttling.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    throttling.StateMask = 0;
    ::SetProcessInformation(::GetCurrentProcess(), ProcessPowerThrottling, &throttling,
                            sizeof throttling);
    NoteSystemSetup(timerPeriodSet ? "Timer resolution: 1 ms"
                                   : "Timer resolution: the system's own (1 ms was refused)");
}

std::vector<std::string> CommandLineWords(int /*argc*/, char** /*argv*/) {
    std::vector<std::string> words;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return words;
    for (int i = 1; i < count; ++i)
        words.push_back(Narrow(wide[i]));
    ::LocalFree(wide);
    return words;
}

std::unique_ptr<Console> MakeTerminalConsole() {
    return std::make_unique<WinConsole>();
}

std::unique_ptr<Clock> MakeSystemClock() {
    return std::make_unique<SystemClock>();
}

std::unique_ptr<EventWait> MakeEventWait() {
    return std::make_unique<WinEventWait>();
}

std::unique_ptr<DatagramSocket> MakeUdpSocket(EventWait& wait) {
    return std::make_unique<UdpSocket>(wait);
}

std::unique_ptr<ProcessStarter> MakeProcessStarter() {
    return std::make_unique<ShellProcessStarter>();
}

bool ChangeDirectory(const std::string& dir, std::string& whyNot) {
    if (::SetCurrentDirectoryW(Wide(dir).c_str())) return true;
    whyNot = SystemMessage(::GetLastError());
    return false;
}

}  // namespace lantrel
