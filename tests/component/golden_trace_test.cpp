// Golden traces: every recorded GUI log (tests/fixtures/xboard and arena, with
// their openings folders, and the runners' logs under cutechess and fastchess) replayed through a
// Server on the fake platform, one time-stamp group of log lines per main loop pass, with one
// viewer that acknowledges every numbered message. What the viewer received, server.log and the
// final screen must match tests/fixtures/golden/<name>.trace byte for byte.
//
// To rewrite the golden files from the current program, run the test with
// LANTREL_UPDATE_GOLDEN=1 in the environment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "net/framing.h"
#include "platform/files.h"
#include "support/fake_server.h"

namespace lantrel::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = LANTREL_FIXTURES;
constexpr IpAddress kViewerIp = MakeIp(10, 0, 0, 2);
constexpr double kSettleSeconds = 5;  // fake time run after the last line

// One text line: backslash, CR, LF and other non-printable bytes escaped.
std::string Escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c > 0x7e) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Splits after every LF; a last piece without one is kept as it is.
std::vector<std::string> LinesWithEnds(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// The log cut into what the GUI wrote at one moment: the lines that share a
// leading time stamp, with the unstamped lines that follow them.
std::vector<std::string> StampGroups(const std::string& log) {
    std::vector<std::string> groups;
    std::string stamp;
    for (const std::string& line : LinesWithEnds(log)) {
        // fastchess writes its time stamp in the second pair of brackets.
        const std::size_t bracket = line[0] == '[' ? line.find("] [") : std::string::npos;
        std::string lineStamp =
            bracket != std::string::npos
                ? line.substr(bracket + 3, line.find(']', bracket + 3) - bracket - 3)
                : line.substr(0, line.find_first_not_of("0123456789-:. "));
        if (groups.empty() || (!lineStamp.empty() && lineStamp != stamp)) {
            groups.emplace_back();
            stamp = lineStamp;
        }
        groups.back() += line;
    }
    return groups;
}

// Replays `log` and returns the trace: the viewer's datagrams, then server.log,
// then the screen, each section under a "#" heading.
std::vector<std::string> Replay(const std::string& log) {
    FakeServer f;
    f.dir.Write("server.ini", "PATH=gui.log\nDELAY=10\n");
    if (StartServer(*f) != SocketError::kOk) return {"# the server did not start"};
    std::size_t seen = 0;
    auto pass = [&] {
        MainLoopPass(*f);
        // The viewer acknowledges each numbered message it received.
        for (; seen < f.socket.sent.size(); ++seen) {
            const SentDatagram& d = f.socket.sent[seen];
            if (d.to == kViewerIp && !d.text.empty() && d.text[0] == '<')
                f.socket.Queue(kViewerIp, AckText(std::stoi(d.text.substr(1))));
        }
    };
    f.socket.Queue(kViewerIp, "LOGONv15:Viewer");
    pass();
    for (const std::string& group : StampGroups(log)) {
        AppendBytes(f.dir.File("gui.log"), group);
        pass();
    }
    const double end = f.clock.Monotonic() + kSettleSeconds;
    while (f.clock.Monotonic() < end)
        pass();

    std::vector<std::string> trace{"# datagrams"};
    for (const std::string& text : f.socket.SentTo(kViewerIp))
        trace.push_back(Escape(text));
    trace.push_back("# server.log");
    for (const std::string& line : LinesWithEnds(f.dir.Read("server.log")))
        trace.push_back(Escape(line));
    trace.push_back("# screen");
    for (int row = 1; !f.screen.Row(row).empty(); ++row)
        trace.push_back(Escape(f.screen.Row(row)));
    return trace;
}

struct Recording {
    fs::path log;
    std::string name;  // of the golden file and the test case
};
void PrintTo(const Recording& recording, std::ostream* out) {
    *out << recording.name;
}

// Every recorded log, named after its place under the fixtures folder.
std::vector<Recording> Recordings() {
    std::vector<Recording> found;
    for (const auto& [folder, extension] : {std::pair{"xboard", ".debug"},
                                            {"xboard/openings", ".debug"},
                                            {"arena", ".log"},
                                            {"arena/openings", ".log"},
                                            {"cutechess", ".log"},
                                            {"fastchess", ".log"}}) {
        for (const auto& entry : fs::directory_iterator(kFixtures / folder)) {
            if (entry.path().extension() != extension) continue;
            std::string name = (fs::path(folder) / entry.path().stem()).generic_string();
            std::replace(name.begin(), name.end(), '/', '_');
            found.push_back({entry.path(), name});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const Recording& a, const Recording& b) { return a.name < b.name; });
    return found;
}

class GoldenTraceTest : public ::testing::TestWithParam<Recording> {};

TEST_P(GoldenTraceTest, ServerOutputMatchesTheRecording) {
    const fs::path golden = kFixtures / "golden" / (GetParam().name + ".trace");
    const std::string log = ReadWholeFile(GetParam().log.string()).value_or("");
    ASSERT_FALSE(log.empty()) << GetParam().log;
    std::vector<std::string> actual = Replay(log);

    const char* update = std::getenv("LANTREL_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        std::string text;
        for (const std::string& line : actual)
            text += line + "\n";
        fs::create_directories(golden.parent_path());
        ASSERT_EQ(CreateEmptyFile(golden.string()), 0) << golden;
        ASSERT_EQ(AppendBytes(golden.string(), text), 0);
        return;
    }
    std::vector<std::string> expected = SplitLines(ReadWholeFile(golden.string()).value_or(""));
    ASSERT_FALSE(expected.empty()) << golden << " is missing; run with LANTREL_UPDATE_GOLDEN=1";
    const auto [mine, theirs] =
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    if (mine == actual.end() && theirs == expected.end()) return;
    ADD_FAILURE() << golden << " differs first at line " << (mine - actual.begin() + 1)
                  << "\n  expected: " << (theirs == expected.end() ? "<end>" : *theirs)
                  << "\n  actual:   " << (mine == actual.end() ? "<end>" : *mine);
}

INSTANTIATE_TEST_SUITE_P(Recordings, GoldenTraceTest, ::testing::ValuesIn(Recordings()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace lantrel::testing
