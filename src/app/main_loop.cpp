#include <algorithm>

#include "app/app.h"
#include "app/server.h"
#include "app/tourney_requests.h"
#include "feed/feed.h"
#include "platform/files.h"
#include "text/text.h"

namespace lantrel {

namespace {

void ToggleIcsMode(Server& server) {
    server.config.icsMode = !server.config.icsMode;
    server.screen.ShowIcsModeSwitched(server.config.icsMode);
}

// The GUI restarted its log, or the operator asked for a reset ("R"): start a
// new game and read the whole log again from its first byte.
void ResetFeed(Server& server, bool operatorReset) {
    if (operatorReset) {
        BroadcastRaw(server.net, "MSG: Server is being reset.  Please wait.");
        server.feed.game.headerSent = false;  // the read that follows stays silent
        server.outputs.ReadingLogAgain();
    }
    StartNewGame(server.feed);
    server.feed.reader.bytesRead = 0;
    server.feed.reader.readTail.clear();
    server.feed.reader.readHead.clear();
    server.feed.game.firstEngine.clear();
    server.feed.game.secondEngine.clear();
    server.feed.game.whitePlayer.clear();
    server.feed.game.blackPlayer.clear();
    server.feed.reader.partialLine.clear();
    // Read from its start, the log may turn out another's; a runner's games start over.
    server.feed.reader.dialect.reset();
    server.feed.reader.runnerLog.reset();
    // Keep the lines of the cycle that ended under the players' names. When the
    // rename cannot be made (no game yet, so no name) they stay in debug.tmp
    // and the next cycle's lines follow them.
    if (RenameFile(server.File("debug.tmp"), server.File(server.feed.game.saveDebugName)))
        CreateEmptyFile(server.File("debug.tmp"));
    MakeSaveDebugName(server.feed);
}

// server.log hears once that the log cannot be opened, with the system's
// reason, and once that it opens again.
void NoteLogOpening(Server& server, const std::string& path, const ReadOnlyFile& log) {
    const std::string reason = log.IsOpen() || log.Missing() ? "" : log.OpenErrorText();
    std::string& noted = server.feed.reader.logOpenFailure;
    if (reason == noted) return;
    if (!reason.empty())
        server.journal.Write("Cannot open the GUI log " + path + ": " + reason +
                             "; reading on when it opens");
    else if (log.IsOpen())
        server.journal.Write("The GUI log opens again: " + path);
    noted = reason;
}

// The log's bytes from `start` to `end`.
std::string BytesOf(const ReadOnlyFile& log, std::int64_t start, std::int64_t end) {
    std::string bytes(static_cast<std::size_t>(end - start), '\0');
    bytes.resize(log.ReadAt(start, bytes.data(), bytes.size()));
    return bytes;
}

// The log's bytes that end at `end`, as many as FeedState::readTail keeps. A GUI
// started again empties its log and writes it anew; when the new log has grown
// past what was read of the old one before we looked again (during the pause
// after a result, say), only its bytes there tell: the file is the same.
std::string BytesBefore(const ReadOnlyFile& log, std::int64_t end) {
    return BytesOf(log, std::max<std::int64_t>(0, end - std::int64_t{kReadTailLength}), end);
}

// Whether a log that was away (its folder renamed away and back, a share or a
// mount dropped and back) is the one we were reading: its first bytes and the
// bytes before the read position are still there, whatever its identity now.
// server.log hears which it is.
bool SameLogCameBack(Server& server, const ReadOnlyFile& log) {
    const FeedState& feed = server.feed.reader;
    const bool same =
        feed.logSize >= feed.bytesRead && BytesBefore(log, feed.bytesRead) == feed.readTail &&
        BytesOf(log, 0, static_cast<std::int64_t>(feed.readHead.size())) == feed.readHead;
    server.journal.Write(same ? "The GUI log is back, the same file: reading on"
                              : "The GUI log is back, a new file: a new game");
    return same;
}

}  // namespace

void MainLoopPass(Server& server) {
    FeedState& feed = server.feed.reader;
    if (feed.redrawBoard) {
        server.screen.DrawBoard(server.feed.chess.cells);
        feed.redrawBoard = false;
    }
    ServeOutputs(server.feed);
    ServeWebListener(server);
    RemoveFinishedMailFiles(server);

    ReadOnlyFile log;
    const std::string path = ResolvePath(server.os.workDir, server.config.path);
    const bool open = log.Open(path);
    // A log that cannot be opened (no file handles left, the GUI holding it for
    // a moment, a share that does not answer) or whose name leads nowhere for a
    // while (its folder renamed away and back) is no new log: keep the read
    // position and the file's identity, and try again next pass.
    NoteLogOpening(server, path, log);
    bool replaced = false;
    if (open) {
        feed.logSize = log.Length();
        const FileIdentity identity = log.Identity();
        if (feed.bytesRead > 0 && feed.logAway) {
            replaced = !SameLogCameBack(server, log);
        } else if (feed.bytesRead > 0) {
            // A log removed and written anew before we looked again may already be
            // longer than what was read of the old one: it is a restart all the same.
            replaced =
                identity != feed.logIdentity || (feed.logSize >= feed.bytesRead &&
                                                 BytesBefore(log, feed.bytesRead) != feed.readTail);
        }
        feed.logIdentity = identity;
        feed.logAway = false;
    } else if (log.Missing() && feed.bytesRead > 0 && !feed.logAway) {
        feed.logAway = true;
        server.journal.Write("The GUI log is gone: " + path + "; reading on when it is back");
    }

    std::string key = UpperAscii(server.os.console.ReadKey());
    if (key == "B") server.screen.ToggleBoard(server.feed.chess.cells);
    if (key == "I") ToggleIcsMode(server);
    const bool restarted = open && (feed.logSize < feed.bytesRead || replaced);
    if (restarted || key == "R") ResetFeed(server, key == "R");

    if (open && feed.bytesRead < feed.logSize) {
        ReadNewLogBytes(server.feed, log);
        feed.bytesRead = feed.logSize;
    }
    log.Close();
    server.os.console.Flush();
}

void MainLoop(Server& server, const std::function<bool()>& stop) {
    while (!stop())
        MainLoopPass(server);
}

}  // namespace lantrel
