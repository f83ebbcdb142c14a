// SPDX-License-Identifier: MIT
// External runs with a deadline: spawned into a process group of their own,
// read and waited for until the deadline, then killed as a group.
#include "bounded_run.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "diag.h"
#include "platform.h"

bool run_failed(const bounded_result &result)
{
    return result.outcome == run_outcome::finished && wait_status_failed(result.wait_status);
}

// The library's tool runs, bounded: the output handed over in a malloc'd
// block, as the library releases it.
static void run_tool_bounded(const char *pcommand, int timeout_seconds, captured_run *prun)
{
    bounded_result result = run_bounded_shell(pcommand, timeout_seconds);
    prun->outcome = result.outcome;
    prun->wait_status = result.wait_status;
    prun->start_errno = result.start_errno;
    prun->size = result.output.size();
    prun->poutput = static_cast<char *>(TARVEX_MALLOC(prun->size + 1));
    std::memcpy(prun->poutput, result.output.data(), prun->size);
}

void set_tool_time_limit(int seconds)
{
    set_bounded_tool_runs(run_tool_bounded, seconds);
}

// Time
static constexpr int64_t ms_per_second = 1000;
static constexpr int64_t ns_per_ms = 1000000;

static int64_t now_ms()
{
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * ms_per_second + now.tv_nsec / ns_per_ms;
}

// Starting the child

namespace {
// The spawn settings: own process group, default SIGPIPE, nothing blocked;
// standard input from /dev/null and standard output into the pipe.
struct spawn_setup {
    posix_spawnattr_t attributes{};
    posix_spawn_file_actions_t actions{};
    spawn_setup(int null_fd, int out_fd)
    {
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setpgroup(&attributes, 0);
        sigset_t signals;
        sigemptyset(&signals);
        posix_spawnattr_setsigmask(&attributes, &signals);
        sigaddset(&signals, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &signals);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, null_fd, STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
    }
    spawn_setup(const spawn_setup &) = delete;
    spawn_setup &operator=(const spawn_setup &) = delete;
    ~spawn_setup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

// The running child: its output pipe and whether it has been reaped.
struct child_run {
    pid_t pid = -1;
    unique_fd output{-1};
    bool reaped = false;
    int wait_status = 0;
};
} // namespace

// Spawns argv; false with errno when it could not start.
static bool spawn_child(const char *const *argv, child_run *pchild)
{
    unique_fd null_device(open("/dev/null", O_RDONLY | O_CLOEXEC));
    int ends[2];
    if (!null_device.valid() || pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    unique_fd write_end(ends[1]);
    pchild->output.reset(ends[0]);
    spawn_setup setup(null_device.get(), write_end.get());
    // posix_spawn takes char *const argv[] for historical reasons; it does
    // not change them.
    int rc = posix_spawn(&pchild->pid, argv[0], &setup.actions, &setup.attributes,
                         const_cast<char *const *>(argv), environ); // NOLINT(cppcoreguidelines-pro-type-const-cast)
    if (rc != 0) {
        errno = rc;
        return false;
    }
    return true;
}

// Waiting
static bool try_reap(child_run *pchild)
{
    if (!pchild->reaped && waitpid(pchild->pid, &pchild->wait_status, WNOHANG) == pchild->pid) {
        pchild->reaped = true;
    }
    return pchild->reaped;
}

// Reads what is there; false at end of output or on a read error.
static bool read_available(child_run *pchild, std::string *poutput)
{
    char chunk[4096];
    ssize_t got = read(pchild->output.get(), chunk, sizeof(chunk));
    if (got < 0 && errno == EINTR) {
        return true;
    }
    if (got <= 0) {
        pchild->output.reset();
        return false;
    }
    poutput->append(chunk, static_cast<size_t>(got));
    return true;
}

// A program that closed its output but has not exited yet is looked at
// again every few milliseconds (a tool ends right after its output, so
// this is rare and short).
static constexpr int exit_poll_ms = 10;

// Reads and waits until the output is closed and the child reaped, or
// until the deadline; true when both happened in time.
static bool collect_until(child_run *pchild, int64_t deadline_ms, std::string *poutput)
{
    while (pchild->output.valid() || !try_reap(pchild)) {
        int64_t left = deadline_ms - now_ms();
        if (left <= 0) {
            return false;
        }
        struct pollfd output = {pchild->output.get(), POLLIN, 0};
        int wait_ms = pchild->output.valid() ? static_cast<int>(std::min<int64_t>(left, INT32_MAX))
                                              : static_cast<int>(std::min<int64_t>(left, exit_poll_ms));
        int ready = poll(&output, 1, wait_ms);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0 && (output.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            read_available(pchild, poutput);
        }
    }
    return true;
}

static void kill_group(child_run *pchild)
{
    kill(-pchild->pid, SIGKILL);
    while (!pchild->reaped && waitpid(pchild->pid, &pchild->wait_status, 0) < 0 && errno == EINTR) {
    }
    pchild->reaped = true;
}

bounded_result run_bounded(const char *const *argv, int timeout_seconds)
{
    bounded_result result;
    int64_t deadline = now_ms() + static_cast<int64_t>(timeout_seconds) * ms_per_second;
    child_run child;
    if (!spawn_child(argv, &child)) {
        result.start_errno = errno;
        return result;
    }
    if (!collect_until(&child, deadline, &result.output)) {
        kill_group(&child);
        result.output.clear();
        result.outcome = run_outcome::timed_out;
        return result;
    }
    result.outcome = run_outcome::finished;
    result.wait_status = child.wait_status;
    return result;
}

bounded_result run_bounded_shell(const char *pcommand, int timeout_seconds)
{
    const char *const argv[] = {"/bin/sh", "-c", pcommand, nullptr};
    return run_bounded(argv, timeout_seconds);
}
