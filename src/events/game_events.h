// The values game events carry: what the feed read from the GUI's texts, read
// once, so that no output reads them again. Each keeps the GUI's text beside
// its values, because the UDP viewers are sent those very bytes. A value that
// could not be read is absent (std::nullopt).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "chess/colour.h"

namespace lantrel {

// A player as the feed names it. `text` is what the GUI gave: the engine's own
// name, or until it names itself the command line the GUI started it with
// (the UDP viewers get these bytes). `shown` is what people read on the
// other outputs: the engine's own name, or its program's name from that
// command line ("glaurung" of "polyglot -noini -ec glaurung ..."); empty when
// neither has a printable character.
struct PlayerName {
    std::string text;
    std::string shown;
    bool operator==(const PlayerName&) const = default;
};

// The clocks the GUI gives the engine on move: "time" (its own) and "otim"
// (its opponent's), in centiseconds; below zero once a flag fell and play went on.
struct ClockReading {
    std::optional<PieceColour> side;  // the engine's colour; unknown before the colours are
    std::string ownText;              // the rest of the "time" line, as the GUI wrote it
    std::string opponentText;         // the word after "otim"
    std::optional<std::int64_t> own;
    std::optional<std::int64_t> opponent;
};

// The numbers of an engine's thinking line: depth, score (centipawns from the
// engine's point of view), time (centiseconds), nodes, then the PV. Numbers an
// engine adds between the nodes and the PV (selective depth, speed, table-base
// hits) are passed over.
struct ThinkingLine {
    std::int32_t depth = 0;
    std::int64_t score = 0;
    std::int64_t centiseconds = 0;
    std::int64_t nodes = 0;
    std::string pv;
    bool operator==(const ThinkingLine&) const = default;
};

struct EngineThinking {
    std::string text;                    // the line as the engine wrote it
    std::optional<ThinkingLine> values;  // absent when it does not start with four numbers
};

// "level MPS BASE INC": moves per session (0: the whole game), the base time
// ("5" minutes or "0:30" minutes and seconds) and the increment in seconds.
struct TimeControl {
    std::int32_t movesPerSession = 0;
    std::int64_t baseSeconds = 0;
    std::int32_t increment = 0;
    bool operator==(const TimeControl&) const = default;
};

struct Level {
    std::string text;                    // "level 40 5 0" as the GUI sent it; empty before one
    std::optional<TimeControl> control;  // absent when one of its numbers cannot be read
    // "st 1": a fixed time a move, in seconds, instead of a level. The UDP
    // viewers are told the GUI's level commands only.
    std::optional<std::int32_t> secondsPerMove;
};

enum class ResultScore { kWhiteWins, kBlackWins, kDraw, kUnfinished };

// "1-0", "0-1", "1/2-1/2", "*".
constexpr std::string_view ScoreText(ResultScore score) {
    switch (score) {
        case ResultScore::kWhiteWins:
            return "1-0";
        case ResultScore::kBlackWins:
            return "0-1";
        case ResultScore::kDraw:
            return "1/2-1/2";
        case ResultScore::kUnfinished:
            break;
    }
    return "*";
}

// "result 1-0 {White mates}" as the GUI sends it to an engine.
struct GameResult {
    std::string text;                  // the word after "result", as the GUI wrote it
    std::optional<ResultScore> score;  // absent when the result starts with none
    std::string reason;                // the words in braces, trimmed; empty without them
};

}  // namespace lantrel
