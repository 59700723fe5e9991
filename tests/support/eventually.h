// The one way tests wait for something a real program or thread does.
#pragma once

#include <chrono>
#include <thread>

namespace lantrel::testing {

// Asks `done` until it holds or `seconds` pass, pausing `pause` between asks
// (zero when `done` waits by itself, say by serving a socket); true when it held.
template <typename Done>
bool Eventually(Done&& done, double seconds = 10,
                std::chrono::milliseconds pause = std::chrono::milliseconds(10)) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (pause.count() > 0) std::this_thread::sleep_for(pause);
    }
    return true;
}

}  // namespace lantrel::testing
