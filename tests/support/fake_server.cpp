#include "support/fake_server.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "net/framing.h"
#include "net/net.h"

namespace lantrel::testing {

TempDir::TempDir() {
    // A new folder of a random name: create_directory says whether it made it.
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
        const std::filesystem::path candidate = base / ("lantrel-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TempDir::Write(const std::string& name, const std::string& content) const {
    std::ofstream out(File(name), std::ios::binary);
    out << content;
}

std::string TempDir::Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

FakeServer::FakeServer()
    : platform{screen, clock, wait, socket, processes, dir.path()},
      server(std::make_unique<Server>(platform)) {
    socket.clock = &clock;
}

std::vector<std::string> FakeServer::LogLines() const {
    return SplitLines(dir.Read("server.log"));
}

void AcknowledgeAll(FakeServer& f, IpAddress ip) {
    for (const std::string& text : f.socket.SentTo(ip)) {
        const Frame frame = ParseFrame(text);
        if (frame.seq != 0) f.socket.Queue(ip, AckText(frame.seq));
    }
    ServiceNetwork(f->net, 0);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace lantrel::testing
