#include <unistd.h>

#include <algorithm>
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

void PrepareSystemForServer() {}

std::vector<std::string> SystemSetupNotes() {
    return {};
}

std::vector<std::string> CommandLineWords(int argc, char** argv) {
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

bool ChangeDirectory(const std::string& dir, std::string& whyNot) {
    if (::chdir(dir.c_str()) == 0) return true;
    whyNot = std::strerror(errno);
    return false;
}

}  // namespace lantrel
