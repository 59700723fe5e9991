#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace lantrel {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& outputFile) {
    std::vector<std::string> words = argv;
    std::vector<char*> args;
    for (auto& word : words)
        args.push_back(word.data());
    args.push_back(nullptr);
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
