// SPDX-License-Identifier: MIT
// Running a management tool through the shell and reading its output line
// by line.  All tool I/O of the slot and bay mapping goes through here; the
// callers parse the lines with port_map_parse.h.
#ifndef TARVEX_TOOL_LINES_H
#define TARVEX_TOOL_LINES_H

#include <cstddef>
#include <string_view>

#include "bounded_run.h"
#include "platform.h"

// The command line is written into buffer, then the same buffer receives
// each line read.  Lines longer than the buffer keep their first
// tool_buffer_size - 1 bytes; the rest up to the newline is dropped, so one
// line handed back is always one line of output.
inline constexpr size_t tool_buffer_size = 1024;

struct tool_lines {
    unique_pipe stream; // pclose'd when the reader goes out of scope
    char buffer[tool_buffer_size];
    // With a time limit (tool_time_limit), the run is over when
    // start_tool returns: its lines are read from here instead.
    bounded_result bounded;
    size_t taken = 0;
};

// Starts the command line held in ptool->buffer (popen, read mode; with a
// time limit, runs it to its end or its deadline).  false when the shell
// cannot be started; the buffer still holds the command then.  A run that
// timed out or failed (run_failed) starts and has no lines.
bool start_tool(tool_lines *ptool);

// The next line, without its newline, valid until the next call.  A last
// line without a newline counts as a line.  false at end of output.
bool next_tool_line(tool_lines *ptool, std::string_view *pline);

// Reads and drops count lines (the listings' headers).
void skip_tool_lines(tool_lines *ptool, int count);

#endif
