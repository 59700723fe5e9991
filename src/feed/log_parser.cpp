// ProcessLogLine: one line of the GUI's debug log turned into changes of the
// live game and messages to the viewers.
#include <cmath>

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

void ReportPlayer(Feed& feed, PieceColour side) {
    feed.output.PlayerNamed(side, PlayerOf(feed.game, side));
}

void ReportPlayers(Feed& feed) {
    ReportPlayer(feed, PieceColour::kWhite);
    ReportPlayer(feed, PieceColour::kBlack);
}

// "black" or "white" sent to an engine: that engine has this colour, the other
// engine the other one.
void AssignColour(Feed& feed, int source, PieceColour mine) {
    LiveGame& g = feed.game;
    const bool black = mine == PieceColour::kBlack;
    const PieceColour theirs = Opponent(mine);
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
void PauseAfterResult(Feed& feed) {
    feed.screen.ShowPaused(true);
    long n = std::lround(feed.settings.delayAfterGame / 1000.0);
    if (feed.game.headerSent) {
        auto second = [&feed] { return static_cast<long>(feed.clock.TimeOfDay()); };
        long shown = second();
        long changes = 0;
        for (;;) {
            long now = second();
            if (now != shown) {
                shown = now;
                if (++changes > n) break;
                continue;
            }
            ServeOutputs(feed);
            if (feed.stopRequested()) break;  // ending: no more pause
        }
    }
    feed.screen.ShowPaused(false);
}

// One line on its way through the handlers: its parts, the engine it is about
// (1 first, 2 second, 0 neither) and whether a handler has finished it.
struct LineStep {
    const LineParts& parts;
    int source = 0;
    bool done = false;
};

std::optional<PieceColour> ColourOf(const LiveGame& g, int source) {
    if (source == 1) return g.firstEngineColour;
    if (source == 2) return g.secondEngineColour;
    return std::nullopt;
}

// The GUI started an engine: its command line follows the working-folder note in
// brackets. The first engine started plays White until told otherwise.
void EngineStarted(Feed& feed, LineStep& step) {
    LiveGame& g = feed.game;
    const std::string& workLine = step.parts.workLine;
    // Engine names reach every viewer's terminal: no control character does.
    std::string name = WithoutControls(Mid(workLine, Find(workLine, ")", 17) + 2));
    if (feed.settings.icsMode) g.secondEngine = "Human";
    if (g.firstEngine.empty()) {
        g.firstEngine = g.firstEngineCommand = g.whitePlayer = name;
        g.firstEngineColour = PieceColour::kWhite;
        g.secondEngineColour = PieceColour::kBlack;
        feed.screen.ShowPlayerStarted(PieceColour::kWhite, g.whitePlayer);
        ReportPlayer(feed, PieceColour::kWhite);
        step.done = true;
        return;
    }
    g.secondEngine = g.secondEngineCommand = g.blackPlayer = name;
    feed.screen.ShowPlayerStarted(PieceColour::kBlack, g.blackPlayer);
    ReportPlayer(feed, PieceColour::kBlack);
}

// "feature ... myname="Name"": the engine's own name replaces its command line;
// one of nothing but blanks and control characters names nobody.
void EngineNamed(Feed& feed, LineStep& step) {
    LiveGame& g = feed.game;
    const std::string& workLine = step.parts.workLine;
    std::size_t m = Find(workLine, "myname=");
    std::size_t q1 = Find(workLine, "\"", m);
    std::size_t q2 = q1 ? Find(workLine, "\"", q1 + 1) : 0;
    const std::string given =
        q1 > 0 && q1 < q2 ? Mid(workLine, q1 + 1, q2 - q1 - 1) : std::string();
    if (HasPrintable(given)) {
        const std::string name = WithoutControls(given);
        if (step.source == 1) {
            g.firstEngine = name;
            if (g.firstEngineColour == PieceColour::kWhite) g.whitePlayer = name;
            if (g.firstEngineColour == PieceColour::kBlack) g.blackPlayer = name;
            ReportPlayer(feed, PieceColour::kWhite);
        } else if (step.source == 2) {
            g.secondEngine = name;
            if (g.secondEngineColour == PieceColour::kWhite) g.whitePlayer = name;
            if (g.secondEngineColour == PieceColour::kBlack) g.blackPlayer = name;
            ReportPlayer(feed, PieceColour::kBlack);
        }
    }
    feed.screen.ShowPlayers(feed.game.whitePlayer, feed.game.blackPlayer);
}

void PlaysBlack(Feed& feed, LineStep& step) {
    AssignColour(feed, step.source, PieceColour::kBlack);
    feed.screen.ShowPlayers(feed.game.whitePlayer, feed.game.blackPlayer);
    ReportPlayers(feed);
}

void PlaysWhite(Feed& feed, LineStep& step) {
    AssignColour(feed, step.source, PieceColour::kWhite);
    feed.screen.ShowPlayerStarted(PieceColour::kWhite, feed.game.whitePlayer);
    feed.screen.ShowPlayerStarted(PieceColour::kBlack, feed.game.blackPlayer);
    ReportPlayers(feed);
}

// Both engines are told "new"; after exactly one ply it is the GUI setting up
// the second engine, not a new game, and so it is when the GUI has just given
// the other engine opening moves or a position. A game with a result is over
// whatever its length (an engine can lose on time after one ply).
void NewSent(Feed& feed, LineStep& step) {
    const LiveGame& g = feed.game;
    // A game of a variant not followed has neither moves nor a result here:
    // the first engine's next "new" begins the next game.
    const bool afterUnfollowed = !g.unfollowedVariant.empty() && step.source == 1;
    if (g.resultAnnounced || afterUnfollowed ||
        (g.plyCount != 1 && g.unfollowedVariant.empty() && !NewEngineJoinsGame(feed, step.source)))
        StartNewGame(feed);
}

// "variant NAME": Chess960 ("fischerandom") is followed as the standard game
// is, with its castling; the game of any other variant is not followed at
// all, which the operator is told once.
void PlayChess960(Feed& feed, bool chess960) {
    if (feed.game.chess960 != chess960) feed.output.VariantSet(chess960);
    feed.game.chess960 = chess960;
}

void VariantSent(Feed& feed, LineStep& step) {
    LiveGame& g = feed.game;
    const std::string& name = step.parts.argument;
    if (name == "normal" || name == "fischerandom")
        return PlayChess960(feed, name == "fischerandom");
    const std::string shown = Left(name, 40);
    if (g.unfollowedVariant == shown) return;
    g.unfollowedVariant = shown;
    const std::string notice = "Variant " + shown + " is not followed: the game is not broadcast";
    feed.journal.Write("<" + g.lineStamp + "> " + notice);
    feed.screen.ShowFeedNotice(notice);
}

// "time": the engine's own clock; "otim" follows with its opponent's.
void TimeSent(Feed& feed, LineStep& step) {
    const std::string& workLine = step.parts.workLine;
    std::string value = Mid(workLine, Find(workLine, "time") + 5);
    if (const auto colour = ColourOf(feed.game, step.source)) {
        feed.reader.clockSide = colour;
        feed.reader.clockTime = value;
    }
}

void OtimSent(Feed& feed, LineStep& step) {
    feed.output.ClocksTold(
        ReadClocks(feed.reader.clockSide, feed.reader.clockTime, step.parts.argument),
        feed.game.headerSent);
}

// The thinking output of one engine becomes the pending PV line of its colour
// when the viewers are to get it, and the line for its next move when it is
// a search's.
void NotePv(Feed& feed, const std::string& workLine, std::string_view marker,
            std::optional<PieceColour> colour, bool forViewers) {
    std::string text = Mid(workLine, Find(workLine, marker) + marker.size());
    if (!IsThinkingLine(text) || !colour) return;
    LiveGame& g = feed.game;
    const bool white = *colour == PieceColour::kWhite;
    const std::optional<ThinkingLine> values = ReadThinking(text).values;
    if (values && values->depth > 0) (white ? g.moveWhitePv : g.moveBlackPv) = text;
    if (forViewers) (white ? g.pendingWhitePv : g.pendingBlackPv) = std::move(text);
}

// The engine that sent a move must be the side to move; one of no known colour
// is taken for White.
void MoveSent(Feed& feed, LineStep& step) {
    const PieceColour mover = ColourOf(feed.game, step.source).value_or(PieceColour::kWhite);
    if (mover != feed.chess.sideToMove) return;
    feed.screen.ShowMoveLabel();
    if (!step.parts.argument.empty()) {
        std::string text = step.parts.argument;
        PlayMoveText(feed, text);
        feed.reader.redrawBoard = true;
    }
}

// Whether the GUI refused the game's last move, which its result follows: the
// move came after its mover's flag fell, so the result says that side lost on
// time. XBoard and WinBoard pass every move they accept to the other engine at
// once (a mating move too), so there the refused move is also one not passed
// on; a move not passed on for another reason (the GUI adjudicated right after
// it, or the other engine died) is kept. Where that traffic is not followed
// (ICS mode, Arena) the result alone tells.
bool LastMoveRefused(Feed& feed, const std::string& result) {
    if (!feed.game.beforeLastMove) return false;
    const PieceColour justMoved = Opponent(feed.chess.sideToMove);
    if (LoserOnTime(result) != justMoved) return false;
    return feed.settings.icsMode || feed.reader.arenaLog || EngineMoveNotPassedOn(feed);
}

void ResultSent(Feed& feed, LineStep& step) {
    // "result 1-0 {White mates}": the score and the GUI's words for it.
    const std::string announcement = TrimBlanks(Mid(step.parts.toEngine, 8));
    if (LastMoveRefused(feed, announcement)) {
        // Lines to an engine carry no "<": their stamp is the text before the marker.
        const std::string& workLine = step.parts.workLine;
        const std::size_t marker = FindAfterStart(workLine, ">first :");
        if (feed.game.lineStamp.empty() && marker != 0)
            feed.game.lineStamp = TrimBlanks(Left(workLine, marker - 1));
        TakeBackLastMove(feed);
    }
    // The UDP viewers are told the score word alone, the other outputs the
    // reason too.
    feed.output.ResultAnnounced(ReadResult(step.parts.argument, announcement));
    feed.game.resultAnnounced = true;
    PauseAfterResult(feed);
}

// The engine told to go first has the side to move: White in a game from the
// start, whoever is on move after the GUI's opening moves or position. When
// that is not the colour the engine-start lines gave it (XBoard's tournaments
// start the second engine first in every other game), the viewers are told
// the players again.
void GoSent(Feed& feed, LineStep& step) {
    const LiveGame& g = feed.game;
    const std::string white = g.whitePlayer;
    const std::string black = g.blackPlayer;
    AssignColour(feed, step.source, feed.chess.sideToMove);
    if (g.whitePlayer == white && g.blackPlayer == black) return;
    feed.screen.ShowPlayers(g.whitePlayer, g.blackPlayer);
    ReportPlayers(feed);
}

void LevelSent(Feed& feed, LineStep& step) {
    const std::string& workLine = step.parts.workLine;
    feed.game.level = ReadLevel(Mid(workLine, Find(workLine, "level")));
    feed.output.LevelSet(feed.game.level);
}

// A fixed time a move: the browsers' level, nothing the UDP viewers are told.
void SearchTimeSent(Feed& feed, LineStep& step) {
    const Level level = ReadLevel(TrimBlanks(step.parts.toEngine));
    if (level.secondsPerMove) feed.output.LevelSet(level);
}

void QuitSent(Feed& feed, LineStep& step) {
    LiveGame& g = feed.game;
    if (step.source == 1) {
        g.firstEngine.clear();
        if (g.firstEngineColour == PieceColour::kWhite) g.whitePlayer.clear();
        if (g.firstEngineColour == PieceColour::kBlack) g.blackPlayer.clear();
    } else if (step.source == 2) {
        g.secondEngine.clear();
        if (g.secondEngineColour == PieceColour::kWhite) g.whitePlayer.clear();
        if (g.secondEngineColour == PieceColour::kBlack) g.blackPlayer.clear();
    }
}

bool CommandIs(const LineStep& step, std::string_view command) {
    return step.parts.commandWord == command;
}

// The handlers of a WinBoard line, in the order they are tried. They do not
// exclude each other: more than one may act on a line, each seeing what the
// ones before it changed, and one that finishes the line stops the rest.
struct LineHandler {
    bool (*matches)(Feed& feed, const LineStep& step);
    void (*act)(Feed& feed, LineStep& step);
};

constexpr LineHandler kLineHandlers[] = {
    {[](Feed&, const LineStep& s) { return StartsWith(s.parts.workLine, "StartChildProcess"); },
     EngineStarted},
    {[](Feed&, const LineStep& s) { return Find(s.parts.workLine, "myname=") != 0; }, EngineNamed},
    {[](Feed&, const LineStep& s) { return CommandIs(s, "black"); }, PlaysBlack},
    {[](Feed&, const LineStep& s) { return CommandIs(s, "white"); }, PlaysWhite},
    {[](Feed&, const LineStep& s) { return CommandIs(s, "new"); }, NewSent},
    {[](Feed&, const LineStep& s) { return CommandIs(s, "variant"); }, VariantSent},
    // A UCI engine is told Chess960 by its option (Arena, and an XBoard
    // adapter's own log).
    {[](Feed&, const LineStep& s) {
         return CommandIs(s, "setoption") && Contains(s.parts.toEngine, "name UCI_Chess960 value ");
     },
     [](Feed& feed, LineStep& s) {
         PlayChess960(feed, Contains(s.parts.toEngine, "name UCI_Chess960 value true"));
     }},
    {[](Feed&, const LineStep& s) { return CommandIs(s, "time"); }, TimeSent},
    {[](Feed&, const LineStep& s) { return CommandIs(s, "otim"); }, OtimSent},
    // The viewers get the first engine's thinking only once they follow live,
    // the second engine's during a catch-up too.
    {[](Feed&, const LineStep& s) {
         return s.source == 1 && Contains(s.parts.workLine, "<first :");
     },
     [](Feed& feed, LineStep& s) {
         NotePv(feed, s.parts.workLine, "<first : ", feed.game.firstEngineColour,
                feed.game.headerSent);
     }},
    {[](Feed&, const LineStep& s) {
         return s.source == 2 && Contains(s.parts.workLine, "<second:");
     },
     [](Feed& feed, LineStep& s) {
         NotePv(feed, s.parts.workLine, "<second: ", feed.game.secondEngineColour, true);
     }},
    {[](Feed&, const LineStep& s) { return s.parts.outputWord == "move"; }, MoveSent},
    {[](Feed&, const LineStep& s) { return CommandIs(s, "result") && s.source == 1; }, ResultSent},
    {[](Feed& v, const LineStep& s) {
         return CommandIs(s, "go") && (v.game.gameNotStarted || FirstGoOfGuiGame(v));
     },
     GoSent},
    {[](Feed&, const LineStep& s) { return CommandIs(s, "level") && s.source == 1; }, LevelSent},
    {[](Feed&, const LineStep& s) { return CommandIs(s, "st") && s.source == 1; }, SearchTimeSent},
    {[](Feed&, const LineStep& s) { return CommandIs(s, "quit"); }, QuitSent},
};

// Everything from the extra network pass on (also used for the lines that ICS
// mode makes up).
void HandleParts(Feed& feed, const LineParts& parts) {
    // Lines of this read are still waiting: the viewers are answered without
    // a wait (the main loop waits once the read is done).
    if (feed.game.headerSent && ++feed.reader.linesSinceService > 10) {
        ServeOutputs(feed, 0);
        feed.reader.linesSinceService = 0;
    }
    LineStep step{parts};
    if (Contains(parts.workLine, "first :")) step.source = 1;
    if (Contains(parts.workLine, "second:")) step.source = 2;
    // A game of a variant not followed: only a new game or its variant count.
    if (!feed.game.unfollowedVariant.empty() && !CommandIs(step, "new") &&
        !CommandIs(step, "variant"))
        return;
    for (const LineHandler& handler : kLineHandlers) {
        if (step.done) break;
        if (handler.matches(feed, step)) handler.act(feed, step);
    }
}

constexpr std::string_view kIcsCommands =
    "force,quit,new,post,hard,easy,xboard,black,white,ping,go,computer,ics";

// ICS mode: the GUI relays the human opponent to the one engine. Returns true
// when the line was replaced by made-up lines (and so is done).
bool HandleIcsLine(Feed& feed, LineParts& parts) {
    std::size_t p = FindAfterStart(parts.workLine, ">first :");
    if (!feed.settings.icsMode || p == 0) return false;
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
    if (feed.game.plyCount == 0) HandleParts(feed, CutLine("0000 >first : black"));
    HandleParts(feed, CutLine("0000 <second: move " + move));
    return true;
}

// One line in WinBoard's shapes (Arena's are translated first).
void ProcessWinBoardLine(Feed& feed, const std::string& line) {
    LiveGame& g = feed.game;
    if (!feed.reader.arenaLog) feed.reader.arenaLog = HasArenaMarker(line);
    std::string lineText = TidyEngineLine(TranslateArenaLine(line));
    LineParts parts = CutLine(lineText + " ");

    // A comment sent to an engine.
    if (!parts.toEngine.empty() && parts.toEngine.front() == '#') return;

    if (lineText.empty()) {
        if (feed.clock.Monotonic() - feed.reader.lastServiceTime > 1.0) ServeOutputs(feed);
        return;
    }

    g.lineStamp.clear();
    std::size_t lt = Find(lineText, "<");
    if (lt > 1) g.lineStamp = TrimBlanks(Left(lineText, lt - 1));

    // The GUI writes the marker again after "usermove"; keep the move text.
    if (std::size_t p = Find(parts.workLine, ": usermove"); p > 1)
        parts.workLine = Mid(parts.workLine, p + 11);

    if (feed.settings.saveDebug) AppendLine(feed.File("debug.tmp"), parts.workLine);

    // Old-style engine output: "1. ... e7e5" is the move e7e5. Thinking output
    // whose variation starts with Black's move ("1 -13 0 46 3. ... c6 4. Nxd5")
    // has the same dots and is no move.
    if (std::size_t p = Find(parts.fromEngine, " ... ");
        p > 1 && !IsThinkingLine(parts.fromEngine)) {
        std::string after = Mid(parts.fromEngine, p + 5);
        parts.argument = Left(after, after.empty() ? 0 : after.size() - 1);
        parts.outputWord = "move";
    }

    if (HandleIcsLine(feed, parts)) return;
    // Moves and positions the GUI gives the engines itself (opening books,
    // position files, UCI "position" lines), around the line's own handlers.
    const GuiLineNote gui = FollowGuiTraffic(feed, lineText);
    HandleParts(feed, parts);
    FinishGuiTraffic(feed, gui);
}

// The WinBoard, XBoard and Arena markers: a log of one of these GUIs.
bool HasGuiMarker(std::string_view line) {
    return Contains(line, "first :") || Contains(line, "second:") || HasArenaMarker(line);
}

}  // namespace

void ProcessLogLine(Feed& feed, const std::string& line) {
    FeedState& reader = feed.reader;
    if (!reader.dialect) {
        if (feed.settings.logDialect) {
            reader.dialect = feed.settings.logDialect;
        } else if (const auto runner = RunnerDialectOf(line)) {
            reader.dialect = runner;
        } else if (HasGuiMarker(line)) {
            reader.dialect = LogDialect::kWinBoard;
        }
    }
    if (!reader.dialect || *reader.dialect == LogDialect::kWinBoard)
        return ProcessWinBoardLine(feed, line);
    if (!reader.runnerLog) reader.runnerLog.emplace(*reader.dialect);
    const RunnerTranslation translation = reader.runnerLog->Translate(line);
    if (!translation.notice.empty()) {
        if (translation.noticeLogged)
            feed.journal.Write("<" + feed.game.lineStamp + "> " + translation.notice);
        feed.screen.ShowFeedNotice(translation.notice);
    }
    if (translation.lines.empty()) {
        if (feed.clock.Monotonic() - reader.lastServiceTime > 1.0) ServeOutputs(feed);
        return;
    }
    for (const std::string& winboard : translation.lines)
        ProcessWinBoardLine(feed, winboard);
}

}  // namespace lantrel
