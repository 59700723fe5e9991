#include <cerrno>
#include <ctime>

#include "platform/posix.h"

namespace lantrel {

double SystemClock::TimeOfDay() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    struct tm local {};
    time_t seconds = ts.tv_sec;
    ::localtime_r(&seconds, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + ts.tv_nsec / 1e9;
}

LocalDateTime SystemClock::Now() {
    time_t seconds = ::time(nullptr);
    struct tm local {};
    ::localtime_r(&seconds, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

double SystemClock::Monotonic() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

void SystemClock::SleepMs(int milliseconds) {
    if (milliseconds <= 0 || StopRequested()) return;
    struct timespec ts {
        milliseconds / 1000, (milliseconds % 1000) * 1000000L
    };
    // A stop signal ends the pause: the server is about to end anyway.
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR && !StopRequested()) {
    }
}

}  // namespace lantrel
