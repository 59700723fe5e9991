// The POSIX backend of the platform layer: its own classes, for the files of the
// platform layer and the tests of this backend. The programs use system.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/system.h"
#include "platform/udp_socket.h"

namespace lantrel {

// ANSI escapes on a terminal, with raw non-blocking key reads. The terminal
// settings are restored when the console is destroyed, at exit and on SIGINT/SIGTERM.
class AnsiConsole : public Console {
  public:
    AnsiConsole();
    ~AnsiConsole() override;
    void Clear() override;
    void MoveTo(int row, int column) override;
    void SetColour(ConsoleColour colour) override;
    void Print(std::string_view text) override;
    void EndLine() override;
    std::string ReadKey() override;
    void Beep() override;
    void Flush() override;

  private:
    std::string pending_;
    std::string input_;  // bytes read from the terminal, not yet taken as keys
};

// Takes the next key from the front of `input`: one character, or nothing for
// a whole escape sequence (function keys, arrows, Alt+key), so that the last
// byte of "ESC O R" (F3) or "ESC [ B" (Down) is never taken for an operator key.
std::string TakeKey(std::string& input);

class SystemClock : public Clock {
  public:
    double TimeOfDay() override;
    LocalDateTime Now() override;
    double Monotonic() override;
    void SleepMs(int milliseconds) override;
};

// poll() over the socket, an inotify watch on the watched file's folder and the
// stop signals' self-pipe.
class PosixEventWait : public EventWait {
  public:
    PosixEventWait() = default;
    ~PosixEventWait() override;
    PosixEventWait(const PosixEventWait&) = delete;
    PosixEventWait& operator=(const PosixEventWait&) = delete;
    void WatchFile(const std::string& path) override;
    WakeReason Wait(NativeHandle socket, int waitMs) override;

  private:
    // Reads the pending folder events; true when one was about the watched file.
    bool TakeFolderEvents();

    int watchFd_ = -1;  // inotify descriptor, or -1
    std::string watchedName_;
    std::string watchedPath_;
};

// Starts the program itself with posix_spawnp: no command interpreter, so no
// argument can mean more than the word it is.
class SpawnProcessStarter : public ProcessStarter {
  public:
    std::optional<ProcessId> Start(const std::string& program, const std::vector<std::string>& args,
                                   const std::string& workDir, const std::string& outputFile,
                                   std::string& whyNot) override;
    // waitpid without waiting: an ended child is reaped here, so none is left
    // behind as a zombie.
    bool Ended(ProcessId process) override;
};

// The read end of the stop signals' self-pipe (readable once a stop signal came
// and until a wait takes the wake-up), or -1 before InstallStopSignals.
int StopWakeDescriptor();

}  // namespace lantrel
