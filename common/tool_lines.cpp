// SPDX-License-Identifier: MIT
// Running a management tool and handing back its output lines.
#include "tool_lines.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/wait.h>

static bounded_runner tool_runner = nullptr;
static int time_limit_seconds = 0;

void set_bounded_tool_runs(bounded_runner prunner, int timeout_seconds)
{
    tool_runner = prunner;
    time_limit_seconds = prunner != nullptr ? timeout_seconds : 0;
}

int tool_time_limit()
{
    return time_limit_seconds;
}

bool wait_status_failed(int wait_status)
{
    constexpr int cannot_execute = 126;
    constexpr int not_found = 127;
    constexpr int signalled = 128;
    constexpr int last_signal = signalled + 64;
    if (WIFSIGNALED(wait_status)) {
        return true;
    }
    int code = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 0;
    return code == cannot_execute || code == not_found || (code > signalled && code <= last_signal);
}

static void drop_output(captured_run *prun)
{
    std::free(prun->poutput);
    prun->poutput = nullptr;
    prun->size = 0;
}

bool start_tool(tool_lines *ptool)
{
    if (tool_runner != nullptr) {
        drop_output(&ptool->bounded);
        tool_runner(ptool->buffer, time_limit_seconds, &ptool->bounded);
        ptool->taken = 0;
        const captured_run &run = ptool->bounded;
        if (run.outcome == run_outcome::not_started) {
            errno = run.start_errno;
        }
        if (run.outcome != run_outcome::finished || wait_status_failed(run.wait_status)) {
            drop_output(&ptool->bounded);
        }
        return run.outcome != run_outcome::not_started;
    }
    // The tools are run through the shell on purpose: the inventory command
    // line is a pipeline into awk.  Its text is built from constants only.
    ptool->stream.reset(popen(ptool->buffer, "re")); // NOLINT(cert-env33-c)
    return ptool->stream != nullptr;
}

// A line of a bounded run's output, cut as a line read from the stream is.
static bool next_captured_line(tool_lines *ptool, std::string_view *pline)
{
    std::string_view output(ptool->bounded.poutput, ptool->bounded.size);
    if (ptool->taken >= output.size()) {
        return false;
    }
    size_t end = std::min(output.find('\n', ptool->taken), output.size());
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
