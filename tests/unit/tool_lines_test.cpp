// SPDX-License-Identifier: MIT
// Running a tool and reading its output lines: line cutting, header
// skipping, hostile output, closing on every path.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "port_map_parse.h"
#include "tool_lines.h"
#include "open_descriptors.h"

namespace {

bool start(tool_lines *ptool, const std::string &command)
{
    std::snprintf(ptool->buffer, sizeof(ptool->buffer), "%s", command.c_str());
    return start_tool(ptool);
}

std::vector<std::string> all_lines(const std::string &command, int skip = 0)
{
    tool_lines tool;
    std::vector<std::string> lines;
    if (!start(&tool, command)) {
        ADD_FAILURE() << "could not start " << command;
        return lines;
    }
    skip_tool_lines(&tool, skip);
    std::string_view line;
    while (next_tool_line(&tool, &line)) {
        lines.emplace_back(line);
    }
    return lines;
}

TEST(ToolLines, HandsBackLinesWithoutNewlines)
{
    EXPECT_EQ(all_lines("printf 'a\\n\\nb c\\nlast'"), (std::vector<std::string>{"a", "", "b c", "last"}));
    EXPECT_EQ(all_lines("true"), std::vector<std::string>{});
    EXPECT_EQ(all_lines("printf '\\n'"), std::vector<std::string>{""});
    EXPECT_EQ(all_lines("printf 'h1\\nh2\\n0b 00 3\\n'", 2), std::vector<std::string>{"0b 00 3"});
    EXPECT_EQ(all_lines("printf 'h1\\n'", 3), std::vector<std::string>{}) << "skipping past the end is harmless";
}

TEST(ToolLines, LongLinesAreCutAndCountAsOneLine)
{
    // A header of 10,000 characters is still one header line; the data line
    // after it is read whole.
    auto lines = all_lines("head -c 10000 /dev/zero | tr '\\0' 7; printf '\\nh2\\n3 1 5 2\\n'; "
                           "head -c 5000 /dev/zero | tr '\\0' 4; printf ' 1 5 2\\n'",
                           2);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0], "3 1 5 2");
    EXPECT_EQ(lines[1], std::string(tool_buffer_size - 1, '4'));
    port_map_entry entry{};
    EXPECT_TRUE(parse_port_map_line(lines[0], &entry));
    EXPECT_FALSE(parse_port_map_line(lines[1], &entry)) << "the cut-off rest of a long line is never parsed";
}

TEST(ToolLines, BinaryOutputKeepsLineBoundaries)
{
    // NUL bytes inside a line must not make the reader lose the newline.
    auto lines = all_lines("printf 'a\\0b\\nc\\377\\0\\n0b 00 3\\n'");
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[0], std::string("a\0b", 3));
    EXPECT_EQ(lines[2], "0b 00 3");

    tool_lines tool;
    ASSERT_TRUE(start(&tool, "head -c 200000 /dev/urandom"));
    std::string_view line;
    inventory_entry inventory{};
    port_map_entry port_map{};
    size_t longest = 0;
    while (next_tool_line(&tool, &line)) {
        longest = std::max(longest, line.size());
        EXPECT_EQ(line.data()[line.size()], '\0');
        parse_inventory_line(line, &inventory);
        parse_port_map_line(line, &port_map);
    }
    EXPECT_LE(longest, tool_buffer_size - 1);
}

TEST(ToolLines, ReadsAHundredThousandLines)
{
    tool_lines tool;
    ASSERT_TRUE(start(&tool, "seq 0 99999 | awk '{printf \"%x 0 %x\\n\", $1 % 256, $1}'"));
    std::string_view line;
    inventory_entry entry{};
    int count = 0;
    int parsed = 0;
    while (next_tool_line(&tool, &line)) {
        if (parse_inventory_line(line, &entry) && entry.bus == static_cast<uint32_t>(count % 256) &&
            entry.slot == count) {
            parsed++;
        }
        count++;
    }
    EXPECT_EQ(count, 100000);
    EXPECT_EQ(parsed, 100000);
}

// Stopping at the first wanted line closes the stream even while the tool is
// still writing; no descriptor and no child outlives the reader.
TEST(ToolLines, ClosesOnEveryPath)
{
    int before = open_descriptors();
    for (int i = 0; i < 50; i++) {
        tool_lines tool;
        ASSERT_TRUE(start(&tool, "yes '0b 00 3'"));
        std::string_view line;
        ASSERT_TRUE(next_tool_line(&tool, &line));
        EXPECT_EQ(line, "0b 00 3");
    }
    for (int i = 0; i < 50; i++) {
        tool_lines tool;
        ASSERT_TRUE(start(&tool, "exit 3"));
        std::string_view line;
        EXPECT_FALSE(next_tool_line(&tool, &line));
    }
    EXPECT_EQ(open_descriptors(), before);
}

// popen fails when no descriptor is left for its pipe; the command line is
// still in the buffer for the caller's message.
TEST(ToolLines, StartFailsWhenNoPipeCanBeMade)
{
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> fillers;
    for (int fd = open("/dev/null", O_RDONLY); fd >= 0; fd = open("/dev/null", O_RDONLY)) {
        fillers.push_back(fd);
    }
    tool_lines tool;
    bool started = start(&tool, "echo never");
    for (int fd : fillers) {
        close(fd);
    }
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_FALSE(started);
    EXPECT_STREQ(tool.buffer, "echo never");
}

} // namespace
