// LiveGame and FeedState: the game being followed and the log reader's state.
#pragma once

#include <cstdint>
#include <string>

namespace lantrel {

struct LiveGame {
    std::string whitePlayer;
    std::string blackPlayer;
    std::string firstEngine;
    std::string secondEngine;
    std::int32_t firstEngineColour = 0;   // 1 White, 2 Black, 0 not yet told
    std::int32_t secondEngineColour = 0;
    std::int32_t plyCount = 0;
    std::int32_t gameNotStarted = 1;
    std::string fen;
    std::string previousFen;
    std::string lastMoveMessage;
    std::string levelText;
    std::string pendingWhitePv;
    std::string pendingBlackPv;
    std::string lineStamp;
    std::int32_t headerSent = 0;
    std::int32_t gameNumber = 0;
    std::int32_t moveErrorCount = 0;
    std::string saveDebugName;
    double lastServiceTime = 0;  // time of day of the last network service
    // The side to move (whiteOnMove) belongs to the position: see ChessState.
};

struct FeedState {
    std::int64_t bytesRead = 0;  // 64-bit: a log past 2 GiB must not wrap
    std::int64_t logSize = 0;
    std::string partialLine;
    std::int32_t redrawBoard = 0;
    std::int32_t nulBytesSeen = 0;  // counts up to 2: only the first two matter
    std::int32_t linesSinceService = 0;
    std::string whiteClockText;
    std::string blackClockText;
    bool partialLineCapped = false;  // the over-long line note was written once
};

}  // namespace lantrel
