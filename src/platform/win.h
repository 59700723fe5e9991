// The Windows backend of the platform layer: its own classes, for the files of
// the platform layer and the tests of this backend. The programs use system.h.
#pragma once

// Winsock 2 before windows.h, which would otherwise bring in the old winsock.h.
#include <windows.h>
#include <winsock2.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/system.h"
#include "platform/udp_socket.h"

// windows.h names its own file functions with macros; ours keep their names.
#undef ReplaceFile

namespace lantrel {

// The system's text for an error code of GetLastError or WSAGetLastError.
std::string SystemMessage(DWORD error);

// Names and texts cross to the system as UTF-16. Ours are UTF-8; a text that is
// not valid UTF-8 is taken in the system's ANSI code page instead: names from
// programs that write ANSI (a GUI's engine names, an older server.ini).
std::wstring Wide(std::string_view text);
// The system's UTF-16 as UTF-8.
std::string Narrow(std::wstring_view text);

// Adds a line to SystemSetupNotes.
void NoteSystemSetup(std::string line);

// The Windows console as a status screen: the cursor is placed and the colours
// set through the console API, keys are read without waiting. The console's
// modes, colours, cursor and code page are given back when the console is
// destroyed, at exit and when the console window is closed.
class WinConsole : public Console {
  public:
    WinConsole();
    ~WinConsole() override;
    void Clear() override;
    void MoveTo(int row, int column) override;
    void SetColour(ConsoleColour colour) override;
    void Print(std::string_view text) override;
    void EndLine() override;
    std::string ReadKey() override;
    void Beep() override;

  private:
    void Write(std::string_view bytes);
};

class SystemClock : public Clock {
  public:
    double TimeOfDay() override;
    LocalDateTime Now() override;
    double Monotonic() override;
    void SleepMs(int milliseconds) override;
};

// WaitForMultipleObjects over the socket's event (WSAEventSelect), a change
// notification on the watched file's folder and the stop event.
class WinEventWait : public EventWait {
  public:
    WinEventWait();
    ~WinEventWait() override;
    WinEventWait(const WinEventWait&) = delete;
    WinEventWait& operator=(const WinEventWait&) = delete;
    void WatchFile(const std::string& path) override;
    WakeReason Wait(NativeHandle socket, int waitMs) override;

  private:
    // Takes the socket's recorded events; true when a datagram (or an error) is there.
    bool TakeSocketEvents();
    // Size and time of the last write of the watched file (both 0 when missing).
    std::pair<std::int64_t, std::int64_t> WatchedFileState() const;

    HANDLE socketEvent_ = nullptr;
    SOCKET selectedSocket_ = INVALID_SOCKET;
    HANDLE folderChange_ = INVALID_HANDLE_VALUE;
    std::string watchedPath_;
    std::pair<std::int64_t, std::int64_t> watchedState_{};
};

// Starts the program through the command interpreter (%COMSPEC% /D /C), which
// finds it on PATH and runs batch files as well as programs; /D keeps the
// AutoRun commands of the registry out. Every word is quoted and every
// character the interpreter would act on is escaped, so no argument can mean
// more than the word it is. A batch file reads its words again as it runs them,
// where a quote inside a word would end the quoting: it is given no word with a
// quote. The child inherits its standard handles and nothing else.
class ShellProcessStarter : public ProcessStarter {
  public:
    std::optional<ProcessId> Start(const std::string& program, const std::vector<std::string>& args,
                                   const std::string& workDir, const std::string& outputFile,
                                   std::string& whyNot) override;
    // An ended process's handle is closed here.
    bool Ended(ProcessId process) override;
};

// The command line that runs `words` through the command interpreter `/D /C`.
std::string InterpreterCommandLine(const std::vector<std::string>& words);

// The folder that holds the file `path`, as the system can open it ("C:\" for
// "C:\game.log", "." for a bare name).
std::string DirectoryOf(const std::string& path);

// The event a stop request sets (auto-reset: one wait takes each request), or
// null before InstallStopSignals.
HANDLE StopEvent();

}  // namespace lantrel
