// A GUI debug log, as any program might write it, fed to the game feed.
//
// The input is the log text; its last byte chooses the setting (the seeds are
// plain logs, whose last byte is LF):
//   bit 0  ICS mode                    bit 1  a viewer is logged on
//   bit 2  SAVEDEBUG=1                 bit 3  the header was sent (live, not catch-up)
//   bit 4  read through the log reader and the main loop, in three growing
//          pieces, instead of handing ProcessLogLine one line at a time; then
//   bit 5  the GUI starts its log afresh before the last piece (a shorter file)
//   bit 6  the operator presses R (reset) before the second pass
//   bit 7  the operator presses I (ICS mode on or off), then B (board display)
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "feed/feed.h"
#include "fuzz_support.h"
#include "text/text.h"
#include "web/feed_messages.h"
#include "web/live_pgn.h"

using namespace lantrel;
using namespace lantrel::fuzzing;

namespace {

constexpr IpAddress kViewer = MakeIp(10, 0, 0, 2);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t flags = data[size - 1];
    std::string_view log(reinterpret_cast<const char*>(data), size - 1);

    std::string ini = "PATH=gui.log\nDELAY=100\nDELAYAFTERMOVE=0\nDELAYAFTERGAME=0\n";
    if (flags & 0x01) ini += "ICSMODE=1\n";
    if (flags & 0x04) ini += "SAVEDEBUG=1\n";
    FuzzServer& f = FuzzServer::Start(ini);
    Server& server = *f;
    server.outputs.Attach(server.webFeed);  // as the web listener attaches it

    if (flags & 0x02) {
        f.socket.Queue(kViewer, "LOGONv15:Viewer");
        ServiceNetwork(server.net);
    }
    server.feed.game.headerSent = (flags & 0x08) != 0;

    if (flags & 0x10) {
        // The GUI writes the log while the server polls it: each pass reads what
        // was added since the previous one (a line may be cut in the middle).
        const std::size_t cuts[] = {log.size() / 3, 2 * log.size() / 3, log.size()};
        std::size_t written = 0;
        for (int pass = 0; pass < 3; ++pass) {
            const std::size_t cut = cuts[pass];
            if (pass == 2 && (flags & 0x20)) CreateEmptyFile(server.File("gui.log"));
            AppendBytes(server.File("gui.log"), log.substr(written, cut - written));
            written = cut;
            if (pass == 0 && (flags & 0x80)) f.screen.keys = {"i", "B"};
            if (pass == 1 && (flags & 0x40)) f.screen.keys = {"R"};
            MainLoopPass(server);
            FUZZ_CHECK(server.feed.reader.bytesRead <= server.feed.reader.logSize ||
                       server.feed.reader.logSize == 0);
            FUZZ_CHECK(server.feed.reader.partialLine.size() <= kMaxLineLength + 1);
        }
    } else {
        for (const std::string& line : SplitLines(log))
            ProcessLogLine(server.feed, line);
        FinishLogRead(server.feed);
    }

    CheckServerInvariants(server);
    // Whatever bytes the log held, the outputs people read are UTF-8 (the JSON
    // writer throws on anything else).
    const std::string snapshot = server.webFeed.SnapshotJson();
    FUZZ_CHECK(IsUtf8(snapshot));
    // An engine's line, however long, reaches the feed cut to its bound.
    const auto state = nlohmann::json::parse(snapshot);
    auto boundedPv = [](const nlohmann::json& thinking) {
        return !thinking.is_object() || !thinking.contains("pv") ||
               thinking["pv"].get_ref<const std::string&>().size() <=
                   kFeedPvBytes + std::strlen(kPvCutMark);
    };
    for (const auto& move : state["moves"])
        FUZZ_CHECK(boundedPv(move));
    FUZZ_CHECK(boundedPv(state["pv"]["white"]) && boundedPv(state["pv"]["black"]));
    FUZZ_CHECK(IsUtf8(LivePgn(server.record, server.config.site, server.config.site)));
    FUZZ_CHECK(server.feed.chess.whiteKingSquare == 0 ||
               server.feed.chess.cells[server.feed.chess.whiteKingSquare] == kKing);
    FUZZ_CHECK(server.feed.chess.blackKingSquare == 0 ||
               server.feed.chess.cells[server.feed.chess.blackKingSquare] == -kKing);
    return 0;
}
