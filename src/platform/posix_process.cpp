#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix.h"

extern char** environ;

namespace lantrel {

namespace {

// The argument vector posix_spawn takes: pointers into `words`, then a null.
std::vector<char*> ArgumentVector(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    return argv;
}

}  // namespace

std::optional<ProcessId> SpawnProcessStarter::Start(const std::string& program,
                                                    const std::vector<std::string>& args,
                                                    const std::string& workDir,
                                                    const std::string& outputFile) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv = ArgumentVector(words);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // In this order: the output file's relative name is taken from workDir.
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0666);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid;
    // The C library reports a program that cannot be run (not found, not
    // executable, no output file) as a failure of the spawn itself.
    int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return std::nullopt;
    return static_cast<ProcessId>(pid);
}

bool SpawnProcessStarter::Ended(ProcessId process) {
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(static_cast<pid_t>(process), &status, WNOHANG);
    } while (got < 0 && errno == EINTR);
    // 0: still running. Anything else is an end: reaped now, or no such child
    // any more (where the system reaps children by itself, SIGCHLD ignored).
    return got != 0;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& outputFile) {
    std::vector<std::string> words = argv;
    std::vector<char*> args = ArgumentVector(words);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid;
    if (posix_spawn(&pid, words[0].c_str(), &actions, nullptr, args.data(), environ) == 0)
        pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        ::kill(pid_, SIGTERM);
        if (Wait(5) == -1) {
            ::kill(pid_, SIGKILL);
            Wait(5);
        }
    }
}

bool ChildProcess::Running() {
    if (pid_ < 0 || ended_) return false;
    int status;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        ended_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

int ChildProcess::Wait(double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (Running()) {
        if (std::chrono::steady_clock::now() > until) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

int ChildProcess::Stop(double seconds) {
    if (Running()) ::kill(pid_, SIGTERM);
    return Wait(seconds);
}

}  // namespace lantrel
