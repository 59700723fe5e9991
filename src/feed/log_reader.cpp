#include <algorithm>
#include <cstring>

#include "feed/feed.h"
#include "feed/parsing.h"
#include "platform/files.h"
#include "text/text.h"

namespace lantrel {

namespace {

constexpr std::size_t kBlockSize = 1 << 20;

// Appends log bytes to the partial line, dropping CR and anything past the cap.
void AppendToLine(Feed& feed, const char* bytes, std::size_t count) {
    FeedState& reader = feed.reader;
    std::string& line = reader.partialLine;
    const char* end = bytes + count;
    while (bytes < end) {
        const char* cr = static_cast<const char*>(std::memchr(bytes, '\r', end - bytes));
        const char* stop = cr ? cr : end;
        std::size_t room = kMaxLineLength - std::min(line.size(), kMaxLineLength);
        std::size_t take = std::min<std::size_t>(stop - bytes, room);
        line.append(bytes, take);
        if (take < static_cast<std::size_t>(stop - bytes) && !reader.partialLineCapped) {
            reader.partialLineCapped = true;
            feed.journal.Write("Log line longer than " + std::to_string(kMaxLineLength) +
                               " bytes: the rest of it is dropped");
        }
        bytes = cr ? cr + 1 : end;
    }
}

}  // namespace

void ReadNewLogBytes(Feed& feed, const ReadOnlyFile& log) {
    CutLogLines(feed, log, [&feed](const std::string& line) { ProcessLogLine(feed, line); });
    FinishLogRead(feed);
}

void CutLogLines(Feed& feed, const ReadOnlyFile& log,
                 const std::function<void(const std::string&)>& onLine) {
    FeedState& reader = feed.reader;
    std::string block(kBlockSize, '\0');
    std::int64_t offset = reader.bytesRead;  // 0-based offset of the next byte
    while (offset < reader.logSize) {
        std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(kBlockSize, reader.logSize - offset));
        std::size_t got = log.ReadAt(offset, block.data(), want);
        if (got == 0) {
            // The file became shorter while we read it; the next pass sees the new length.
            reader.logSize = offset;
            break;
        }
        const char* data = block.data();
        std::size_t i = 0;
        bool stop = false;
        while (i < got && !stop) {
            const char* lf = static_cast<const char*>(std::memchr(data + i, '\n', got - i));
            std::size_t segmentEnd = lf ? static_cast<std::size_t>(lf - data) : got;
            // The first two NUL bytes of the run stop the reading; later ones are text.
            if (reader.nulBytesSeen < 2) {
                const void* nul = std::memchr(data + i, '\0', segmentEnd - i);
                if (nul) {
                    std::size_t k = static_cast<const char*>(nul) - data;
                    AppendToLine(feed, data + i, k - i);
                    reader.nulBytesSeen += 1;
                    if (reader.nulBytesSeen < 2) {
                        reader.logSize = offset + k;  // read this NUL again next pass
                    } else {
                        reader.partialLine.push_back('\0');
                        reader.logSize = offset + k + 1;  // this NUL is the last byte read
                    }
                    stop = true;
                    break;
                }
            }
            AppendToLine(feed, data + i, segmentEnd - i);
            if (!lf) {
                i = got;
                break;
            }
            // The line is handed over in place; nothing a handler calls touches it.
            onLine(reader.partialLine);
            reader.partialLine.clear();
            i = segmentEnd + 1;
        }
        // The bytes this block gave up to where the reading now ends.
        const auto used = static_cast<std::size_t>(
            std::clamp<std::int64_t>(reader.logSize - offset, 0, static_cast<std::int64_t>(got)));
        reader.readTail.append(data + used - std::min(used, kReadTailLength), data + used);
        if (reader.readTail.size() > kReadTailLength)
            reader.readTail.erase(0, reader.readTail.size() - kReadTailLength);
        if (offset == 0) reader.readHead.assign(data, std::min(used, kReadTailLength));
        if (stop) break;
        offset += static_cast<std::int64_t>(got);
    }
}

void FinishLogRead(Feed& feed) {
    LiveGame& game = feed.game;
    // Only the latest thinking of each side in a read goes out.
    if (!game.pendingWhitePv.empty())
        feed.output.Thinking(PieceColour::kWhite, ReadThinking(game.pendingWhitePv));
    if (!game.pendingBlackPv.empty())
        feed.output.Thinking(PieceColour::kBlack, ReadThinking(game.pendingBlackPv));
    game.pendingWhitePv.clear();
    game.pendingBlackPv.clear();
    game.moveWhitePv.clear();
    game.moveBlackPv.clear();
    if (!game.headerSent) feed.output.CaughtUp(SnapshotOf(game));
    game.headerSent = true;
    feed.reader.linesSinceService = 0;
}

GameSnapshot SnapshotOf(const LiveGame& game) {
    return {PlayerOf(game, PieceColour::kWhite),
            PlayerOf(game, PieceColour::kBlack),
            game.previousFen,
            game.fen,
            game.lastMove,
            game.level};
}

PlayerName PlayerOf(const LiveGame& game, PieceColour side) {
    const std::string& text = side == PieceColour::kWhite ? game.whitePlayer : game.blackPlayer;
    const std::string& command = game.firstEngineColour == side    ? game.firstEngineCommand
                                 : game.secondEngineColour == side ? game.secondEngineCommand
                                                                   : text;
    const bool ownName = text != command && HasPrintable(text);
    return {text, ownName ? text : ProgramName(command.empty() ? text : command)};
}

void ServeOutputs(Feed& feed, int waitMs) {
    feed.reader.lastServiceTime = feed.clock.Monotonic();
    if (waitMs != 0) feed.output.TurnEnded();
    feed.output.Serve(waitMs);
}

std::string SafeFileNamePart(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127 || std::strchr("/\\:*?\"<>|", c)) c = '_';
    }
    return out;
}

void MakeSaveDebugName(Feed& feed) {
    // Player names come from engine output (and from a remote opponent in ICS
    // mode), so they are made safe before they become part of a file name.
    std::string w = SafeFileNamePart(Left(feed.game.whitePlayer, 12));
    std::string b = SafeFileNamePart(Left(feed.game.blackPlayer, 12));
    std::string stem = "Debug-" + w + "_vs_" + b;
    std::string name = stem + ".log";
    for (int n = 1; FileExists(feed.File(name)); ++n)
        name = stem + "-" + NumberText(n) + ".log";
    feed.game.saveDebugName = name;
}

}  // namespace lantrel
