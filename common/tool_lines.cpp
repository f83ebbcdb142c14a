// SPDX-License-Identifier: MIT
// Running a management tool and handing back its output lines.
#include "tool_lines.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

bool start_tool(tool_lines *ptool)
{
    if (int limit = tool_time_limit(); limit > 0) {
        ptool->bounded = run_bounded_shell(ptool->buffer, limit);
        ptool->taken = 0;
        if (ptool->bounded.outcome == run_outcome::not_started) {
            errno = ptool->bounded.start_errno;
        }
        if (run_failed(ptool->bounded)) {
            ptool->bounded.output.clear();
        }
        return ptool->bounded.outcome != run_outcome::not_started;
    }
    // The tools are run through the shell on purpose: the inventory command
    // line is a pipeline into awk.  Its text is built from constants only.
    ptool->stream.reset(popen(ptool->buffer, "r")); // NOLINT(cert-env33-c)
    return ptool->stream != nullptr;
}

// A line of a bounded run's output, cut as a line read from the stream is.
static bool next_captured_line(tool_lines *ptool, std::string_view *pline)
{
    const std::string &output = ptool->bounded.output;
    if (ptool->taken >= output.size()) {
        return false;
    }
    size_t end = output.find('\n', ptool->taken);
    end = end == std::string::npos ? output.size() : end;
    size_t length = std::min(end - ptool->taken, tool_buffer_size - 1);
    std::memcpy(ptool->buffer, output.data() + ptool->taken, length);
    ptool->buffer[length] = '\0';
    *pline = std::string_view(ptool->buffer, length);
    ptool->taken = end + 1;
    return true;
}

bool next_tool_line(tool_lines *ptool, std::string_view *pline)
{
    if (!ptool->stream) {
        return next_captured_line(ptool, pline);
    }
    FILE *pstream = ptool->stream.get();
    int c = getc_unlocked(pstream);
    if (c == EOF) {
        return false;
    }
    size_t length = 0;
    for (; c != EOF && c != '\n'; c = getc_unlocked(pstream)) {
        if (length < tool_buffer_size - 1) {
            ptool->buffer[length++] = static_cast<char>(c);
        }
    }
    ptool->buffer[length] = '\0';
    *pline = std::string_view(ptool->buffer, length);
    return true;
}

void skip_tool_lines(tool_lines *ptool, int count)
{
    std::string_view line;
    for (int i = 0; i < count && next_tool_line(ptool, &line); i++) {
    }
}
