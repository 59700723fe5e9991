#include "platform/win.h"

namespace lantrel {

namespace {

volatile LONG stopFlag = 0;
HANDLE stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    ::InterlockedExchange(&stopFlag, 1);
    ::SetEvent(stopEvent);
    // The system ends the process as soon as this returns from a close, log-off
    // or shut-down; the pause gives the server its time to end by itself (the
    // system allows a few seconds).
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::Sleep(INFINITE);
    return TRUE;
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
    const auto separator = path.find_last_of("/\\");
    if (separator == std::string::npos) {
        // "C:game.log" is in the current folder of drive C:.
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    }
    // A root keeps its separator: "C:" alone would be drive C:'s current folder.
    const bool root = separator == 0 || (separator == 2 && path[1] == ':');
    return path.substr(0, root ? separator + 1 : separator);
}

void InstallStopSignals() {
    if (stopEvent == nullptr) stopEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StopRequested() {
    return stopFlag != 0;
}

HANDLE StopEvent() {
    return stopEvent;
}

WinEventWait::WinEventWait() : socketEvent_(::WSACreateEvent()) {}

WinEventWait::~WinEventWait() {
    // The socket may be closed already; closing it ends its association too.
    if (folderChange_ != INVALID_HANDLE_VALUE) ::FindCloseChangeNotification(folderChange_);
    ::WSACloseEvent(socketEvent_);
}

std::pair<std::int64_t, std::int64_t> WinEventWait::WatchedFileState() const {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(Wide(watchedPath_).c_str(), GetFileExInfoStandard, &data))
        return {};
    return {(static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
            (static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                data.ftLastWriteTime.dwLowDateTime};
}

void WinEventWait::WatchFile(const std::string& path) {
    if (path == watchedPath_) return;
    if (folderChange_ != INVALID_HANDLE_VALUE) ::FindCloseChangeNotification(folderChange_);
    folderChange_ = INVALID_HANDLE_VALUE;
    watchedPath_ = path;
    if (path.empty()) return;
    watchedState_ = WatchedFileState();
    // The folder is watched rather than the file, so a log that the GUI deletes
    // and starts again is still seen.
    folderChange_ = ::FindFirstChangeNotificationW(
        Wide(DirectoryOf(path)).c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
}

bool WinEventWait::TakeSocketEvents() {
    WSANETWORKEVENTS events{};
    if (::WSAEnumNetworkEvents(selectedSocket_, socketEvent_, &events) != 0) return true;
    return (events.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0;
}

WakeReason WinEventWait::Wait(NativeHandle socket, int waitMs) {
    const auto s = static_cast<SOCKET>(socket);
    if (s != selectedSocket_) {
        if (selectedSocket_ != INVALID_SOCKET) ::WSAEventSelect(selectedSocket_, nullptr, 0);
        selectedSocket_ = INVALID_SOCKET;
        if (socket >= 0 && ::WSAEventSelect(s, socketEvent_, FD_READ | FD_CLOSE) == 0)
            selectedSocket_ = s;
    }
    // In this order: a datagram goes first, so that a stop does not leave one
    // unread; the lowest signalled handle is the one reported.
    HANDLE handles[3];
    DWORD count = 0;
    DWORD socketIndex = MAXIMUM_WAIT_OBJECTS, stopIndex = MAXIMUM_WAIT_OBJECTS,
          folderIndex = MAXIMUM_WAIT_OBJECTS;
    if (selectedSocket_ != INVALID_SOCKET) handles[socketIndex = count++] = socketEvent_;
    if (stopEvent != nullptr) handles[stopIndex = count++] = stopEvent;
    if (folderChange_ != INVALID_HANDLE_VALUE) handles[folderIndex = count++] = folderChange_;

    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(waitMs < 0 ? 0 : waitMs);
    for (;;) {
        ULONGLONG now = ::GetTickCount64();
        DWORD left = now >= end ? 0 : static_cast<DWORD>(end - now);
        DWORD ready = count == 0 ? (::Sleep(left), WAIT_TIMEOUT)
                                 : ::WaitForMultipleObjects(count, handles, FALSE, left);
        if (ready == WAIT_TIMEOUT || ready == WAIT_FAILED) return WakeReason::kTimedOut;
        DWORD index = ready - WAIT_OBJECT_0;
        if (index == socketIndex && TakeSocketEvents()) return WakeReason::kReadable;
        if (index == stopIndex) return WakeReason::kStopRequested;
        if (index == folderIndex) {
            ::FindNextChangeNotification(folderChange_);
            // The notice names no file: the watched one changed when its size or
            // time of last write did (or it went or came).
            auto state = WatchedFileState();
            if (state != watchedState_) {
                watchedState_ = state;
                return WakeReason::kFileChanged;
            }
        }
        // Changes of other files in the folder (the server's own among them)
        // wait again for the time left.
        if (::GetTickCount64() >= end) return WakeReason::kTimedOut;
    }
}

}  // namespace lantrel
