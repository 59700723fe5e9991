// What the fuzz targets share: a Server on the fake platform whose working files
// live in one scratch folder per fuzzing process, emptied before every input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app.h"
#include "app/server.h"
#include "platform/fakes.h"
#include "platform/files.h"

namespace lantrel::fuzzing {

// The scratch folder: in memory (/dev/shm) where there is one, so the file work
// of every input costs little; removed when the fuzzer ends normally.
inline const std::string& ScratchDir() {
    // Never destroyed: the exit handler that removes the folder still needs the name.
    static const std::string* dir = [] {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string pattern = (base / "lantrel-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(*dir, ignored);
        });
        return new std::string(pattern);
    }();
    return *dir;
}

// Removes whatever the previous input left in the scratch folder.
inline void EmptyScratchDir() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(ScratchDir(), ec))
        std::filesystem::remove_all(entry.path(), ec);
}

inline void WriteScratchFile(const std::string& name, std::string_view content) {
    std::ofstream out(ScratchDir() + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

// Reads a file of the source tree (a fixture); empty when it is missing.
inline std::string SourceFile(const std::string& relative) {
    return ReadWholeFile(std::string(LANTREL_SOURCE_DIR) + "/" + relative).value_or("");
}

// A freshly started Server on the fake platform. The fake socket advances the
// fake clock by every receive wait, so waits on the network end in simulated
// time (the pause after a game result included).
//
// The fakes serve every input of a fuzzing process; each input gets a new Server.
struct FuzzServer {
    ScreenBuffer screen;
    FakeClock clock;
    FakeEventWait wait;
    FakeSocket socket;
    FakeProcesses processes;
    Platform platform{screen, clock, wait, socket, processes, ScratchDir()};
    std::optional<Server> server;

    Server& operator*() { return *server; }
    Server* operator->() { return &*server; }

    // Empties the scratch folder, writes `ini` as server.ini, puts the fakes and
    // every record back to their start values and starts the server
    // (configuration, server.log, working files, tables, the fake port).
    static FuzzServer& Start(std::string_view ini) {
        FuzzServer& f = Prepare(ini);
        if (StartServer(*f.server) != SocketError::kOk) std::abort();
        return f;
    }

    // The same without starting: for inputs that drive start-up themselves.
    static FuzzServer& Prepare(std::string_view ini) {
        static FuzzServer* f = new FuzzServer;  // lives as long as the process
        EmptyScratchDir();
        WriteScratchFile("server.ini", ini);
        f->Reset();
        return *f;
    }

  private:
    void Reset() {
        screen = ScreenBuffer();
        clock = FakeClock();
        socket = FakeSocket();
        socket.clock = &clock;
        processes = FakeProcesses();
        server.emplace(platform);
    }
};

// Splits a text into lines at LF, dropping a CR before each LF (as the log
// reader does); a last line without LF counts too.
inline std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// Stops the fuzzer with a report when a property of the server does not hold.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// Properties every server keeps whatever arrived: the client table contiguous
// from slot 1 with no address twice and its index in step, the live queue totals equal to what the
// viewers' queues hold, queues only for logged-on viewers, each within its cap
// and ordered by number.
inline void CheckServerInvariants(const Server& server) {
    const ClientTable& table = server.net.clients;
    int occupied = 0;
    bool gap = false;
    for (int k = 1; k <= kClientSlots; ++k) {
        if (table.slots[k].ip == 0) {
            gap = true;
            continue;
        }
        FUZZ_CHECK(!gap);  // occupied slots follow each other from slot 1
        ++occupied;
        FUZZ_CHECK(table.slots[k].name.size() == kNameWidth);
        FUZZ_CHECK(table.slots[k].ipText.size() == kIpTextWidth);
        FUZZ_CHECK(table.slots[k].email.size() == kEmailWidth);
        for (int j = 1; j < k; ++j)
            FUZZ_CHECK(table.slots[j].ip != table.slots[k].ip);
        FUZZ_CHECK(FindClientSlot(table, table.slots[k].ip) == k);  // the index agrees
    }
    FUZZ_CHECK(occupied == table.Count());
    FUZZ_CHECK(table.slotOf.size() == static_cast<std::size_t>(occupied));
    const ResendQueue& q = server.net.queue;
    std::int32_t waiting = 0, resending = 0;
    for (const auto& [ip, vq] : q.viewers) {
        FUZZ_CHECK(FindClientSlot(table, ip) != 0);
        FUZZ_CHECK(vq.waiting.size() <= kMaxWaitingPerViewer);
        std::int32_t viewerResending = 0;
        for (std::size_t i = 0; i < vq.waiting.size(); ++i) {
            FUZZ_CHECK(i == 0 || vq.waiting[i - 1].seq < vq.waiting[i].seq);
            if (vq.waiting[i].tries > 1) ++viewerResending;
        }
        FUZZ_CHECK(viewerResending == vq.resending);
        waiting += static_cast<std::int32_t>(vq.waiting.size());
        resending += vq.resending;
    }
    FUZZ_CHECK(waiting == q.waitingNow && resending == q.resendingNow);
}

}  // namespace lantrel::fuzzing
