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

std::unique_ptr<DatagramSocket> MakeUdpSocket() {
    return std::make_unique<UdpSocket>();
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
