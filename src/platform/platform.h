// The platform layer: everything the server does to the outside world.
//
// The rest of the program sees only these interfaces. What every backend shares
// lives in common.cpp; the POSIX backend in posix_*.cpp, the Windows one in
// win_*.cpp (their own declarations in posix.h and win.h, for platform files
// only); the programs reach a backend through system.h; the test doubles
// (ScreenBuffer, FakeClock, FakeSocket, FakeEventWait, FakeProcesses) are in
// fakes.h. Nothing above this layer includes a system header.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lantrel {

// Console colours (their numbers in the 16-colour console palette).
enum class ConsoleColour : int {
    kMagenta = 5,
    kBrown = 6,
    kNormal = 7,
    kLightBlue = 9,
    kLightGreen = 10,
    kLightCyan = 11,
    kLightRed = 12,
    kLightMagenta = 13,
};

// A fixed status screen: rows and columns count from 1.
class Console {
  public:
    virtual ~Console() = default;
    virtual void Clear() = 0;
    virtual void MoveTo(int row, int column) = 0;
    virtual void SetColour(ConsoleColour colour) = 0;
    // Prints at the cursor and advances it.
    virtual void Print(std::string_view text) = 0;
    // Ends the line: the cursor goes to column 1 of the next row.
    virtual void EndLine() = 0;
    // One key pressed since the last call, as a one-character string; empty when none.
    virtual std::string ReadKey() = 0;
    virtual void Beep() = 0;
    // Makes what was printed visible (a real terminal buffers its output).
    virtual void Flush() {}
};

// Prints `text` at row/column.
void PrintAt(Console& console, int row, int column, std::string_view text);

// Draws nothing and never has a key: for services and tests.
class NullConsole : public Console {
  public:
    void Clear() override {}
    void MoveTo(int, int) override {}
    void SetColour(ConsoleColour) override {}
    void Print(std::string_view) override {}
    void EndLine() override {}
    std::string ReadKey() override { return {}; }
    void Beep() override {}
};

struct LocalDateTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;
    // Local time of day in seconds since midnight, with fraction.
    virtual double TimeOfDay() = 0;
    virtual LocalDateTime Now() = 0;
    // Seconds since an arbitrary start, never going back (used for every
    // elapsed-time rule, so nothing breaks at midnight).
    virtual double Monotonic() = 0;
    virtual void SleepMs(int milliseconds) = 0;
};

// An IPv4 address as the socket layer keeps it: the four bytes in memory order,
// the first byte of the dotted form lowest (so 127.0.0.1 is 0x0100007F).
using IpAddress = std::uint32_t;

constexpr IpAddress MakeIp(unsigned a, unsigned b, unsigned c, unsigned d) {
    return a | (b << 8) | (c << 16) | (static_cast<IpAddress>(d) << 24);
}
constexpr IpAddress kLocalViewerIp = MakeIp(127, 0, 0, 1);

// Dotted decimal text, first byte first.
std::string IpText(IpAddress ip);
// Parses a dotted address; 0 when the text is no IPv4 address.
IpAddress ParseIp(std::string_view text);

// Error numbers of the datagram channel.
enum class SocketError : int {
    kOk = 0,
    kTimedOut = 24,
    kChannelNotOpen = 52,
    kNotUdpChannel = 54,
    kAlreadyOpen = 55,
    kFailure = 57,
    kLibraryVersion = 68,
    kInProgress = 70,
};

// The number by which logs and messages name an error.
constexpr int ErrorNumber(SocketError error) {
    return static_cast<int>(error);
}

struct Datagram {
    std::string text;
    IpAddress sender = 0;
    std::uint16_t senderPort = 0;
};

// One datagram of a batch: `head` and then `body` are its bytes. A message
// framed for many viewers is one body with a head of its own for each.
struct OutgoingDatagram {
    IpAddress to = 0;
    std::string head;
    std::string_view body;
    SocketError result = SocketError::kOk;  // set when sent
};

// An object of the operating system a wait can include: a POSIX descriptor, a
// Windows SOCKET or HANDLE.
using NativeHandle = std::intptr_t;

// Keeps an open socket or file of ours from the programs the server starts: a
// mailer would otherwise hold a port, and the browsers' connections, until it ends.
void KeepFromChildren(NativeHandle handle);

// What ended a wait.
enum class WakeReason {
    kTimedOut,
    kReadable,     // the socket has a datagram (or an error) to take
    kFileChanged,  // the watched file itself changed
    kStopRequested,
};

// The one place the server waits: for its socket, for the watched file to change,
// for a stop request (Ctrl-C, a service stop) or for the time to run out.
class EventWait {
  public:
    virtual ~EventWait() = default;
    // A change of the file at `path` ends waits early from now on (empty: no
    // file). Best effort: where no watch can be set up, waits end on the others.
    virtual void WatchFile(const std::string& path) = 0;
    // Waits up to `waitMs` (0: only looks) for `socket` to become readable or for
    // one of the other events. Events that concern none of them (other files in
    // the watched file's folder) do not end the wait.
    virtual WakeReason Wait(NativeHandle socket, int waitMs) = 0;
};

class DatagramSocket {
  public:
    virtual ~DatagramSocket() = default;
    // Binds the port on `bindIp` (0 = all local addresses).
    virtual SocketError Open(std::uint16_t port, IpAddress bindIp, int waitMs) = 0;
    // The system's words for why the last Open failed; empty when not known.
    virtual std::string OpenErrorText() const { return {}; }
    // Waits up to `waitMs` for one datagram. kTimedOut with an empty text when none
    // came, when the watched file changed or when a stop was requested.
    virtual SocketError Receive(int waitMs, Datagram& out) = 0;
    virtual SocketError Send(IpAddress to, std::uint16_t port, std::string_view text) = 0;
    // Sends every datagram of `batch` to `port`, in order, and sets its result:
    // as Send would, with fewer system calls where the system takes many
    // datagrams in one. This one sends each with Send.
    virtual void SendBatch(std::uint16_t port, std::span<OutgoingDatagram> batch);
    // The machine's own IPv4 addresses, in resolver order.
    virtual std::vector<IpAddress> LocalAddresses() = 0;
};

// Names a started process until it has been seen to end.
using ProcessId = std::int64_t;

class ProcessStarter {
  public:
    virtual ~ProcessStarter() = default;
    // Starts `program` (looked up on PATH) with `args`, in `workDir` (empty = the
    // current directory), its output and error output appended to `outputFile` (a
    // relative name is taken from `workDir`; the file is created when missing).
    // Does not wait for it. Nothing when it could not be started, with the
    // reason in `whyNot` where one is known.
    virtual std::optional<ProcessId> Start(const std::string& program,
                                           const std::vector<std::string>& args,
                                           const std::string& workDir,
                                           const std::string& outputFile, std::string& whyNot) = 0;
    // Looks, without waiting, whether the process has ended. A started process
    // is to be asked about until it has: that answer also lets the system free
    // what it kept of it, and the id means nothing afterwards.
    virtual bool Ended(ProcessId process) = 0;
};

// Everything a Server touches. Files are real files under `workDir`.
struct Platform {
    Console& console;
    Clock& clock;
    EventWait& wait;  // the socket's: watching the GUI log ends its receives early
    DatagramSocket& socket;
    ProcessStarter& processes;
    std::string workDir;  // empty = the process's current directory
    // How the system was set up for the server (SystemSetupNotes), for server.log.
    std::vector<std::string> setupNotes = {};
};

}  // namespace lantrel
