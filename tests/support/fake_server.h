// Helpers shared by the test suites that run on every platform: a temporary
// folder and a whole server on the fake platform.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/server.h"
#include "platform/fakes.h"

namespace lantrel::testing {

// A fresh directory under the system's temporary folder, removed again at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // Full name of a file in the directory.
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    void Write(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const;

  private:
    std::string path_;
};

// A Server on the fake platform in its own temporary directory. The fake socket
// advances the fake clock by every receive wait, so loops that pace themselves
// on the network run in simulated time.
struct FakeServer {
    FakeServer();
    ScreenBuffer screen;
    FakeClock clock;
    FakeEventWait wait;
    FakeSocket socket;
    FakeProcesses processes;
    TempDir dir;
    Platform platform;
    std::unique_ptr<Server> server;

    Server& operator*() { return *server; }
    Server* operator->() { return server.get(); }
    const Server& operator*() const { return *server; }
    const Server* operator->() const { return server.get(); }
    // server.log split into lines (CR LF removed).
    std::vector<std::string> LogLines() const;
};

// The viewer at `ip` acknowledges every numbered message sent to it so far, in one
// network turn without waiting: a newcomer gets nothing after its welcome until
// its first acknowledgement.
void AcknowledgeAll(FakeServer& f, IpAddress ip);

// Splits a text into lines at LF, dropping a CR before it.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace lantrel::testing
