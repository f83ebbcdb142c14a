// SPDX-License-Identifier: MIT
// Running an external program with a time limit and capturing its standard
// output: what a program of the family uses where a hanging tool must not
// hold it (fleet automation waits on it).  Built into the programs that use
// it, not into the library, which needs no C++ runtime.  Internal; not
// installed.
#ifndef TARVEX_BOUNDED_RUN_H
#define TARVEX_BOUNDED_RUN_H

#include <string>

#include "tool_lines.h" // run_outcome, tool_time_limit

struct bounded_result {
    run_outcome outcome = run_outcome::not_started;
    int wait_status = 0; // waitpid's status when finished
    std::string output;  // standard output when finished; empty otherwise
    int start_errno = 0; // why it did not start (pipe, spawn or exec failure)
};

// Runs argv[0] (an absolute path) with argv (null-terminated), standard
// input from /dev/null, standard output captured, standard error inherited,
// in a process group of its own and with close-on-exec descriptors; at the
// deadline the whole group is killed with SIGKILL and reaped, and output
// read so far is discarded.  A child that keeps the output open after the
// program exited must not hold the caller past the deadline.
bounded_result run_bounded(const char *const *argv, int timeout_seconds);

// run_bounded of "/bin/sh -c pcommand": a command line with a pipeline.
bounded_result run_bounded_shell(const char *pcommand, int timeout_seconds);

// The time limit, in seconds, of every external run of the calling
// program: the library's management tool runs then go through
// run_bounded_shell, and tool_time_limit() gives it to other runs.  Without
// it (0, the library's default) the tools run through popen as they always
// have.  tarvex-facts sets it from --timeout.
inline constexpr int default_tool_time_limit = 5;
void set_tool_time_limit(int seconds);

// A finished run that could not be trusted: a pipeline killed by a signal,
// or whose shell could not start a command (126, 127).
bool run_failed(const bounded_result &result);

#endif
