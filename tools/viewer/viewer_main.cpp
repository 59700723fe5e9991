// lantrel-viewer: the reference viewer. Logs on to a Lantrel server, shows the game
// as it goes (players, board, moves, clocks, engine lines, users, chat) and sends
// what is typed: chat, or commands such as /who and /name.
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "game_display.h"
#include "net/viewer_client.h"
#include "platform/system.h"
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

struct ParsedOptions {
    Options options;
    bool help = false;
    std::string error;  // what is wrong with the command line; empty when nothing is
};

ParsedOptions ParseOptions(const std::vector<std::string>& words) {
    ParsedOptions parsed;
    Options& o = parsed.options;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string arg = words[i];
        std::string text;
        auto value = [&]() {
            if (i + 1 >= words.size()) {
                parsed.error = arg + " needs a value";
                return false;
            }
            text = words[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        } else if (arg == "--server") {
            if (!value()) return parsed;
            o.server = ParseIp(text);
            if (!o.server) {
                parsed.error =
                    "--server needs an IPv4 address such as 192.168.1.10, not '" + text + "'";
                return parsed;
            }
        } else if (arg == "--port") {
            if (!value()) return parsed;
            char* end = nullptr;
            long port = 0;
            if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0])))
                port = std::strtol(text.c_str(), &end, 10);
            if (end == nullptr || *end != '\0' || port < 1 || port > 65535) {
                parsed.error = "--port needs a port number from 1 to 65535, not '" + text + "'";
                return parsed;
            }
            o.port = static_cast<int>(port);
        } else if (arg == "--bind") {
            if (!value()) return parsed;
            o.bind = ParseIp(text);
            if (!o.bind && text != "0.0.0.0") {
                parsed.error =
                    "--bind needs a local IPv4 address such as 127.0.0.2, not '" + text + "'";
                return parsed;
            }
            o.bindGiven = true;
        } else if (arg == "--name") {
            if (!value()) return parsed;
            o.name = text;
        } else if (arg == "--raw") {
            o.raw = true;
        } else if (arg == "--seconds") {
            if (!value()) return parsed;
            char* end = nullptr;
            double seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0) {
                parsed.error = "--seconds needs a number of 0 or more, not '" + text + "'";
                return parsed;
            }
            o.seconds = seconds;
        } else if (!arg.empty() && arg[0] == '-') {
            parsed.error = "unknown option '" + arg + "'";
            return parsed;
        } else {
            parsed.error = "unexpected argument '" + arg + "'";
            return parsed;
        }
    }
    // A viewer on the server's machine cannot share the server's address and port.
    if (!o.bindGiven) o.bind = (o.server & 0xFF) == 127 ? MakeIp(127, 0, 0, 2) : 0;
    return parsed;
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

}  // namespace

int main(int argc, char** argv) {
    ParsedOptions parsed = ParseOptions(lantrel::CommandLineWords(argc, argv));
    if (parsed.help) {
        std::cout << kUsage << kViewerCommandHelp;
        return 0;
    }
    if (!parsed.error.empty()) {
        std::cerr << "lantrel-viewer: " << parsed.error << "\n\n" << kUsage << kViewerCommandHelp;
        return 2;
    }
    const Options& options = parsed.options;
    InstallStopSignals();
    auto systemClock = MakeSystemClock();
    auto eventWait = MakeEventWait();
    auto udpSocket = MakeUdpSocket(*eventWait);
    Clock& clock = *systemClock;
    DatagramSocket& socket = *udpSocket;
    const SocketError error =
        socket.Open(static_cast<std::uint16_t>(options.port), options.bind, 100);
    if (error != SocketError::kOk) {
        std::cerr << "lantrel-viewer: cannot receive on " << IpText(options.bind) << " port "
                  << options.port << " (error " << ErrorNumber(error) << ")\n";
        if (error == SocketError::kFailure) {
            // Mostly a server on this machine bound to all addresses on the same
            // port, which leaves no address for a viewer here.
            std::cerr << "  If a server on this machine listens on all addresses of port "
                      << options.port
                      << ", start it with BIND=127.0.0.1,\n"
                         "  or with BIND= its LAN address and run this viewer with"
                         " --server <that address> --bind 127.0.0.2.\n"
                         "  A second viewer on this machine needs an address of its own:"
                         " --bind 127.0.0.3.\n";
        }
        return 1;
    }

    ViewerSettings settings;
    settings.server = options.server;
    settings.port = static_cast<std::uint16_t>(options.port);
    settings.name = options.name;
    ViewerClient client(socket, clock, settings);
    GameDisplay display(std::cout);
    if (options.raw) {
        client.onDatagram = [](const std::string& d) { std::cout << d << std::endl; };
    } else {
        client.onMessage = [&](const std::string& m) {
            display.Show(client.picture(), m, clock.Monotonic());
            std::cout.flush();
        };
        std::cout << "Connecting to " << IpText(options.server) << " port " << options.port
                  << " as " << options.name << " (/quit to end)\n";
    }

    client.onNotice = [](const std::string& notice) { std::cout << notice << std::endl; };
    InputLines input;
    client.Logon();
    const double end = options.seconds > 0 ? clock.Monotonic() + options.seconds : 0;
    bool quit = false;
    while (!quit && !StopRequested()) {
        client.Poll(50);
        if (!options.raw) display.Tick(clock.Monotonic());
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
    if (!options.raw) display.Flush();
    std::cout.flush();
    std::_Exit(0);  // the input thread may still be blocked in a read
}
