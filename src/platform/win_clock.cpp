#include "platform/win.h"

namespace lantrel {

double SystemClock::TimeOfDay() {
    SYSTEMTIME local;
    ::GetLocalTime(&local);
    return local.wHour * 3600.0 + local.wMinute * 60.0 + local.wSecond +
           local.wMilliseconds / 1000.0;
}

LocalDateTime SystemClock::Now() {
    SYSTEMTIME local;
    ::GetLocalTime(&local);
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

double SystemClock::Monotonic() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart / frequency) +
           static_cast<double>(now.QuadPart % frequency) / static_cast<double>(frequency);
}

void SystemClock::SleepMs(int milliseconds) {
    if (milliseconds <= 0 || StopRequested()) return;
    // A stop request ends the pause: the server is about to end anyway. The
    // request stays pending for the next wait, as it would without the pause.
    HANDLE stop = StopEvent();
    if (stop == nullptr) {
        ::Sleep(static_cast<DWORD>(milliseconds));
    } else if (::WaitForSingleObject(stop, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0) {
        ::SetEvent(stop);
    }
}

}  // namespace lantrel
