// lantrel-viewer: the reference viewer. Logs on to a Lantrel server, shows the game
// as it goes (players, board, moves, clocks, engine lines, users, chat) and sends
// what is typed: chat, or commands such as /who and /name.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "net/viewer_client.h"
#include "platform/posix.h"
#include "text/text.h"

namespace {

using namespace lantrel;

const char* kUsage =
    "Usage: lantrel-viewer [options]\n"
    "\n"
    "  --server ADDR   the server's IPv4 address (default 127.0.0.1)\n"
    "  --port N        the server's UDP port; the viewer receives on it too (default 16000)\n"
    "  --bind ADDR     local address to receive on (default 127.0.0.2 when the server\n"
    "                  is on this machine, else all addresses)\n"
    "  --name NAME     user name (default Viewer)\n"
    "  --raw           print every datagram as it arrives, nothing else (for scripts)\n"
    "  --seconds N     log off and end after N seconds (input may end before)\n"
    "  --help          print this text\n"
    "\n"
    "Lines typed on standard input are sent as chat, or as commands:\n";

struct Options {
    IpAddress server = kLocalViewerIp;
    int port = 16000;
    IpAddress bind = 0;
    bool bindGiven = false;
    std::string name = "Viewer";
    bool raw = false;
    double seconds = 0;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (arg == "--server") {
            o.server = ParseIp(value());
            if (!o.server) return false;
        } else if (arg == "--port") {
            o.port = std::atoi(value().c_str());
            if (o.port <= 0 || o.port > 65535) return false;
        } else if (arg == "--bind") {
            std::string text = value();
            o.bind = ParseIp(text);
            if (!o.bind && text != "0.0.0.0") return false;
            o.bindGiven = true;
        } else if (arg == "--name") {
            o.name = value();
        } else if (arg == "--raw") {
            o.raw = true;
        } else if (arg == "--seconds") {
            o.seconds = std::atof(value().c_str());
        } else {
            return false;
        }
    }
    // A viewer on the server's machine cannot share the server's address and port.
    if (!o.bindGiven) o.bind = (o.server & 0xFF) == 127 ? MakeIp(127, 0, 0, 2) : 0;
    return true;
}

// Lines typed on standard input, read by a thread of their own so the network
// is served while nobody types.
class InputLines {
  public:
    InputLines() {
        std::thread([this] {
            std::string line;
            while (std::getline(std::cin, line)) {
                std::lock_guard<std::mutex> lock(mutex_);
                lines_.push_back(line);
            }
            ended_ = true;
        }).detach();
    }
    bool Next(std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lines_.empty()) return false;
        line = std::move(lines_.front());
        lines_.pop_front();
        return true;
    }
    bool Ended() {
        std::lock_guard<std::mutex> lock(mutex_);
        return ended_ && lines_.empty();
    }

  private:
    std::mutex mutex_;
    std::deque<std::string> lines_;
    std::atomic<bool> ended_{false};
};

void ShowGame(const GamePicture& p) {
    std::cout << "\n  White: " << p.whitePlayer << "   Black: " << p.blackPlayer << "   at "
              << p.site << "\n";
    for (const auto& row : BoardDiagram(p.fen))
        std::cout << "    " << row << "\n";
    std::cout << "  FEN " << p.fen << "\n";
    if (!p.lastMove.empty()) std::cout << "  Last move: " << p.lastMove << "\n";
    if (!p.level.empty()) std::cout << "  Time control: " << p.level << "\n";
}

// Prints what a message changed, for a person reading along.
void ShowMessage(const GamePicture& p, const std::string& m) {
    if (StartsWith(m, "FEN: ")) {
        if (!BoardDiagram(p.fen).empty()) ShowGame(p);  // the welcome's empty "before" position
    } else if (StartsWith(m, "WMOVE:") || StartsWith(m, "BMOVE:")) {
        std::cout << "  Move " << m.substr(6) << "\n";
    } else if (StartsWith(m, "WTIME: ") || StartsWith(m, "BTIME: ")) {
        std::cout << "  Clocks  White " << p.whiteTime << "  Black " << p.blackTime << "\n";
    } else if (StartsWith(m, "WPV: ")) {
        std::cout << "  White thinks: " << p.whitePv << "\n";
    } else if (StartsWith(m, "BPV: ")) {
        std::cout << "  Black thinks: " << p.blackPv << "\n";
    } else if (StartsWith(m, "result")) {
        std::cout << "  Result: " << p.result << "\n";
    } else if (StartsWith(m, "ADDUSER:") || StartsWith(m, "DELUSER:")) {
        std::cout << "  Users (" << p.users.size() << "):";
        for (const auto& u : p.users)
            std::cout << " [" << u << "]";
        std::cout << "\n";
    } else if (StartsWith(m, "CHAT:")) {
        std::cout << m.substr(5) << "\n";
    } else if (StartsWith(m, "MSG:")) {
        std::cout << "*** " << TrimBlanks(m.substr(4)) << "\n";
    } else if (m == "LOGON SUCCESSFUL") {
        std::cout << "Logged on.\n";
    } else if (m == "PONG") {
        std::cout << "  PONG\n";
    } else if (StartsWith(m, "MENU ") || StartsWith(m, "SECUSER: ") || StartsWith(m, "CT:") ||
               StartsWith(m, "GL:") || StartsWith(m, "SITE:") || StartsWith(m, "WPLAYER: ") ||
               StartsWith(m, "BPLAYER: ")) {
        std::cout << "  " << m << "\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr << kUsage << kViewerCommandHelp;
        return 2;
    }
    InstallStopSignals();
    SystemClock clock;
    UdpSocket socket;
    int error = socket.Open(static_cast<std::uint16_t>(options.port), options.bind, 100);
    if (error != kSocketOk) {
        std::cerr << "lantrel-viewer: cannot receive on " << IpText(options.bind) << " port "
                  << options.port << " (error " << error << ")\n";
        return 1;
    }

    ViewerSettings settings;
    settings.server = options.server;
    settings.port = static_cast<std::uint16_t>(options.port);
    settings.name = options.name;
    ViewerClient client(socket, clock, settings);
    if (options.raw) {
        client.onDatagram = [](const std::string& d) { std::cout << d << std::endl; };
    } else {
        client.onMessage = [&client](const std::string& m) {
            ShowMessage(client.picture(), m);
            std::cout.flush();
        };
        std::cout << "Connecting to " << IpText(options.server) << " port " << options.port
                  << " as " << options.name << " (/quit to end)\n";
    }

    InputLines input;
    client.Logon();
    const double end = options.seconds > 0 ? clock.Monotonic() + options.seconds : 0;
    bool quit = false;
    while (!quit && !StopRequested()) {
        client.Poll(50);
        std::string line;
        while (!quit && input.Next(line)) {
            TypedLine typed = TranslateTypedLine(line);
            if (typed.unknown) {
                std::cerr << "Commands:\n" << kViewerCommandHelp;
                continue;
            }
            if (typed.quit) {
                quit = true;
                break;
            }
            if (!typed.message.empty()) client.Send(typed.message);
        }
        if (end > 0 ? clock.Monotonic() >= end : input.Ended()) quit = true;
    }
    // Log off reliably: wait a moment for the server's acknowledgement.
    client.Send("LOGOFF");
    client.PollUntil([&] { return client.unacknowledged() == 0; }, 1.0);
    std::cout.flush();
    std::_Exit(0);  // the input thread may still be blocked in a read
}
