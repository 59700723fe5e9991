#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>

#include "platform/posix.h"

extern char** environ;

namespace lantrel {

void ShellProcessStarter::Start(const std::string& commandLine, const std::string& workDir) {
    // Children are never waited for; let the system reap them.
    std::signal(SIGCHLD, SIG_IGN);
    const char* comspec = std::getenv("COMSPEC");
    std::string interpreter = (comspec && *comspec) ? comspec : "/bin/sh";
    std::string flag = (comspec && *comspec) ? "/C" : "-c";
    std::string line = commandLine;
    char* argv[] = {interpreter.data(), flag.data(), line.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    pid_t pid;
    // A failure to start is not reported: the mailer's outcome is never observed.
    posix_spawnp(&pid, interpreter.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
}

}  // namespace lantrel
