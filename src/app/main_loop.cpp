#include "app/app.h"
#include "app/server.h"
#include "app/tourney_requests.h"
#include "feed/feed.h"
#include "platform/files.h"
#include "text/text.h"

namespace lantrel {

namespace {

void ToggleIcsMode(Server& server) {
    server.config.icsMode = server.config.icsMode ? 0 : 1;
    server.screen.ShowIcsMode(server.config.icsMode == 1);
}

// The GUI restarted its log, or the operator asked for a reset ("R"): start a
// new game and read the whole log again from its first byte.
void ResetFeed(Server& server, bool operatorReset) {
    if (operatorReset) {
        BroadcastRaw(server.net, "MSG: Server is being reset.  Please wait.");
        server.feed.game.headerSent = 0;  // the read that follows stays silent
    }
    StartNewGame(server.feed);
    server.feed.reader.bytesRead = 0;
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

}  // namespace

void MainLoopPass(Server& server) {
    FeedState& feed = server.feed.reader;
    if (feed.redrawBoard == 1) {
        server.screen.DrawBoard(server.feed.chess.cells);
        feed.redrawBoard = 0;
    }
    ServeOutputs(server.feed);
    ServeWebListener(server);
    RemoveFinishedMailFiles(server);

    ReadOnlyFile log;
    bool open = log.Open(ResolvePath(server.os.workDir, server.config.path));
    feed.logSize = open ? log.Length() : 0;
    // A log removed and written anew before we looked again may already be
    // longer than what was read of the old one: it is a restart all the same.
    FileIdentity identity = open ? log.Identity() : FileIdentity{};
    bool replaced = identity != feed.logIdentity && feed.bytesRead > 0;
    feed.logIdentity = identity;

    std::string key = UpperAscii(server.os.console.ReadKey());
    if (key == "B") server.screen.ToggleBoard();
    if (key == "I") ToggleIcsMode(server);
    if (feed.logSize < feed.bytesRead || replaced || key == "R") ResetFeed(server, key == "R");

    if (feed.bytesRead < feed.logSize) {
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
