// What the programs' main functions need of the operating system: its own
// implementations of the platform interfaces and the process-wide services.
// Every backend defines all of these (posix_*.cpp, win_*.cpp).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace lantrel {

// The terminal as a status screen; its settings are given back when it is
// destroyed and at exit.
std::unique_ptr<Console> MakeTerminalConsole();
std::unique_ptr<Clock> MakeSystemClock();
// The wait for the socket, the watched file and the stop requests.
std::unique_ptr<EventWait> MakeEventWait();
// A UDP socket that waits with `wait`, which must outlive it.
std::unique_ptr<DatagramSocket> MakeUdpSocket(EventWait& wait);
std::unique_ptr<ProcessStarter> MakeProcessStarter();

// Makes Ctrl-C and a service stop request a stop instead of ending the process;
// the request also ends a socket's wait. Writing to a closed pipe stops nothing.
void InstallStopSignals();
// True once a stop was requested (after InstallStopSignals).
bool StopRequested();

// Asks the system for what a server needs while it runs; given back at exit.
// On Windows: waits as short as asked (a 1 ms timer resolution, kept while the
// window is minimised). Nothing elsewhere.
void PrepareSystemForServer();
// A line for server.log on each thing the system was set up to do or not do
// (the console's quick edit, the timer resolution); none where there is
// nothing to tell.
std::vector<std::string> SystemSetupNotes();

// The words of the command line after the program's name, in UTF-8 (Windows
// hands them over in UTF-16; elsewhere they are the bytes given).
std::vector<std::string> CommandLineWords(int argc, char** argv);

// Makes `dir` the current directory. False with the system's reason in `whyNot`.
bool ChangeDirectory(const std::string& dir, std::string& whyNot);
bool StdinIsTerminal();
bool StdoutIsTerminal();
// Waits for one key on the terminal (used after a fatal start-up error).
void WaitForKeyPress();

}  // namespace lantrel
