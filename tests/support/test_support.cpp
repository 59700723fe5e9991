#include "support/test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace lantrel::testing {

int FreeUdpPort() {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    int port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool PortTaken(int port) {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool inUse = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno == EADDRINUSE;
    ::close(fd);
    return inUse;
}

bool WaitForPortTaken(int port) {
    return Eventually([port] { return PortTaken(port); }, 10);
}

std::string RunShell(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        out.append(buffer, n);
    ::pclose(p);
    return out;
}

PathPrefix::PathPrefix(const std::string& folder) {
    const char* path = std::getenv("PATH");
    saved_ = path ? path : "";
    ::setenv("PATH", (folder + ":" + saved_).c_str(), 1);
}

PathPrefix::~PathPrefix() {
    ::setenv("PATH", saved_.c_str(), 1);
}

void WriteScript(const std::string& path, const std::string& script) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << script;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec);
}

const char* const kFakeGbmail = R"(#!/bin/sh
echo call >> gbmail.calls
printf '%s\n' "$@" > gbmail.args
while [ $# -gt 1 ]; do
  if [ "$1" = -file ]; then cp "$2" gbmail.mail; fi
  shift
done
echo "fake gbmail: a note on its error output" >&2
echo "fake gbmail: done"
)";

}  // namespace lantrel::testing
