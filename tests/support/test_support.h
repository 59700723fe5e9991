// Helpers shared by the test suites: those of fake_server.h, and those that
// need the POSIX backend (real sockets, programs, PATH).
#pragma once

#include <string>

#include "platform/posix.h"
#include "support/child_process.h"
#include "support/eventually.h"
#include "support/fake_server.h"

namespace lantrel::testing {

// A free UDP port on the loopback addresses (for tests with real sockets).
int FreeUdpPort();

// Whether 127.0.0.1:`port` is held by another socket; WaitForPortTaken waits up
// to 10 s for it (a started server writes its journal before it opens its port).
bool PortTaken(int port);
bool WaitForPortTaken(int port);

}  // namespace lantrel::testing

namespace lantrel::testing {

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
