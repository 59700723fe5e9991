// Small helpers the benchmark programs share: a free port, elapsed and CPU time,
// and the `cat` baseline the readers are measured against.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace lantrel::bench {

// A UDP port on loopback that nothing holds at the moment of asking.
inline int FreePort() {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// User plus system CPU seconds of another process, from /proc/PID/stat; -1 when unknown.
inline double ProcessCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n)
        if (n >= 14) ticks += std::atof(field.c_str());  // utime and stime
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Seconds `cat` takes to read the file to /dev/null, after one read to warm the
// page cache so that both readers see the same conditions.
inline double CatSeconds(const std::string& path) {
    const std::string command = "cat '" + path + "' > /dev/null";
    std::system(command.c_str());
    auto start = std::chrono::steady_clock::now();
    std::system(command.c_str());
    return SecondsSince(start);
}

}  // namespace lantrel::bench
