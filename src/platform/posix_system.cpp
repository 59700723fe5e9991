#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix.h"

namespace lantrel {

std::unique_ptr<Console> MakeTerminalConsole() {
    return std::make_unique<AnsiConsole>();
}

std::unique_ptr<Clock> MakeSystemClock() {
    return std::make_unique<SystemClock>();
}

std::unique_ptr<EventWait> MakeEventWait() {
    return std::make_unique<PosixEventWait>();
}

std::unique_ptr<DatagramSocket> MakeUdpSocket(EventWait& wait) {
    return std::make_unique<UdpSocket>(wait);
}

std::unique_ptr<ProcessStarter> MakeProcessStarter() {
    return std::make_unique<SpawnProcessStarter>();
}

bool ChangeDirectory(const std::string& dir, std::string& whyNot) {
    if (::chdir(dir.c_str()) == 0) return true;
    whyNot = std::strerror(errno);
    return false;
}

}  // namespace lantrel
