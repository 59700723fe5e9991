// The browser feed's largest messages for every recorded GUI log: each log
// replayed through a server on the fake platform, a main loop pass after each
// line that tells a move (XBoard's "move", Arena's "bestmove"), with the feed's messages
// measured as they go out. A newcomer is sent the snapshot of that moment, so
// the largest snapshot is what a connection must be able to take.
//   bench_feed_snapshot_size [LOG ...]   (default: every recording under tests/fixtures)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/server.h"
#include "bench_support.h"
#include "platform/files.h"

using namespace lantrel;
namespace fs = std::filesystem;

namespace {

struct Sizes final : FeedListener {
    std::size_t snapshot = 0, delta = 0;
    std::string deltaType;
    void Delta(const FeedMessage& m) override {
        if (m.json->size() <= delta) return;
        delta = m.json->size();
        const std::size_t type = m.json->find("\"type\":\"") + 8;
        deltaType = m.json->substr(type, m.json->find('"', type) - type);
    }
    void Snapshot(const FeedMessage& m) override { snapshot = std::max(snapshot, m.json->size()); }
    void HandOver() override {}
};

// The log cut after each line that tells a move: what the server reads at
// one pass of its loop.
std::vector<std::string> MovePieces(const std::string& log) {
    std::vector<std::string> pieces(1);
    for (std::size_t start = 0; start < log.size();) {
        const std::size_t end = std::min(log.find('\n', start), log.size() - 1) + 1;
        const std::string_view line(log.data() + start, end - start);
        pieces.back() += line;
        start = end;
        if (line.find("move ") != std::string_view::npos) pieces.emplace_back();
    }
    return pieces;
}

struct Replayed {
    Sizes sizes;
    std::size_t longestLine = 0;
    std::size_t mostPlies = 0;
};

Replayed Replay(const std::string& log, const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    bench::FakePlatform fake(dir.string());
    Server server(fake.platform);
    std::ofstream(dir / "server.ini") << "PATH=gui.log\nDELAY=10\n";
    Replayed replayed;
    StartServer(server);
    server.webFeed.AddListener(replayed.sizes);
    server.outputs.Attach(server.webFeed);
    auto pass = [&] {
        MainLoopPass(server);
        replayed.mostPlies = std::max(replayed.mostPlies, server.record.current().plies.size());
    };
    pass();
    for (const std::string& piece : MovePieces(log)) {
        AppendBytes((dir / "gui.log").string(), piece);
        pass();
    }
    const double end = fake.clock.Monotonic() + 5;
    while (fake.clock.Monotonic() < end)
        pass();
    for (std::size_t start = 0; start < log.size();) {
        const std::size_t next = std::min(log.find('\n', start), log.size());
        replayed.longestLine = std::max(replayed.longestLine, next - start);
        start = next + 1;
    }
    return replayed;
}

std::vector<fs::path> Recordings() {
    std::vector<fs::path> found;
    const fs::path fixtures = LANTREL_FIXTURES;
    for (const auto& [folder, extension] : {std::pair{"xboard", ".debug"},
                                            {"xboard/openings", ".debug"},
                                            {"arena", ".log"},
                                            {"arena/openings", ".log"}}) {
        for (const auto& entry : fs::directory_iterator(fixtures / folder))
            if (entry.path().extension() == extension) found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> logs(argv + 1, argv + argc);
    if (logs.empty()) logs = Recordings();
    const fs::path dir =
        fs::temp_directory_path() / ("lantrel-snapshot-" + std::to_string(getpid()));
    std::printf("| log | longest line | most plies | largest snapshot | largest delta |\n");
    std::printf("|---|---:|---:|---:|---|\n");
    std::size_t largest = 0;
    for (const fs::path& path : logs) {
        const std::string log = ReadWholeFile(path.string()).value_or("");
        const Replayed r = Replay(log, dir);
        largest = std::max(largest, r.sizes.snapshot);
        std::string name = path.string();
        if (const std::size_t at = name.find("fixtures/"); at != std::string::npos)
            name = name.substr(at + 9);
        std::printf("| %s | %zu B | %zu | %zu B | %zu B (%s) |\n", name.c_str(), r.longestLine,
                    r.mostPlies, r.sizes.snapshot, r.sizes.delta, r.sizes.deltaType.c_str());
    }
    std::printf("\nlargest snapshot of all: %zu bytes\n", largest);
    fs::remove_all(dir);
    return 0;
}
