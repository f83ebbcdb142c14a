// SPDX-License-Identifier: MIT
// Running an external program with a time limit: the agents the family's
// programs ask (lldpcli) must not hold them when they hang.  Internal to
// the family's programs; not installed.
#ifndef TARVEX_BOUNDED_RUN_H
#define TARVEX_BOUNDED_RUN_H

#include <string>

enum class run_outcome { finished, timed_out, not_started };

struct bounded_result {
    run_outcome outcome = run_outcome::not_started;
    int wait_status = 0;  // waitpid's status when finished
    std::string output;   // standard output when finished, else empty
};

// Runs argv[0] (an absolute path) with argv (null-terminated), standard
// input from /dev/null, standard output captured, standard error inherited,
// in a process group of its own and with close-on-exec descriptors; at the
// deadline the whole group is killed with SIGKILL and reaped, and output
// read so far is discarded.  A child that keeps the output open after the
// program exited must not hold the caller past the deadline.
bounded_result run_bounded(const char *const *argv, int timeout_seconds);

#endif
