// The POSIX backend of the platform layer.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace lantrel {

// ANSI escapes on a terminal, with raw non-blocking key reads. The terminal
// settings are restored when the console is destroyed, at exit and on SIGINT/SIGTERM.
class AnsiConsole : public Console {
  public:
    AnsiConsole();
    ~AnsiConsole() override;
    void Clear() override;
    void MoveTo(int row, int column) override;
    void SetColour(int colour) override;
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

// Draws nothing and never has a key: for services and tests.
class NullConsole : public Console {
  public:
    void Clear() override {}
    void MoveTo(int, int) override {}
    void SetColour(int) override {}
    void Print(std::string_view) override {}
    void EndLine() override {}
    std::string ReadKey() override { return {}; }
    void Beep() override {}
};

class SystemClock : public Clock {
  public:
    double TimeOfDay() override;
    LocalDateTime Now() override;
    double Monotonic() override;
    void SleepMs(int milliseconds) override;
};

class UdpSocket : public DatagramSocket {
  public:
    UdpSocket() = default;
    ~UdpSocket() override;
    int Open(std::uint16_t port, IpAddress bindIp, int waitMs) override;
    int Receive(int waitMs, Datagram& out) override;
    int Send(IpAddress to, std::uint16_t port, std::string_view text) override;
    std::vector<IpAddress> LocalAddresses() override;
    void WatchFile(const std::string& path) override;

  private:
    int fd_ = -1;
    int watchFd_ = -1;  // inotify descriptor, or -1
    int watchItem_ = -1;
    std::string watchedPath_;
    std::string buffer_;
};

// Starts the program itself with posix_spawnp: no command interpreter, so no
// argument can mean more than the word it is.
class SpawnProcessStarter : public ProcessStarter {
  public:
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::string& workDir, const std::string& outputFile) override;
};

// True once SIGINT or SIGTERM arrived (after InstallStopSignals).
bool StopRequested();
void InstallStopSignals();

// True when standard input is a terminal.
bool StdinIsTerminal();
// Waits for one key on the terminal (used after a fatal start-up error).
void WaitForKeyPress();

}  // namespace lantrel
