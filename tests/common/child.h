#pragma once
// Child processes of a test: started with posix_spawn, waited for on the monotonic clock and
// killed when they outlive their limit.

#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

// The child's pid, or -1 when it could not be started.
inline pid_t spawnChild(std::vector<const char *> argv)
{
    argv.push_back(nullptr);
    pid_t pid;
    return posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char *const *>(argv.data()), environ) == 0 ? pid
                                                                                                                : -1;
}

// Exit status of the child, or -1 if it did not exit by itself within the limit (then it is
// killed) or ended by a signal.
inline int waitChild(pid_t pid, std::chrono::milliseconds limit)
{
    if (pid < 0)
        return -1;
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() >= end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
