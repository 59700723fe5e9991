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
    server.feed.game.firstEngine.clear();
    server.feed.game.secondEngine.clear();
    server.feed.game.whitePlayer.clear();
    server.feed.game.blackPlayer.clear();
    server.feed.reader.partialLine.clear();
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

// The log's bytes that end at `end`, as many as FeedState::readTail keeps. A GUI
// started again empties its log and writes it anew; when the new log has grown
// past what was read of the old one before we looked again (during the pause
// after a result, say), only its bytes there tell: the file is the same.
std::string BytesBefore(const ReadOnlyFile& log, std::int64_t end) {
    const std::int64_t start = std::max<std::int64_t>(0, end - std::int64_t{kReadTailLength});
    std::string bytes(static_cast<std::size_t>(end - start), '\0');
    bytes.resize(log.ReadAt(start, bytes.data(), bytes.size()));
    return bytes;
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
    // Only a log that is not there is gone. Any other failure to open it (no
    // file handles left, the GUI holding it for a moment, a share that does not
    // answer) passes: keep the read position and the file's identity, and try
    // again next pass.
    const bool passingFailure = !open && !log.Missing();
    NoteLogOpening(server, path, log);
    bool replaced = false;
    if (!passingFailure) {
        feed.logSize = open ? log.Length() : 0;
        // A log removed and written anew before we looked again may already be
        // longer than what was read of the old one: it is a restart all the same.
        FileIdentity identity = open ? log.Identity() : FileIdentity{};
        replaced = identity != feed.logIdentity && feed.bytesRead > 0;
        feed.logIdentity = identity;
        if (open && feed.bytesRead > 0 && feed.logSize >= feed.bytesRead)
            replaced = replaced || BytesBefore(log, feed.bytesRead) != feed.readTail;
    }

    std::string key = UpperAscii(server.os.console.ReadKey());
    if (key == "B") server.screen.ToggleBoard(server.feed.chess.cells);
    if (key == "I") ToggleIcsMode(server);
    const bool restarted = !passingFailure && (feed.logSize < feed.bytesRead || replaced);
    if (restarted || key == "R") ResetFeed(server, key == "R");

    if (!passingFailure && feed.bytesRead < feed.logSize) {
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
