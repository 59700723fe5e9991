// The real programs as tests and benchmarks run them (POSIX only).
#pragma once

#include <string>
#include <vector>

namespace lantrel {

// A program started with standard input from /dev/null and standard output and
// error into a file, and waited for: for the tests and benchmarks that drive the
// real programs. Ended (SIGTERM, then SIGKILL) when the object goes away.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& argv, const std::string& outputFile);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Waits up to `seconds` for the program to end; its exit status, or -1 on time-out.
    int Wait(double seconds);
    // Sends SIGTERM and waits; the exit status.
    int Stop(double seconds = 5);
    bool Running();
    int pid() const { return pid_; }  // -1: it could not be started

  private:
    int pid_ = -1;
    int status_ = -1;
    bool ended_ = false;
};

}  // namespace lantrel
