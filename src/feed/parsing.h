// Pure routines of the log parsers: no state, no I/O.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "events/game_events.h"
#include "events/game_output.h"

namespace lantrel {

// Rewrites one line of Arena's debug log into WinBoard's shapes (engine markers,
// "Found move:" lines, UCI "info" output, "ucinewgame", "id name", engine start
// notes). A WinBoard line comes back unchanged; an empty result drops the line.
std::string TranslateArenaLine(std::string_view line);

// Tabs become blanks, and the blanks right after "<first : " or "<second: " go.
std::string TidyEngineLine(std::string_view line);

// True when the line carries one of Arena's engine markers ("-->1:", "<2:"...).
bool HasArenaMarker(std::string_view line);

struct EngineTraffic {
    std::string toEngine;    // what the GUI sent to an engine
    std::string fromEngine;  // what an engine sent to the GUI
};

// Finds the engine markers (">first :", ">second:", "<first :", "<second:")
// after the start of the line and takes the text that follows each.
EngineTraffic SplitEngineTraffic(std::string_view workLine);

// True when the text has the shape of xboard thinking output: depth, score,
// time and nodes as numbers (signs, ".", ":" and "&" allowed), then more.
bool IsThinkingLine(std::string_view text);

// The side a GUI's result says lost on time: "1-0 {Black loses on time}",
// XBoard's "0-1 {Black wins on time}", a chess server's "{White forfeits on
// time}"; the score names the loser. Nothing for any other result.
std::optional<PieceColour> LoserOnTime(std::string_view result);

// ---- The game events' values, read from the GUI's texts (event_readers.cpp) ----

// "time" and "otim" told to the engine of colour `side`: the texts as the GUI
// wrote them, each read as a number once its blanks are trimmed.
ClockReading ReadClocks(std::optional<PieceColour> side, std::string ownText,
                        std::string opponentText);

// "level MPS BASE INC" as the GUI sent it: its time control when the keyword
// and all three numbers can be read. "st SECONDS": a fixed time a move.
Level ReadLevel(std::string text);

// The result the GUI sends its engines ("result 1-0 {White mates}"): `word`
// is the word after "result" as the GUI wrote it; the score and the reason are
// read from `announcement`, the result with its reason.
GameResult ReadResult(std::string word, std::string_view announcement);

// True when the name has a character to read: a byte other than a blank, a
// control character (C0) or DEL.
bool HasPrintable(std::string_view name);

// The readable name of the program a GUI's engine command line starts: its
// file name without folders, extension or options ("C:\Engines\Rybka4.exe -x"
// gives "Rybka4", "gnuchess --xboard" "gnuchess"), and behind an adapter that
// runs a UCI engine for an XBoard GUI (polyglot, UCI2WB) the engine's
// ("polyglot -noini -ec \"glaurung\" -ed ." gives "glaurung"). Empty when the
// line has no printable word.
std::string ProgramName(std::string_view commandLine);

// An engine's thinking line: the four numbers, then the PV after any further
// numbers. Numbers may carry a sign ("+18"); words end at blanks and tabs.
EngineThinking ReadThinking(std::string_view line);

}  // namespace lantrel
