// Test doubles of the platform layer: a screen that can be read back, a clock
// that only moves when told to (or when the program sleeps), a socket fed by the
// test, an event wait that wakes as the test says, and a process starter that
// records what it was asked to start and lets the test end it.
#pragma once

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace lantrel {

// A rows x 80 grid of characters and colours. Text that runs past column 80
// continues on the next row, as on a console.
class ScreenBuffer : public Console {
  public:
    static constexpr int kColumns = 80;
    explicit ScreenBuffer(int rows = 30);

    void Clear() override;
    void MoveTo(int row, int column) override;
    void SetColour(ConsoleColour colour) override { colour_ = colour; }
    void Print(std::string_view text) override;
    void EndLine() override;
    std::string ReadKey() override;
    void Beep() override { ++beeps; }

    // The text of a row (80 characters, blank where nothing was printed).
    std::string Row(int row) const;
    // `length` characters from row/column.
    std::string Text(int row, int column, int length) const;
    ConsoleColour ColourAt(int row, int column) const;
    int CursorRow() const { return row_; }
    int CursorColumn() const { return column_; }
    ConsoleColour CurrentColour() const { return colour_; }

    // Keys the next ReadKey calls return, one per call.
    std::deque<std::string> keys;
    int beeps = 0;

  private:
    int rows_;
    int row_ = 1, column_ = 1;
    ConsoleColour colour_ = ConsoleColour::kNormal;
    std::vector<std::string> chars_;
    std::vector<std::vector<ConsoleColour>> colours_;
};

class FakeClock : public Clock {
  public:
    // Starts at the given time of day (seconds since midnight) on a fixed date.
    explicit FakeClock(double timeOfDay = 12 * 3600.0);
    double TimeOfDay() override;
    LocalDateTime Now() override;
    double Monotonic() override { return elapsed_; }
    // Sleeping moves the clock on at once.
    void SleepMs(int milliseconds) override { Advance(milliseconds / 1000.0); }

    void Advance(double seconds) { elapsed_ += seconds; }
    LocalDateTime date{2026, 12, 8, 0, 0, 0};
    long long sleptMs() const { return static_cast<long long>(elapsed_ * 1000 + 0.5); }

  private:
    double startOfDay_;
    double elapsed_ = 0;
};

struct SentDatagram {
    IpAddress to;
    std::uint16_t port;
    std::string text;
};

class FakeSocket : public DatagramSocket {
  public:
    SocketError Open(std::uint16_t port, IpAddress bindIp, int waitMs) override;
    // Returns the next queued datagram; with none, advances `clock` (if set) by the wait.
    SocketError Receive(int waitMs, Datagram& out) override;
    SocketError Send(IpAddress to, std::uint16_t port, std::string_view text) override;
    std::vector<IpAddress> LocalAddresses() override { return localAddresses; }

    void Queue(IpAddress from, std::string text) { incoming.push_back({std::move(text), from, 0}); }
    // Texts sent to one address, in order.
    std::vector<std::string> SentTo(IpAddress to) const;

    std::deque<Datagram> incoming;
    std::vector<SentDatagram> sent;
    std::vector<IpAddress> localAddresses{MakeIp(192, 168, 0, 20)};
    SocketError openResult = SocketError::kOk;
    SocketError sendResult = SocketError::kOk;  // what every send reports
    bool opened = false;
    std::uint16_t openedPort = 0;
    std::vector<int> receiveWaits;  // the wait of every Receive call
    FakeClock* clock = nullptr;
};

// Ends every wait at once, with the next queued reason (kTimedOut when none).
class FakeEventWait : public EventWait {
  public:
    void WatchFile(const std::string& path) override { watchedPath = path; }
    WakeReason Wait(NativeHandle, int) override;

    std::deque<WakeReason> wakes;
    std::string watchedPath;
};

// One call of FakeProcesses::Start.
struct StartedProcess {
    std::string program;
    std::vector<std::string> args;
    std::string workDir;
    std::string outputFile;
    bool operator==(const StartedProcess&) const = default;
};

// Processes run until the test ends them: it takes their ids out of `running`.
class FakeProcesses : public ProcessStarter {
  public:
    std::optional<ProcessId> Start(const std::string& program, const std::vector<std::string>& args,
                                   const std::string& workDir, const std::string& outputFile,
                                   std::string& whyNot) override;
    bool Ended(ProcessId process) override { return !running.contains(process); }

    std::vector<StartedProcess> started;
    bool startResult = true;  // whether every Start succeeds
    std::set<ProcessId> running;
};

}  // namespace lantrel
