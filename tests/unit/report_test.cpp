// SPDX-License-Identifier: MIT
// The report's output: numeric cells, and the header and rows of a run on
// this host (read-only; the fake-host system tests cover other hosts).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common_utilities.h"

// The report module's entry and cell writer (tarvex.cpp, built for the tests
// with main renamed).
int tarvex_report_main();
void print_val(int32_t val);

namespace {

struct captured_output {
    std::string out;
    std::string err;
};

// Runs the action with standard output and standard error sent to temporary
// files and returns what it wrote there.
captured_output capture(const std::function<void()> &action)
{
    std::fflush(stdout);
    std::fflush(stderr);
    FILE *pout = std::tmpfile();
    FILE *perr = std::tmpfile();
    int saved_out = dup(STDOUT_FILENO);
    int saved_err = dup(STDERR_FILENO);
    dup2(fileno(pout), STDOUT_FILENO);
    dup2(fileno(perr), STDERR_FILENO);
    action();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out, STDOUT_FILENO);
    dup2(saved_err, STDERR_FILENO);
    close(saved_out);
    close(saved_err);
    captured_output result;
    for (auto [pfile, ptext] : {std::pair{pout, &result.out}, std::pair{perr, &result.err}}) {
        std::rewind(pfile);
        int c;
        while ((c = std::fgetc(pfile)) != EOF) {
            ptext->push_back(static_cast<char>(c));
        }
        std::fclose(pfile);
    }
    return result;
}

std::string cell(int32_t value)
{
    return capture([value] { print_val(value); }).out;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

std::string padded(std::string text, size_t width)
{
    text.resize(std::max(width, text.size()), ' ');
    return text;
}

// The model cell: one blank, then the name cut or padded to 41 characters.
std::string model_cell(const std::string &name)
{
    return " " + padded(name.substr(0, 41), 41);
}

const std::string tolmar_warning = "\n"
                                   "WARNING: The tolmar package is not installed. Will\n"
                                   "         not be able to display bay/slot/port\n"
                                   "         information. See README for details.\n\n";

// The virtio vendor number: this host's eth0 is a virtio network function,
// which no catalogue entry names, so its row reads "unknown model".
bool eth0_is_virtio()
{
    std::ifstream vendor("/sys/class/net/eth0/device/vendor");
    std::string number;
    return vendor >> number && number == "0x1af4";
}

} // namespace

TEST(ReportCells, NumbersAreLeftAlignedInEightColumnsAndNegativesAreNa)
{
    EXPECT_EQ(cell(0), "0       ");
    EXPECT_EQ(cell(7), "7       ");
    EXPECT_EQ(cell(1234567), "1234567 ");
    EXPECT_EQ(cell(-1), "n/a     ");
    EXPECT_EQ(cell(-2), "n/a     ");
    EXPECT_EQ(cell(INT32_MIN), "n/a     ");
    // Wider numbers widen their cell rather than lose digits.
    EXPECT_EQ(cell(12345678), "12345678 ");
    EXPECT_EQ(cell(INT32_MAX), "2147483647 ");
}

TEST(ReportRun, HeaderAndEth0RowOnThisHost)
{
    int rc = -1;
    captured_output run = capture([&rc] { rc = tarvex_report_main(); });
    EXPECT_EQ(rc, 0);
    if (tolmar_installed() == 0) {
        EXPECT_EQ(run.err.substr(0, tolmar_warning.size()), tolmar_warning);
    }
    std::vector<std::string> lines = lines_of(run.out);
    ASSERT_FALSE(lines.empty()) << "this host has eth0, so the report has a header";
    const std::string header = "iface slot    port    bay     bayport " + model_cell("Model Name");
    EXPECT_EQ(lines[0], header);
    EXPECT_EQ(lines[0].size(), 80U);
    EXPECT_EQ(run.out.back(), '\n');

    if (!eth0_is_virtio() || tolmar_installed() != 0) {
        GTEST_SKIP() << "eth0 is not a virtio function or slot data may apply; its row is not predictable here";
    }
    const std::string eth0_row = "eth0  n/a     n/a     n/a     n/a     " + model_cell("unknown model");
    EXPECT_NE(std::find(lines.begin(), lines.end(), eth0_row), lines.end()) << run.out;
}
