#include "platform/win.h"

namespace lantrel {

std::string SystemMessage(DWORD error) {
    char text[512];
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               error, 0, text, sizeof text, nullptr);
    // The system's texts end with a full stop and CR LF.
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.'))
        --n;
    return n > 0 ? std::string(text, n) : "error " + std::to_string(error);
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
    if (::SetCurrentDirectoryA(dir.c_str())) return true;
    whyNot = SystemMessage(::GetLastError());
    return false;
}

}  // namespace lantrel
