// SPDX-License-Identifier: MIT
// Running a management tool and handing back its output lines.
#include "tool_lines.h"

#include <cstdio>

bool start_tool(tool_lines *ptool)
{
    // The tools are run through the shell on purpose: the inventory command
    // line is a pipeline into awk.  Its text is built from constants only.
    ptool->stream.reset(popen(ptool->buffer, "re")); // NOLINT(cert-env33-c)
    return ptool->stream != nullptr;
}

bool next_tool_line(tool_lines *ptool, std::string_view *pline)
{
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
