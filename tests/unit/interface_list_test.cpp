// SPDX-License-Identifier: MIT
// Interface enumeration on this host (read-only): the names selected and the
// layout of the single block they come in.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common_utilities.h"

namespace {

// What the block should hold, read independently of the code under test:
// readdir, the same selection rule, and byte-order sorting.
std::vector<std::string> expected_names(const char *pmatch_pattern)
{
    std::vector<std::string> names;
    DIR *pdir = opendir("/sys/class/net");
    if (pdir == nullptr) {
        return names;
    }
    while (const dirent *pentry = readdir(pdir)) {
        if (pentry->d_name[0] != '.' &&
            (pmatch_pattern == nullptr || std::strstr(pentry->d_name, pmatch_pattern) != nullptr)) {
            names.emplace_back(pentry->d_name);
        }
    }
    closedir(pdir);
    std::sort(names.begin(), names.end(),
              [](const std::string &a, const std::string &b) { return std::strcmp(a.c_str(), b.c_str()) < 0; });
    return names;
}

// The names must follow the pointer array directly, each right behind the
// previous one's terminator, and each pointer must point at its name.
void expect_packed_block(char **ppif, int32_t count, const std::vector<std::string> &names)
{
    ASSERT_EQ(count, static_cast<int32_t>(names.size()));
    const char *pnext = reinterpret_cast<const char *>(ppif + count);
    for (int32_t i = 0; i < count; i++) {
        EXPECT_EQ(ppif[i], pnext) << "name " << i << " is not packed behind the previous one";
        EXPECT_EQ(std::string(ppif[i]), names[static_cast<size_t>(i)]);
        pnext = ppif[i] + std::strlen(ppif[i]) + 1;
    }
}

} // namespace

TEST(InterfaceList, SelectsSortsAndPacksTheHostsNames)
{
    // The real host has at least lo and eth0.
    ASSERT_FALSE(expected_names(nullptr).empty()) << "/sys/class/net lists nothing";
    char every_name[] = "";
    char eth[] = "eth";
    char upper_eth[] = "ETH";
    char lo[] = "lo";
    char *ppatterns[] = {nullptr, every_name, eth, upper_eth, lo};
    for (char *ppattern : ppatterns) {
        SCOPED_TRACE(ppattern == nullptr ? "no pattern" : ppattern);
        char **ppif = nullptr;
        int32_t count = -1;
        ASSERT_EQ(get_interface_list(&ppif, ppattern, &count), 0);
        std::vector<std::string> names = expected_names(ppattern);
        if (names.empty()) {
            EXPECT_EQ(ppif, nullptr);
            EXPECT_EQ(count, 0);
        } else {
            ASSERT_NE(ppif, nullptr);
            expect_packed_block(ppif, count, names);
        }
        std::free(ppif);
    }
}

TEST(InterfaceList, NoMatchClearsTheCallersResults)
{
    char **ppif = reinterpret_cast<char **>(&ppif);
    int32_t count = 7;
    char pattern[] = "no interface is called this";
    EXPECT_EQ(get_interface_list(&ppif, pattern, &count), 0);
    EXPECT_EQ(ppif, nullptr);
    EXPECT_EQ(count, 0);
}
