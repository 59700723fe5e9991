#include <cstring>

#include "app/server.h"
#include "feed/feed.h"
#include "platform/files.h"
#include "text/text.h"

namespace lantrel {

namespace {

constexpr std::size_t kBlockSize = 1 << 20;

// Appends log bytes to the partial line, dropping CR and anything past the cap.
void AppendToLine(Server& server, const char* bytes, std::size_t count) {
    FeedState& feed = server.feed;
    std::string& line = feed.partialLine;
    const char* end = bytes + count;
    while (bytes < end) {
        const char* cr = static_cast<const char*>(std::memchr(bytes, '\r', end - bytes));
        const char* stop = cr ? cr : end;
        std::size_t room = kMaxLineLength - std::min(line.size(), kMaxLineLength);
        std::size_t take = std::min<std::size_t>(stop - bytes, room);
        line.append(bytes, take);
        if (take < static_cast<std::size_t>(stop - bytes) && !feed.partialLineCapped) {
            feed.partialLineCapped = true;
            WriteServerLog(server, "Log line longer than " + std::to_string(kMaxLineLength) +
                                       " bytes: the rest of it is dropped");
        }
        bytes = cr ? cr + 1 : end;
    }
}

}  // namespace

void ReadNewLogBytes(Server& server, const ReadOnlyFile& log) {
    CutLogLines(server, log, [&server](const std::string& line) { ProcessLogLine(server, line); });
    FinishLogRead(server);
}

void CutLogLines(Server& server, const ReadOnlyFile& log,
                 const std::function<void(const std::string&)>& onLine) {
    FeedState& feed = server.feed;
    std::string block(kBlockSize, '\0');
    std::int64_t offset = feed.bytesRead;  // 0-based offset of the next byte
    while (offset < feed.logSize) {
        std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(kBlockSize, feed.logSize - offset));
        std::size_t got = log.ReadAt(offset, block.data(), want);
        if (got == 0) {
            // The file became shorter while we read it; the next pass sees the new length.
            feed.logSize = offset;
            break;
        }
        const char* data = block.data();
        std::size_t i = 0;
        bool stop = false;
        while (i < got && !stop) {
            const char* lf = static_cast<const char*>(std::memchr(data + i, '\n', got - i));
            std::size_t segmentEnd = lf ? static_cast<std::size_t>(lf - data) : got;
            // The first two NUL bytes of the run stop the reading; later ones are text.
            if (feed.nulBytesSeen < 2) {
                const void* nul = std::memchr(data + i, '\0', segmentEnd - i);
                if (nul) {
                    std::size_t k = static_cast<const char*>(nul) - data;
                    AppendToLine(server, data + i, k - i);
                    feed.nulBytesSeen += 1;
                    if (feed.nulBytesSeen < 2) {
                        feed.logSize = offset + k;  // read this NUL again next pass
                    } else {
                        feed.partialLine.push_back('\0');
                        feed.logSize = offset + k + 1;  // this NUL is the last byte read
                    }
                    stop = true;
                    break;
                }
            }
            AppendToLine(server, data + i, segmentEnd - i);
            if (!lf) {
                i = got;
                break;
            }
            // The line is handed over in place; nothing a handler calls touches it.
            onLine(feed.partialLine);
            feed.partialLine.clear();
            i = segmentEnd + 1;
        }
        if (stop) break;
        offset += static_cast<std::int64_t>(got);
    }
}

void FinishLogRead(Server& server) {
    LiveGame& game = server.game;
    // Only the latest thinking of each side in a read goes out.
    if (!game.pendingWhitePv.empty()) server.outputs.Thinking(Side::kWhite, game.pendingWhitePv);
    if (!game.pendingBlackPv.empty()) server.outputs.Thinking(Side::kBlack, game.pendingBlackPv);
    game.pendingWhitePv.clear();
    game.pendingBlackPv.clear();
    if (game.headerSent == 0) server.outputs.CaughtUp(SnapshotOf(game));
    game.headerSent = 1;
    server.feed.linesSinceService = 0;
}

GameSnapshot SnapshotOf(const LiveGame& game) {
    return {game.whitePlayer, game.blackPlayer, game.previousFen,
            game.fen,         game.lastMove,    game.levelText};
}

void ServeOutputs(Server& server, int waitMs) {
    server.feed.lastServiceTime = server.os.clock.Monotonic();
    server.outputs.Serve(waitMs);
}

std::string SafeFileNamePart(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127 || std::strchr("/\\:*?\"<>|", c)) c = '_';
    }
    return out;
}

void MakeSaveDebugName(Server& server) {
    // Player names come from engine output (and from a remote opponent in ICS
    // mode), so they are made safe before they become part of a file name.
    std::string w = SafeFileNamePart(Left(server.game.whitePlayer, 12));
    std::string b = SafeFileNamePart(Left(server.game.blackPlayer, 12));
    std::string stem = "Debug-" + w + "_vs_" + b;
    std::string name = stem + ".log";
    for (int n = 1; FileExists(server.File(name)); ++n)
        name = stem + "-" + NumberText(n) + ".log";
    server.game.saveDebugName = name;
}

}  // namespace lantrel
