// SPDX-License-Identifier: MIT
// A program run with a deadline, its output read through a pipe.
#include "bounded_run.h"

#include <cerrno>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform.h"

// Clock and deadline
static long long now_ms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Starting the child
// The child gets /dev/null as input, the pipe's write end as output and a
// process group of its own, so that the deadline reaches whatever it starts.
static pid_t spawn_in_group(const char *const *argv, int output_fd)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return -1;
    }
    pid_t pid = -1;
    if (posix_spawnattr_init(&attributes) == 0) {
        bool ready = posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
                     posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO) == 0 &&
                     posix_spawnattr_setpgroup(&attributes, 0) == 0 &&
                     posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP) == 0;
        // posix_spawn takes the C interface's non-const argv; it does not
        // change the strings.
        if (ready && posix_spawn(&pid, argv[0], &actions, &attributes, const_cast<char *const *>(argv), environ) != 0) {
            pid = -1;
        }
        posix_spawnattr_destroy(&attributes);
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Reading while the program runs
// Takes what the pipe holds now, up to the deadline; false at its end
// (every writer closed it) or on a read error.
static bool take_available(int fd, int wait_ms, long long deadline_ms, std::string &output)
{
    char buffer[4096];
    pollfd ready = {fd, POLLIN, 0};
    while (now_ms() < deadline_ms && poll(&ready, 1, wait_ms) > 0) {
        ssize_t got = read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        output.append(buffer, static_cast<size_t>(got));
        wait_ms = 0;
    }
    return true;
}

// Reads the output until the program itself exits, then what it left in
// the pipe: a process it started that keeps the pipe open does not hold
// the caller.  True once the program is reaped, its status in status.
static bool collect_until(pid_t pid, int fd, long long deadline_ms, std::string &output, int &status)
{
    constexpr int poll_ms = 20;
    bool open = true;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (open) {
                take_available(fd, 0, deadline_ms, output);
            }
            return true;
        }
        if (done < 0 && errno != EINTR) {
            return false;
        }
        long long left = deadline_ms - now_ms();
        if (left <= 0) {
            return false;
        }
        int wait_ms = static_cast<int>(left < poll_ms ? left : poll_ms);
        if (open) {
            open = take_available(fd, wait_ms, deadline_ms, output);
        } else {
            struct timespec pause = {0, static_cast<long>(wait_ms) * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
    }
}

bounded_result run_bounded(const char *const *argv, int timeout_seconds)
{
    bounded_result result;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return result;
    }
    unique_fd read_end(ends[0]);
    pid_t pid;
    {
        unique_fd write_end(ends[1]);
        pid = spawn_in_group(argv, write_end.get());
    }
    if (pid < 0) {
        return result;
    }
    long long deadline_ms = now_ms() + static_cast<long long>(timeout_seconds) * 1000;
    if (!collect_until(pid, read_end.get(), deadline_ms, result.output, result.wait_status)) {
        kill(-pid, SIGKILL);
        while (waitpid(pid, &result.wait_status, 0) < 0 && errno == EINTR) {
        }
        return bounded_result{run_outcome::timed_out, 0, {}};
    }
    result.outcome = run_outcome::finished;
    return result;
}
