// lantrel-server: follows a chess GUI's debug log and broadcasts the game to viewers.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/server.h"
#include "platform/system.h"

namespace {

const char* kUsage =
    "Usage: lantrel-server [--headless] [--dir DIR] [--version] [--help]\n"
    "\n"
    "Follows the chess GUI's debug log named by PATH= in server.ini and broadcasts\n"
    "the game to viewers over UDP (PORT=, default 16000).\n"
    "\n"
    "  --headless   draw no status screen and never wait for a key (for services)\n"
    "  --dir DIR    run in DIR: server.ini is read there and the working files\n"
    "               (server.log, in.dat, out.dat, debug.tmp) are written there\n"
    "  --version    print the version and exit\n"
    "  --help       print this text and exit\n"
    "\n"
    "Operator keys: B board display on/off, I ICS mode on/off, R reset the feed.\n"
    "Ctrl-C or SIGTERM stops the server.\n";

}  // namespace

int main(int argc, char** argv) {
    bool headless = false;
    std::string dir;
    const std::vector<std::string> words = lantrel::CommandLineWords(argc, argv);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& arg = words[i];
        if (arg == "--headless") {
            headless = true;
        } else if (arg == "--dir") {
            if (i + 1 >= words.size()) {
                std::fprintf(stderr, "lantrel-server: --dir needs a directory\n\n%s", kUsage);
                return 2;
            }
            dir = words[++i];
        } else if (arg == "--version") {
            std::printf("%s\n", lantrel::kBanner);
            return 0;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "lantrel-server: unknown argument '%s'\n\n%s", arg.c_str(),
                         kUsage);
            return 2;
        }
    }
    std::string whyNot;
    if (!dir.empty() && !lantrel::ChangeDirectory(dir, whyNot)) {
        std::fprintf(stderr, "lantrel-server: cannot enter directory '%s': %s\n", dir.c_str(),
                     whyNot.c_str());
        return 2;
    }

    lantrel::InstallStopSignals();
    lantrel::PrepareSystemForServer();
    bool screen = !headless && lantrel::StdoutIsTerminal();
    lantrel::NullConsole nullConsole;
    std::unique_ptr<lantrel::Console> terminal;
    if (screen) terminal = lantrel::MakeTerminalConsole();
    lantrel::Console& console = screen ? *terminal : nullConsole;
    auto clock = lantrel::MakeSystemClock();
    auto wait = lantrel::MakeEventWait();
    auto socket = lantrel::MakeUdpSocket(*wait);
    auto processes = lantrel::MakeProcessStarter();
    lantrel::Platform platform{
        console, *clock, *wait, *socket, *processes, "", lantrel::SystemSetupNotes()};
    lantrel::Server server(platform);
    server.headless = headless;

    int status = lantrel::ServerMain(server, [] { return lantrel::StopRequested(); });
    if (status != 0 && !headless && lantrel::StdinIsTerminal()) {
        std::printf("Press a key to end.\n");
        std::fflush(stdout);
        terminal.reset();  // give the terminal back before waiting
        lantrel::WaitForKeyPress();
    }
    return status;
}
