// The moves and positions a GUI gives its engines itself (see gui_moves.h).
#include "feed/gui_moves.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "chess/fen.h"
#include "chess/move_query.h"
#include "feed/feed.h"
#include "text/text.h"

namespace lantrel {

namespace {

const char* EngineName(int engine) {
    return engine == 1 ? "first" : "second";
}

// Moves engine `engine` has had in the current game; a count from an earlier
// game means none yet.
std::int32_t MovesOf(const GuiGame& record, int engine) {
    const EngineFeed& engineFeed = record.engines[engine];
    return engineFeed.gameId == record.gameId ? engineFeed.moves : 0;
}

void SetMovesOf(GuiGame& record, int engine, std::int32_t moves) {
    record.engines[engine].gameId = record.gameId;
    record.engines[engine].moves = moves;
}

// A position as the record keeps it: the FEN text viewers see, then the square
// the side to move can take on en passant, or "-". So two set-ups are the same
// position only with the same castling rights and the same capture en
// passant; an en-passant square that no pawn can take on is no right at all.
std::string PositionKey(const Board& board) {
    const std::string fen = FenText(board);
    if (board.cells[kEnPassantCell] == 0) return fen + " -";
    Board scratch = board;
    MoveList moves;
    GenerateMoves(scratch, moves, board.sideToMove, false);
    for (int n = 1; n <= moves.count; ++n) {
        if (moves[n].kind == kEnPassant) return fen + " " + SquareName(moves[n].to);
    }
    return fen + " -";
}

// The placement and the side to move of a position key: all that an "edit"
// set-up tells.
std::string_view PlacementAndSide(std::string_view key) {
    return key.substr(0, key.find(' ') + 2);
}

// A fresh record for a game that starts at `position` (a PositionKey).
void RestartRecord(GuiGame& record, const std::string& position, bool fromPosition) {
    record.gameId += 1;
    record.moves.clear();
    record.positions.assign(1, position);
    record.fromPosition = fromPosition;
    record.startGuessed = false;
    record.engineMoved = false;
    record.goSeen = false;
    record.lastMover = 0;
}

// Brings the record up to the game the server follows: a new game begun by
// StartNewGame, the move just played (the last one made on the board is in
// undo slot 1) and the move just taken back. A game that moved on unseen (ICS
// mode, which keeps its own rule) leaves its earlier moves unknown.
void SyncRecord(Feed& feed) {
    const LiveGame& game = feed.game;
    GuiGame& record = feed.game.guiGame;
    ChessState& chess = feed.chess;
    if (record.gameNumber != game.gameNumber) {
        record.gameNumber = game.gameNumber;
        RestartRecord(record, PositionKey(chess), false);
    }
    const auto plies = static_cast<std::size_t>(game.plyCount);
    if (plies == record.moves.size()) return;
    if (plies == record.moves.size() + 1) {
        const UndoRecord& last = chess.undoStack[1];
        MoveRecord move{last.from, last.to, last.kind, 0};
        // UCI writes Chess960 castling as the king taking its own rook.
        if (game.chess960 && (move.kind == kCastleKingSide || move.kind == kCastleQueenSide))
            move.to = CastlingRookSquare(
                chess.cells,
                WingOf(chess.sideToMove == PieceColour::kBlack, move.kind == kCastleKingSide));
        record.moves.push_back(UciMoveText(move));
        record.positions.push_back(PositionKey(chess));
        return;
    }
    if (plies + 1 == record.moves.size()) {
        record.moves.pop_back();
        record.positions.pop_back();
        record.lastMover = 0;
        return;
    }
    record.moves.assign(plies, "");
    record.positions.assign(plies + 1, "");
    record.positions[plies] = PositionKey(chess);
}

// The GUI's time stamp in front of the marker of a line sent to an engine.
std::string StampBefore(const std::string& line, std::size_t marker) {
    return TrimBlanks(Left(line, marker - 1));
}

// Plays a move the GUI gave an engine, when it is legal here (pausing as
// PlayMoveText does). Returns true when it was played. An illegal one is noted
// in server.log, never counted as a move error.
bool PlayGuiMove(Feed& feed, int engine, const std::string& text, bool pauseWhenLive) {
    LiveGame& game = feed.game;
    const std::string note =
        "<" + game.lineStamp + "> GUI move " + text + " to " + EngineName(engine) + " engine";
    if (!IsLegalMoveText(feed.chess, text)) {
        feed.journal.Write(note + " is not legal here: ignored");
        return false;
    }
    feed.journal.Write(note);
    feed.screen.ShowMoveLabel();
    const std::int32_t before = game.plyCount;
    std::string move = text;
    PlayMoveText(feed, move, pauseWhenLive);
    feed.reader.redrawBoard = true;
    SyncRecord(feed);
    if (game.plyCount != before + 1) return false;
    game.guiGame.lastMover = 0;
    return true;
}

// A one-word move sent to an engine: new when the engine has had every move of
// the game, a relay when it is behind.
void HandleGuiMove(Feed& feed, int engine, const std::string& text) {
    GuiGame& record = feed.game.guiGame;
    const std::int32_t plies = feed.game.plyCount;
    const std::int32_t had = MovesOf(record, engine);
    if (had < plies) {
        SetMovesOf(record, engine, had + 1);  // the relay of a move already played
        return;
    }
    if (had > plies) return;  // the engine is ahead of the server: nothing to add
    // "a2a3" right before "edit" is how the protocol sets up a position with
    // Black to move: held until the next line shows whether "edit" follows.
    if (text == "a2a3") {
        record.engines[engine].heldMove = text;
        return;
    }
    if (PlayGuiMove(feed, engine, text, true)) SetMovesOf(record, engine, feed.game.plyCount);
}

// A held "a2a3" is dropped when "edit" to the same engine follows, and played
// as an ordinary move before any other engine traffic.
void PlayHeldMoves(Feed& feed, const GuiLineNote& note) {
    GuiGame& record = feed.game.guiGame;
    for (int engine = 1; engine <= 2; ++engine) {
        EngineFeed& engineFeed = record.engines[engine];
        if (engineFeed.heldMove.empty()) continue;
        const std::string move = std::move(engineFeed.heldMove);
        engineFeed.heldMove.clear();
        if (note.toEngine == engine && note.command == "edit") continue;
        if (MovesOf(record, engine) == feed.game.plyCount && PlayGuiMove(feed, engine, move, true))
            SetMovesOf(record, engine, feed.game.plyCount);
    }
}

// First ply k of the game whose position is `position` (a PositionKey), or -1.
// With `placementOnly` only the placement and the side to move must agree.
int PlyOfPosition(const GuiGame& record, const std::string& position, std::int32_t plies,
                  bool placementOnly) {
    for (int k = 0; k <= plies && k < static_cast<int>(record.positions.size()); ++k) {
        const std::string& known = record.positions[k];
        if (placementOnly ? PlacementAndSide(known) == PlacementAndSide(position)
                          : known == position)
            return k;
    }
    return -1;
}

// The true castling rights and en-passant square for a start whose rights an
// "edit" set-up left to guessing: the game, its record and every engine's
// count stay; viewers are told when the position text changed.
void CorrectGuessedStart(Feed& feed, const Board& position) {
    ChessState& chess = feed.chess;
    GuiGame& record = feed.game.guiGame;
    const std::string guessed = FenText(chess);
    static_cast<Board&>(chess) = position;
    chess.searchPly = 1;
    record.positions[0] = PositionKey(chess);
    record.startGuessed = false;
    if (FenText(chess) != guessed) {
        WriteFen(feed);
        feed.output.PositionSet(feed.game.fen);
    }
    feed.output.StartPositionInFull(FullFenText(chess, 1));
}

// A position the GUI set up for an engine: by "setboard" (`edited` false),
// with its castling rights and en-passant square, or by an "edit" set-up,
// which has neither. The position of a game the server follows already (the
// GUI bringing another engine to it) only sets that engine's count: an edited
// one when its pieces and side to move agree, a setboard one only when its
// rights and en passant agree too. Fairy-Max and other engines without
// setboard get "edit" while their opponent gets "setboard", in either order:
// the setboard position is the true one. It corrects the guessed rights of a
// start set up by "edit" before the game's first move, and an "edit" never
// replaces it. Any other position starts the game anew from it.
void HandleSetBoard(Feed& feed, int engine, const std::string& fen, bool edited) {
    GuiGame& record = feed.game.guiGame;
    const FenReading reading = ReadFen(fen, feed.game.chess960);
    if (!reading.ok()) {
        feed.journal.Write("<" + feed.game.lineStamp + "> Bad FEN from the GUI (" + reading.error +
                           "), position kept: " + (edited ? "edit " : "setboard ") + fen);
        return;
    }
    const std::string key = PositionKey(reading.board);
    const int ply = PlyOfPosition(record, key, feed.game.plyCount, edited);
    if (ply >= 0) {
        SetMovesOf(record, engine, ply);
        if (ply == 0 && !edited) record.startGuessed = false;
        return;
    }
    feed.journal.Write("<" + feed.game.lineStamp + "> GUI position " + fen + " to " +
                       EngineName(engine) + " engine");
    if (!edited && record.startGuessed && feed.game.plyCount == 0 &&
        PlacementAndSide(record.positions[0]) == PlacementAndSide(key)) {
        CorrectGuessedStart(feed, reading.board);
    } else {
        StartFromPosition(feed, reading.board);
        record.startGuessed = edited;
    }
    SetMovesOf(record, engine, 0);
}

// One line of an old-style "edit" set-up: "Pe4" places a piece of the current
// colour, "xe4" empties the square, "c" switches the colour.
void EditSquare(EngineFeed& engineFeed, const std::string& text) {
    if (text == "c") {
        engineFeed.editWhite = !engineFeed.editWhite;
        return;
    }
    if (text.size() != 3 || text[1] < 'a' || text[1] > 'h' || text[2] < '1' || text[2] > '8')
        return;
    const std::size_t square = static_cast<std::size_t>(('8' - text[2]) * 8 + (text[1] - 'a'));
    if (text[0] == 'x') {
        engineFeed.editSquares[square] = ' ';
    } else if (std::string_view("PNBRQK").find(text[0]) != std::string_view::npos) {
        engineFeed.editSquares[square] =
            engineFeed.editWhite ? text[0] : static_cast<char>(text[0] | 0x20);
    }
}

// The end of an "edit" set-up (".") as a FEN: the side to move is White, or
// Black when the GUI first gave the engine a move (the protocol's way of
// setting up a position with Black to move); castling is allowed where king
// and rook stand at home, as the engine itself assumes, and no capture en
// passant. Only a setboard to the other engine can tell the true rights.
std::string EditedFen(const EngineFeed& engineFeed) {
    std::string placement;
    for (int row = 0; row < 8; ++row) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const char c = engineFeed.editSquares[static_cast<std::size_t>(row * 8 + file)];
            if (c == ' ') {
                ++empty;
                continue;
            }
            if (empty > 0) placement += static_cast<char>('0' + empty);
            empty = 0;
            placement += c;
        }
        if (empty > 0) placement += static_cast<char>('0' + empty);
        if (row < 7) placement += '/';
    }
    return placement + (engineFeed.movedSinceNew ? " b" : " w") + " KQkq - 0 1";
}

bool IsUciMove(const std::string& word) {
    auto file = [](char c) { return c >= 'a' && c <= 'h'; };
    auto rank = [](char c) { return c >= '1' && c <= '8'; };
    if (word.size() != 4 && word.size() != 5) return false;
    if (!file(word[0]) || !rank(word[1]) || !file(word[2]) || !rank(word[3])) return false;
    return word.size() == 4 || std::string("qrbn").find(word[4]) != std::string::npos;
}

// UCI "position startpos|fen FEN [moves m1 m2 ...]": moves that extend the
// game are played; a line that starts elsewhere starts the game anew there.
void HandlePositionLine(Feed& feed, int engine, const std::string& line) {
    LiveGame& game = feed.game;
    GuiGame& record = game.guiGame;
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    auto bad = [&](const std::string& why) {
        feed.journal.Write("<" + game.lineStamp + "> Bad position line from the GUI (" + why +
                           "), position kept: " + line);
    };

    std::size_t at = 2;
    Board start;  // the standard start position
    if (words.size() >= 2 && words[1] == "fen") {
        std::string fen;
        for (; at < words.size() && words[at] != "moves"; ++at)
            fen += (fen.empty() ? "" : " ") + words[at];
        const FenReading reading = ReadFen(fen, game.chess960);
        if (!reading.ok()) return bad(reading.error);
        start = reading.board;
    } else if (words.size() < 2 || words[1] != "startpos") {
        return bad("neither startpos nor fen");
    }
    std::vector<std::string> moves;
    if (at < words.size()) {
        if (words[at] != "moves") return bad("'" + words[at] + "' where moves belong");
        moves.assign(words.begin() + static_cast<std::ptrdiff_t>(at) + 1, words.end());
    }
    for (std::string& move : moves) {
        for (char& c : move)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);  // e7e8Q as e7e8q
        if (!IsUciMove(move)) return bad("'" + move + "' is no move");
    }

    // Where the line's game meets the server's: its start is the position of
    // some ply k, and from there its moves and the server's agree.
    const std::int32_t plies = game.plyCount;
    const std::string startKey = PositionKey(start);
    int meet = -1;
    for (int k = 0; k <= plies && k < static_cast<int>(record.positions.size()); ++k) {
        if (record.positions[k] != startKey) continue;
        bool agree = true;
        for (std::size_t i = 0;
             agree && k + i < static_cast<std::size_t>(plies) && i < moves.size(); ++i) {
            agree = record.moves[k + i] == moves[i];
        }
        if (agree) {
            meet = k;
            break;
        }
    }
    std::size_t next = 0;  // first move of the line not played yet
    if (meet >= 0) {
        next = static_cast<std::size_t>(plies - meet);
    } else {
        feed.journal.Write("<" + game.lineStamp + "> GUI position " +
                           (words[1] == "fen" ? FenText(start) : std::string("startpos")) + " to " +
                           EngineName(engine) + " engine");
        StartFromPosition(feed, start);
        meet = 0;
    }
    // The moves the server has not seen are played without the pause after
    // each: a line that disagrees with the game can hold a whole game's moves,
    // and pausing for each would hold up the server as long (80 plies at the
    // default pause: 24 seconds). Viewers get the same messages.
    for (; next < moves.size(); ++next) {
        if (!PlayGuiMove(feed, engine, moves[next], false)) break;
    }
    SetMovesOf(
        record, engine,
        std::min<std::int32_t>(meet + static_cast<std::int32_t>(moves.size()), game.plyCount));
}

bool HasWord(const std::string& text, std::string_view word) {
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        if (w == word) return true;
    }
    return false;
}

}  // namespace

void StartFromPosition(Feed& feed, const Board& position) {
    LiveGame& game = feed.game;
    ChessState& chess = feed.chess;
    static_cast<Board&>(chess) = position;
    chess.searchPly = 1;
    game.gameNotStarted = true;
    game.plyCount = 0;
    game.beforeLastMove.reset();
    feed.screen.RepaintBoard();
    feed.screen.DrawBoard(feed.chess.cells);
    WriteFen(feed);
    feed.output.PositionSet(game.fen);
    feed.output.StartPositionInFull(FullFenText(chess, 1));
    RestartRecord(game.guiGame, PositionKey(chess), true);
}

GuiLineNote FollowGuiTraffic(Feed& feed, const std::string& lineText) {
    GuiLineNote note;
    LiveGame& game = feed.game;
    if (feed.settings.icsMode) return note;
    note.followed = true;
    SyncRecord(feed);
    note.plyCount = game.plyCount;

    // The marker that comes first says who talks to whom.
    struct Marker {
        std::string_view text;
        int toEngine, fromEngine;
    };
    const Marker markers[] = {
        {">first :", 1, 0}, {">second:", 2, 0}, {"<first :", 0, 1}, {"<second:", 0, 2}};
    std::size_t first = 0;
    const Marker* found = nullptr;
    for (const Marker& m : markers) {
        const std::size_t p = FindAfterStart(lineText, m.text);
        if (p > 0 && (first == 0 || p < first)) {
            first = p;
            found = &m;
        }
    }
    if (found == nullptr) return note;
    note.fromEngine = found->fromEngine;
    note.toEngine = found->toEngine;
    // Most lines are engine output: the text is cut out only for lines to an engine.
    std::string text = note.toEngine != 0 ? TrimBlanks(Mid(lineText, first + 9)) : std::string();
    if (note.toEngine != 0) note.command = GetWord(text, 1);
    PlayHeldMoves(feed, note);
    note.plyCount = game.plyCount;
    if (note.toEngine == 0) return note;

    const int engine = note.toEngine;
    EngineFeed& engineFeed = game.guiGame.engines[engine];
    // "usermove e2e4", which XBoard logs as "usermove 767 >second: e2e4": the
    // move is the last word.
    if (note.command == "usermove")
        text = GetWord(text, 2).empty() ? "" : Mid(text, text.rfind(' ') + 2);
    // Lines sent to an engine carry no "<", so they have no stamp yet.
    if (game.lineStamp.empty()) game.lineStamp = StampBefore(lineText, first);

    // Old-style set-up for engines without setboard: "edit", "#" (clear the
    // board; a comment line, never seen here), one line per piece ("Nf3",
    // "Pe4"), "c" for the other colour, "." at the end.
    if (engineFeed.editing) {
        if (text == ".") {
            engineFeed.editing = false;
            HandleSetBoard(feed, engine, EditedFen(engineFeed), true);
        } else {
            EditSquare(engineFeed, text);
        }
        note.plyCount = game.plyCount;
        return note;
    }
    if (note.command == "edit") {
        engineFeed.editing = true;
        engineFeed.editWhite = true;
        engineFeed.editSquares.assign(64, ' ');
    } else if (note.command == "setboard") {
        HandleSetBoard(feed, engine, TrimBlanks(Mid(text, 9)), false);
    } else if (note.command == "position") {
        // Played at its "go", so that a ponder position ("go ponder") with the
        // move the engine expects is never taken for the game.
        engineFeed.pendingPosition = text;
    } else if (note.command == "go") {
        if (!engineFeed.pendingPosition.empty() && !HasWord(text, "ponder")) {
            HandlePositionLine(feed, engine, engineFeed.pendingPosition);
        }
        engineFeed.pendingPosition.clear();
    } else if (!Contains(text, " ") && LooksLikeMoveText(text)) {
        engineFeed.movedSinceNew = true;
        HandleGuiMove(feed, engine, text);
    }
    note.plyCount = game.plyCount;
    return note;
}

void FinishGuiTraffic(Feed& feed, const GuiLineNote& note) {
    if (!note.followed) return;
    LiveGame& game = feed.game;
    GuiGame& record = game.guiGame;
    const bool newGame = record.gameNumber != game.gameNumber;
    SyncRecord(feed);
    if (note.toEngine != 0) {
        EngineFeed& engineFeed = record.engines[note.toEngine];
        if (note.command == "new") {
            SetMovesOf(record, note.toEngine, 0);
            engineFeed.movedSinceNew = false;
            engineFeed.editing = false;
            engineFeed.pendingPosition.clear();
        } else if (note.command == "go") {
            record.goSeen = true;
        } else if (note.command == "quit") {
            engineFeed = EngineFeed{};
        }
    }
    // An engine's own move was accepted: it knows the whole game.
    if (note.fromEngine != 0 && !newGame && game.plyCount == note.plyCount + 1) {
        SetMovesOf(record, note.fromEngine, game.plyCount);
        record.engineMoved = true;
        record.lastMover = note.fromEngine;
    }
}

bool EngineMoveNotPassedOn(Feed& feed) {
    SyncRecord(feed);
    const GuiGame& record = feed.game.guiGame;
    if (record.lastMover == 0) return false;
    return MovesOf(record, 3 - record.lastMover) < feed.game.plyCount;
}

bool NewEngineJoinsGame(Feed& feed, int source) {
    if (feed.settings.icsMode || source < 1 || source > 2) return false;
    SyncRecord(feed);
    const GuiGame& record = feed.game.guiGame;
    if (record.engineMoved) return false;
    if (!record.fromPosition && feed.game.plyCount < 2) return false;
    // Moves it never saw (played while ICS mode was on): not a game the GUI set up.
    if (std::find(record.moves.begin(), record.moves.end(), "") != record.moves.end()) return false;
    return record.engines[source].gameId != record.gameId;
}

bool FirstGoOfGuiGame(Feed& feed) {
    if (feed.settings.icsMode) return false;
    SyncRecord(feed);
    const GuiGame& record = feed.game.guiGame;
    return !record.engineMoved && !record.goSeen;
}

}  // namespace lantrel
