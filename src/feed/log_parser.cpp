// ProcessLogLine: one line of the GUI's debug log turned into changes of the
// live game and messages to the viewers.
#include <cmath>

#include "app/server.h"
#include "feed/feed.h"
#include "feed/gui_moves.h"
#include "feed/parsing.h"
#include "platform/files.h"
#include "text/text.h"

namespace lantrel {

namespace {

// The working texts of one line.
struct LineParts {
    std::string workLine;
    std::string toEngine;
    std::string fromEngine;
    std::string commandWord;
    std::string outputWord;
    std::string argument;
};

LineParts CutLine(std::string workLine) {
    LineParts parts;
    parts.workLine = std::move(workLine);
    EngineTraffic traffic = SplitEngineTraffic(parts.workLine);
    parts.toEngine = std::move(traffic.toEngine);
    parts.fromEngine = std::move(traffic.fromEngine);
    parts.commandWord = GetWord(parts.toEngine, 1);
    parts.outputWord = GetWord(parts.fromEngine, 1);
    parts.argument = GetWord(parts.toEngine.empty() ? parts.fromEngine : parts.toEngine, 2);
    return parts;
}

// A player row: cleared with a label and blanks, then label, quoted name and " ]".
void ShowPlayer(Server& server, int row, std::string_view clearing, std::string_view label,
                const std::string& name) {
    Console& console = server.os.console;
    PrintAt(console, row, 1, clearing);
    // Kept within the cleared width: a longer name (a whole engine command line)
    // would wrap into the next row and outlast the shorter name shown later.
    const std::string text = std::string(label) + "\"" + name + "\" ]";
    PrintAt(console, row, 1, std::string_view(text).substr(0, clearing.size()));
}

const std::string kClearWhite = "[White:" + std::string(69, ' ');
const std::string kClearBlackColon = "[Black:" + std::string(69, ' ');
const std::string kClearBlack = "[Black" + std::string(70, ' ');

// Rows 4 and 5 as the engine-name step and the command "black" show them.
void ShowBothPlayers(Server& server) {
    ShowPlayer(server, 4, kClearWhite, "[White  ", server.game.whitePlayer);
    ShowPlayer(server, 5, kClearBlack, "[Black  ", server.game.blackPlayer);
}

void ReportPlayers(Server& server) {
    server.outputs.PlayerNamed(Side::kWhite, server.game.whitePlayer);
    server.outputs.PlayerNamed(Side::kBlack, server.game.blackPlayer);
}

// "black" or "white" sent to an engine: that engine has this colour, the other
// engine the other one.
void AssignColour(Server& server, int source, bool black) {
    LiveGame& g = server.game;
    int mine = black ? 2 : 1;
    int theirs = black ? 1 : 2;
    std::string& minePlayer = black ? g.blackPlayer : g.whitePlayer;
    std::string& theirPlayer = black ? g.whitePlayer : g.blackPlayer;
    if (source == 1) {
        minePlayer = g.firstEngine;
        g.firstEngineColour = mine;
        theirPlayer = g.secondEngine;
        g.secondEngineColour = theirs;
    } else if (source == 2) {
        minePlayer = g.secondEngine;
        g.secondEngineColour = mine;
        theirPlayer = g.firstEngine;
        g.firstEngineColour = theirs;
    }
}

// The pause after a result: the viewers are still served while it lasts, until
// the clock's second has changed n + 1 times.
void PauseAfterResult(Server& server) {
    Console& console = server.os.console;
    PrintAt(console, 1, 2, "paused...");
    console.Flush();
    long n = std::lround(server.config.delayAfterGame / 1000.0);
    if (server.game.headerSent == 1) {
        auto second = [&server] { return static_cast<long>(server.os.clock.TimeOfDay()); };
        long shown = second();
        long changes = 0;
        for (;;) {
            long now = second();
            if (now != shown) {
                shown = now;
                if (++changes > n) break;
                continue;
            }
            ServeOutputs(server);
            if (server.stopRequested && server.stopRequested()) break;  // ending: no more pause
        }
    }
    PrintAt(console, 1, 2, std::string(9, ' '));
}

// One line on its way through the handlers: its parts, the engine it is about
// (1 first, 2 second, 0 neither) and whether a handler has finished it.
struct LineStep {
    const LineParts& parts;
    int source = 0;
    bool done = false;
};

int ColourOf(const LiveGame& g, int source) {
    return source == 1 ? g.firstEngineColour : source == 2 ? g.secondEngineColour : 0;
}

// The GUI started an engine: its command line follows the working-folder note in
// brackets. The first engine started plays White until told otherwise.
void EngineStarted(Server& server, LineStep& step) {
    LiveGame& g = server.game;
    const std::string& workLine = step.parts.workLine;
    std::string name = Mid(workLine, Find(workLine, ")", 17) + 2);
    if (server.config.icsMode == 1) g.secondEngine = "Human";
    if (g.firstEngine.empty()) {
        g.firstEngine = g.whitePlayer = name;
        g.firstEngineColour = 1;
        g.secondEngineColour = 2;
        ShowPlayer(server, 4, kClearWhite, "[White ", g.whitePlayer);
        server.outputs.PlayerNamed(Side::kWhite, g.whitePlayer);
        step.done = true;
        return;
    }
    g.secondEngine = g.blackPlayer = name;
    ShowPlayer(server, 5, kClearBlackColon, "[Black: ", g.blackPlayer);
    server.outputs.PlayerNamed(Side::kBlack, g.blackPlayer);
}

// "feature ... myname="Name"": the engine's own name replaces its command line.
void EngineNamed(Server& server, LineStep& step) {
    LiveGame& g = server.game;
    const std::string& workLine = step.parts.workLine;
    std::size_t m = Find(workLine, "myname=");
    std::size_t q1 = Find(workLine, "\"", m);
    std::size_t q2 = q1 ? Find(workLine, "\"", q1 + 1) : 0;
    if (q1 > 0 && q1 < q2) {
        std::string name = Mid(workLine, q1 + 1, q2 - q1 - 1);
        if (step.source == 1) {
            g.firstEngine = name;
            if (g.firstEngineColour == 1) g.whitePlayer = name;
            if (g.firstEngineColour == 2) g.blackPlayer = name;
            server.outputs.PlayerNamed(Side::kWhite, g.whitePlayer);
        } else if (step.source == 2) {
            g.secondEngine = name;
            if (g.secondEngineColour == 1) g.whitePlayer = name;
            if (g.secondEngineColour == 2) g.blackPlayer = name;
            server.outputs.PlayerNamed(Side::kBlack, g.blackPlayer);
        }
    }
    ShowBothPlayers(server);
}

void PlaysBlack(Server& server, LineStep& step) {
    AssignColour(server, step.source, true);
    ShowBothPlayers(server);
    ReportPlayers(server);
}

void PlaysWhite(Server& server, LineStep& step) {
    AssignColour(server, step.source, false);
    ShowPlayer(server, 4, kClearWhite, "[White ", server.game.whitePlayer);
    ShowPlayer(server, 5, kClearBlackColon, "[Black: ", server.game.blackPlayer);
    ReportPlayers(server);
}

// Both engines are told "new"; after exactly one ply it is the GUI setting up
// the second engine, not a new game, and so it is when the GUI has just given
// the other engine opening moves or a position.
void NewSent(Server& server, LineStep& step) {
    if (server.game.plyCount != 1 && !NewEngineJoinsGame(server, step.source)) StartNewGame(server);
}

// "time": the engine's own clock; "otim" follows with its opponent's.
void TimeSent(Server& server, LineStep& step) {
    const std::string& workLine = step.parts.workLine;
    std::string value = Mid(workLine, Find(workLine, "time") + 5);
    int colour = ColourOf(server.game, step.source);
    if (colour == 1 || colour == 2) {
        server.feed.clockSide = colour == 1 ? Side::kWhite : Side::kBlack;
        server.feed.clockTime = value;
    }
}

void OtimSent(Server& server, LineStep& step) {
    if (server.game.headerSent == 1)
        server.outputs.ClocksTold(server.feed.clockSide, server.feed.clockTime,
                                  step.parts.argument);
}

// The thinking output of one engine becomes the pending PV line of its colour.
void NotePv(Server& server, const std::string& workLine, std::string_view marker, int colour) {
    std::string text = Mid(workLine, Find(workLine, marker) + marker.size());
    if (!IsThinkingLine(text)) return;
    if (colour == 1) server.game.pendingWhitePv = text;
    if (colour == 2) server.game.pendingBlackPv = text;
}

// The engine that sent a move must be the side to move.
void MoveSent(Server& server, LineStep& step) {
    bool moverIsBlack = ColourOf(server.game, step.source) == 2;
    int side = moverIsBlack ? 0 : 1;
    if (side != server.chess.whiteOnMove) return;
    server.os.console.MoveTo(22, 1);
    server.os.console.Print("Move: ");
    if (!step.parts.argument.empty()) {
        std::string text = step.parts.argument;
        PlayMoveText(server, text);
        server.feed.redrawBoard = 1;
    }
}

void ResultSent(Server& server, LineStep& step) {
    server.outputs.ResultAnnounced(step.parts.argument);
    PauseAfterResult(server);
}

// The engine told to go first has the side to move: White in a game from the
// start, whoever is on move after the GUI's opening moves or position.
void GoSent(Server& server, LineStep& step) {
    AssignColour(server, step.source, server.chess.whiteOnMove == 0);
}

void LevelSent(Server& server, LineStep& step) {
    const std::string& workLine = step.parts.workLine;
    server.game.levelText = Mid(workLine, Find(workLine, "level"));
    server.outputs.LevelSet(server.game.levelText);
}

void QuitSent(Server& server, LineStep& step) {
    LiveGame& g = server.game;
    if (step.source == 1) {
        g.firstEngine.clear();
        if (g.firstEngineColour == 1) g.whitePlayer.clear();
        if (g.firstEngineColour == 2) g.blackPlayer.clear();
    } else if (step.source == 2) {
        g.secondEngine.clear();
        if (g.secondEngineColour == 1) g.whitePlayer.clear();
        if (g.secondEngineColour == 2) g.blackPlayer.clear();
    }
}

bool CommandIs(const LineStep& step, std::string_view command) {
    return step.parts.commandWord == command;
}

// The handlers of a WinBoard line, in the order they are tried. They do not
// exclude each other: more than one may act on a line, each seeing what the
// ones before it changed, and one that finishes the line stops the rest.
struct LineHandler {
    bool (*matches)(Server& server, const LineStep& step);
    void (*act)(Server& server, LineStep& step);
};

constexpr LineHandler kLineHandlers[] = {
    {[](Server&, const LineStep& s) { return StartsWith(s.parts.workLine, "StartChildProcess"); },
     EngineStarted},
    {[](Server&, const LineStep& s) { return Find(s.parts.workLine, "myname=") != 0; },
     EngineNamed},
    {[](Server&, const LineStep& s) { return CommandIs(s, "black"); }, PlaysBlack},
    {[](Server&, const LineStep& s) { return CommandIs(s, "white"); }, PlaysWhite},
    {[](Server&, const LineStep& s) { return CommandIs(s, "new"); }, NewSent},
    {[](Server&, const LineStep& s) { return CommandIs(s, "time"); }, TimeSent},
    {[](Server&, const LineStep& s) { return CommandIs(s, "otim"); }, OtimSent},
    {[](Server& v, const LineStep& s) {
         return s.source == 1 && v.game.headerSent == 1 && Contains(s.parts.workLine, "<first :");
     },
     [](Server& server, LineStep& s) {
         NotePv(server, s.parts.workLine, "<first : ", server.game.firstEngineColour);
     }},
    // The second engine's thinking is noted during a catch-up too.
    {[](Server&, const LineStep& s) {
         return s.source == 2 && Contains(s.parts.workLine, "<second:");
     },
     [](Server& server, LineStep& s) {
         NotePv(server, s.parts.workLine, "<second: ", server.game.secondEngineColour);
     }},
    {[](Server&, const LineStep& s) { return s.parts.outputWord == "move"; }, MoveSent},
    {[](Server&, const LineStep& s) { return CommandIs(s, "result") && s.source == 1; },
     ResultSent},
    {[](Server& v, const LineStep& s) {
         return CommandIs(s, "go") && (v.game.gameNotStarted == 1 || FirstGoOfGuiGame(v));
     },
     GoSent},
    {[](Server&, const LineStep& s) { return CommandIs(s, "level") && s.source == 1; }, LevelSent},
    {[](Server&, const LineStep& s) { return CommandIs(s, "quit"); }, QuitSent},
};

// Everything from the extra network pass on (also used for the lines that ICS
// mode makes up).
void HandleParts(Server& server, const LineParts& parts) {
    if (server.game.headerSent == 1 && ++server.feed.linesSinceService > 10) {
        ServeOutputs(server, 1);
        server.feed.linesSinceService = 0;
    }
    LineStep step{parts};
    if (Contains(parts.workLine, "first :")) step.source = 1;
    if (Contains(parts.workLine, "second:")) step.source = 2;
    for (const LineHandler& handler : kLineHandlers) {
        if (step.done) break;
        if (handler.matches(server, step)) handler.act(server, step);
    }
}

constexpr std::string_view kIcsCommands =
    "force,quit,new,post,hard,easy,xboard,black,white,ping,go,computer,ics";

// ICS mode: the GUI relays the human opponent to the one engine. Returns true
// when the line was replaced by made-up lines (and so is done).
bool HandleIcsLine(Server& server, LineParts& parts) {
    std::size_t p = FindAfterStart(parts.workLine, ">first :");
    if (server.config.icsMode != 1 || p == 0) return false;
    if (FoundAfterStart(parts.workLine, ">first : name")) {
        // The opponent's name, which the engine-name step reads as the second engine's.
        std::string name = Mid(parts.workLine, Find(parts.workLine, "name") + 5);
        parts.workLine = "second: myname=\"" + name + "\"";
        return false;
    }
    // A substring test: any part of the command list counts as a command.
    if (kIcsCommands.find(parts.commandWord) != std::string_view::npos) return false;
    std::string move = Mid(parts.workLine, p + 9);
    if (move.size() < 2 || move.size() > 8) return false;
    // The opponent moves first, so the engine has Black.
    if (server.game.plyCount == 0) HandleParts(server, CutLine("0000 >first : black"));
    HandleParts(server, CutLine("0000 <second: move " + move));
    return true;
}

}  // namespace

void ProcessLogLine(Server& server, const std::string& line) {
    LiveGame& g = server.game;
    std::string lineText = TidyEngineLine(TranslateArenaLine(line));
    LineParts parts = CutLine(lineText + " ");

    // A comment sent to an engine.
    if (!parts.toEngine.empty() && parts.toEngine.front() == '#') return;

    if (lineText.empty()) {
        if (server.os.clock.Monotonic() - server.feed.lastServiceTime > 1.0) ServeOutputs(server);
        return;
    }

    g.lineStamp.clear();
    std::size_t lt = Find(lineText, "<");
    if (lt > 1) g.lineStamp = TrimBlanks(Left(lineText, lt - 1));

    // The GUI writes the marker again after "usermove"; keep the move text.
    if (std::size_t p = Find(parts.workLine, ": usermove"); p > 1)
        parts.workLine = Mid(parts.workLine, p + 11);

    if (server.config.saveDebug == 1) AppendLine(server.File("debug.tmp"), parts.workLine);

    // Old-style engine output: "1. ... e7e5" is the move e7e5.
    if (std::size_t p = Find(parts.fromEngine, " ... "); p > 1) {
        std::string after = Mid(parts.fromEngine, p + 5);
        parts.argument = Left(after, after.empty() ? 0 : after.size() - 1);
        parts.outputWord = "move";
    }

    if (HandleIcsLine(server, parts)) return;
    // Moves and positions the GUI gives the engines itself (opening books,
    // position files, UCI "position" lines), around the line's own handlers.
    const GuiLineNote gui = FollowGuiTraffic(server, lineText);
    HandleParts(server, parts);
    FinishGuiTraffic(server, gui);
}

}  // namespace lantrel
