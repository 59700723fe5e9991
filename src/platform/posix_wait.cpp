#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>

#include "platform/posix.h"

namespace lantrel {

namespace {

volatile std::sig_atomic_t stopFlag = 0;
int stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    stopFlag = 1;
    int saved = errno;
    // The pipe is non-blocking: when it is full, a wake-up is pending anyway.
    ssize_t ignored = ::write(stopPipe[1], "", 1);
    (void)ignored;
    errno = saved;
}

std::string DirectoryOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void Drain(int fd) {
    char bytes[256];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

}  // namespace

void InstallStopSignals() {
    if (stopPipe[0] < 0 && ::pipe2(stopPipe, O_NONBLOCK | O_CLOEXEC) != 0)
        stopPipe[0] = stopPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() {
    return stopFlag != 0;
}

int StopWakeDescriptor() {
    return stopPipe[0];
}

PosixEventWait::~PosixEventWait() {
    if (watchFd_ >= 0) ::close(watchFd_);
}

void PosixEventWait::WatchFile(const std::string& path) {
    if (path == watchedPath_) return;
    if (watchFd_ >= 0) ::close(watchFd_);
    watchFd_ = -1;
    watchedPath_ = path;
    watchedName_ = BaseNameOf(path);
    if (path.empty()) return;
    watchFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watchFd_ < 0) return;
    // The folder is watched rather than the file, so a log that the GUI deletes
    // and starts again is still seen.
    if (::inotify_add_watch(watchFd_, DirectoryOf(path).c_str(),
                            IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE) < 0) {
        ::close(watchFd_);
        watchFd_ = -1;
    }
}

bool PosixEventWait::TakeFolderEvents() {
    alignas(inotify_event) char events[4096];
    bool ours = false;
    for (;;) {
        ssize_t n = ::read(watchFd_, events, sizeof events);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n;) {
            auto* e = reinterpret_cast<inotify_event*>(events + i);
            if (e->len > 0 && watchedName_ == e->name) ours = true;
            i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    return ours;
}

WakeReason PosixEventWait::Wait(NativeHandle socket, int waitMs) {
    using Steady = std::chrono::steady_clock;
    const Steady::time_point end =
        Steady::now() + std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs);
    enum { kSocket, kFolder, kStop };
    pollfd fds[3] = {{static_cast<int>(socket), POLLIN, 0},
                     {watchFd_, POLLIN, 0},
                     {StopWakeDescriptor(), POLLIN, 0}};
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Steady::now());
        int ready = ::poll(fds, 3, left.count() < 0 ? 0 : static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) return WakeReason::kTimedOut;
        // Without the self-pipe the interruption is the only sign of a stop.
        if (ready < 0 && fds[kStop].fd < 0 && StopRequested()) return WakeReason::kStopRequested;
        // A datagram goes first, so that a stop does not leave one unread.
        if (ready > 0 && fds[kSocket].revents) return WakeReason::kReadable;
        if (ready > 0 && fds[kStop].revents) {
            Drain(fds[kStop].fd);
            return WakeReason::kStopRequested;
        }
        if (ready > 0 && fds[kFolder].revents && TakeFolderEvents())
            return WakeReason::kFileChanged;
        // Events about other files in the folder (the server's own among them)
        // and interruptions wait again for the time left.
        if (ready == 0 || Steady::now() >= end) return WakeReason::kTimedOut;
    }
}

}  // namespace lantrel
