#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
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

void KeepFromChildren(NativeHandle handle) {
    const int fd = static_cast<int>(handle);
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

std::optional<ProcessId> SpawnProcessStarter::Start(const std::string& program,
                                                    const std::vector<std::string>& args,
                                                    const std::string& workDir,
                                                    const std::string& outputFile,
                                                    std::string& whyNot) {
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
    if (error != 0) {
        whyNot = std::strerror(error);
        return std::nullopt;
    }
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

}  // namespace lantrel
