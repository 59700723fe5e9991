// Moves and positions the GUI gives its engines itself: opening moves from a
// book or opening file, "setboard" positions from a position file, and the UCI
// "position startpos|fen ... moves ..." lines of GUIs such as Arena.
//
// Engine tournaments start their games this way, and no engine announces those
// moves. The GUI also relays every move to the other engine, in the same
// shapes, so a move sent to an engine is played only when it extends the game:
// each engine has a count of the moves it has been given or has played since
// its "new" or setboard, and a move is new only when that count equals the
// server's plyCount. A lower count means a relay, which is counted and nothing
// else; it is never played twice and never a move error.
#pragma once

#include <cstdint>
#include <string>

#include "chess/board.h"

namespace lantrel {

struct Feed;

// What FollowGuiTraffic saw of a line, handed on to FinishGuiTraffic.
struct GuiLineNote {
    bool followed = false;      // GUI traffic is followed (not in ICS mode)
    std::int32_t plyCount = 0;  // plyCount after the GUI's own moves of the line
    int toEngine = 0;           // 1 or 2: the GUI talks to that engine on this line
    int fromEngine = 0;         // 1 or 2: that engine talks to the GUI
    std::string command;        // first word of the text sent to the engine
};

// Before the line's other handlers: plays the moves the GUI sends an engine
// when they extend the game (a relay of a move already played is only counted),
// sets up "setboard" positions, keeps a UCI "position" line for its "go", and
// ignores the piece lines of an old-style "edit" set-up. `lineText` is the
// translated and tidied line. Nothing happens in ICS mode, which has its own rule.
GuiLineNote FollowGuiTraffic(Feed& feed, const std::string& lineText);

// After the line's other handlers: notes a new game, "new" and "go" sent to an
// engine, and the count of an engine whose own move was accepted.
void FinishGuiTraffic(Feed& feed, const GuiLineNote& note);

// True when "new" sent to engine `source` (1 or 2) only brings that engine into
// a game the GUI is setting up with the other engine (opening moves or a
// position given, no engine move yet): then it starts no new game.
bool NewEngineJoinsGame(Feed& feed, int source);

// True when no engine has been told "go" nor has moved yet in a game whose
// moves so far all came from the GUI: the engine told to go now has the side
// to move.
bool FirstGoOfGuiGame(Feed& feed);

// True when the game's last move is an engine's own move that the GUI has not
// passed to the other engine (XBoard and WinBoard pass every move they accept
// at once). Never true in ICS mode, where the GUI's traffic is not followed.
bool EngineMoveNotPassedOn(Feed& feed);

// A position from the GUI replaces the game: plyCount 0, the board repainted,
// the FEN written and broadcast as at a new game.
void StartFromPosition(Feed& feed, const Board& position);

}  // namespace lantrel
