// Child processes of the benchmarks: each measurement runs in a fresh process of its own.
#include "bench/child_process.h"

#include <fcntl.h>     // Required for: O_RDONLY, O_WRONLY
#include <spawn.h>     // Required for: posix_spawn
#include <sys/wait.h>  // Required for: waitpid
#include <unistd.h>    // Required for: pipe, read, close, readlink

#include <iostream>
#include <stdexcept>

extern char** environ;

std::string SelfPath() {
    std::vector<char> path(4096);
    ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) throw std::runtime_error("cannot find this program's own path");
    return std::string(path.data(), static_cast<std::size_t>(n));
}

std::string RunChild(const std::vector<std::string>& args, int& status, bool keepErrors) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    status = -1;
    if (::pipe(fds) != 0) return "";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    if (keepErrors) posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    else posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    pid_t pid = 0;
    std::cout << std::flush;
    int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string output;
    if (spawned == 0) {
        char chunk[4096];
        ssize_t got;
        while ((got = ::read(fds[0], chunk, sizeof chunk)) > 0) output.append(chunk, static_cast<std::size_t>(got));
        int waited = 0;
        if (::waitpid(pid, &waited, 0) == pid && WIFEXITED(waited)) status = WEXITSTATUS(waited);
    }
    ::close(fds[0]);
    return output;
}
