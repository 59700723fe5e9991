// Helpers shared by the test suites.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/server.h"
#include "platform/fakes.h"
#include "platform/posix.h"

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

// A free UDP port on the loopback addresses (for tests with real sockets).
int FreeUdpPort();

// Waits (up to 10 s) until 127.0.0.1:`port` is held by another socket: a started
// server writes its journal before it opens its port.
bool WaitForPortTaken(int port);

}  // namespace lantrel::testing

namespace lantrel::testing {

// A program started by a test (the POSIX backend's own class).
using lantrel::ChildProcess;

// Runs `command` through /bin/sh and returns its standard output.
std::string RunShell(const std::string& command);

// Puts `folder` first on PATH, so that programs started later find what it
// holds before the system's, and gives PATH back when it goes away.
class PathPrefix {
  public:
    explicit PathPrefix(const std::string& folder);
    ~PathPrefix();
    PathPrefix(const PathPrefix&) = delete;
    PathPrefix& operator=(const PathPrefix&) = delete;

  private:
    std::string saved_;
};

// Writes an executable script at `path`, creating its folder.
void WriteScript(const std::string& path, const std::string& script);

// A stand-in for the mail program, run in the server's directory: counts its
// calls in gbmail.calls, writes its arguments one per line to gbmail.args,
// copies the file named after -file to gbmail.mail, writes a note on its error output and says
// "fake gbmail: done" on its standard output.
extern const char* const kFakeGbmail;

}  // namespace lantrel::testing
