// SPDX-License-Identifier: MIT
// Running a management tool through the shell and reading its output line
// by line.  All tool I/O of the slot and bay mapping goes through here; the
// callers parse the lines with port_map_parse.h.
#ifndef TARVEX_TOOL_LINES_H
#define TARVEX_TOOL_LINES_H

#include <cstddef>
#include <cstdlib>
#include <string_view>

#include "platform.h"

// The command line is written into buffer, then the same buffer receives
// each line read.  Lines longer than the buffer keep their first
// tool_buffer_size - 1 bytes; the rest up to the newline is dropped, so one
// line handed back is always one line of output.
inline constexpr size_t tool_buffer_size = 1024;

// Time-limited runs.  The library runs its tools through popen and waits
// for them; a program that must not wait without end (tarvex-facts) installs
// a runner that bounds each run, and every tool then goes through it.
enum class run_outcome { finished, timed_out, not_started };

// How a bounded run ended: its output (when finished) in a malloc'd block
// that the reader releases.
struct captured_run {
    run_outcome outcome = run_outcome::not_started;
    int wait_status = 0;  // waitpid's status when finished
    int start_errno = 0;  // why it did not start
    char *poutput = nullptr;
    size_t size = 0;
};
using bounded_runner = void (*)(const char *pcommand, int timeout_seconds, captured_run *prun);

// Every later tool run goes through prunner with this time limit (seconds).
void set_bounded_tool_runs(bounded_runner prunner, int timeout_seconds);
// The time limit of the tool runs; 0 while they run through popen.
int tool_time_limit();
// A run whose command line could not run: its shell (or the command it
// became) ended by a signal, reported a command a signal ended (128 + n),
// or could not start a command (126, 127).
bool wait_status_failed(int wait_status);

struct tool_lines {
    unique_pipe stream; // pclose'd when the reader goes out of scope
    char buffer[tool_buffer_size];
    // With a runner installed, the run is over when start_tool returns: its
    // lines are read from here instead.
    captured_run bounded;
    size_t taken = 0;

    ~tool_lines() { std::free(bounded.poutput); }
};

// Starts the command line held in ptool->buffer (popen, read mode; with a
// runner, runs it to its end or its deadline).  false when the shell cannot
// be started; the buffer still holds the command then.  A run that timed
// out or failed (wait_status_failed) starts and has no lines.
bool start_tool(tool_lines *ptool);

// The next line, without its newline, valid until the next call.  A last
// line without a newline counts as a line.  false at end of output.
bool next_tool_line(tool_lines *ptool, std::string_view *pline);

// Reads and drops count lines (the listings' headers).
void skip_tool_lines(tool_lines *ptool, int count);

#endif
