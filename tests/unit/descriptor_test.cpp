// SPDX-License-Identifier: MIT
// No descriptor outlives a query: the driver query's socket and the PCI
// attribute files are closed on every path, counted through /proc/self/fd
// over many queries of this machine's own interfaces (read only).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <sys/stat.h>

#include "common_utilities.h"
#include "open_descriptors.h"

namespace {

bool interface_exists(const std::string &name)
{
    struct stat info;
    return stat(("/sys/class/net/" + name).c_str(), &info) == 0;
}

size_t count_occurrences(const std::string &text, const std::string &part)
{
    size_t count = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) {
        count++;
    }
    return count;
}

constexpr int rounds = 1000;

} // namespace

TEST(Descriptors, DriverQueriesCloseTheirSocketOnEveryPath)
{
    ASSERT_TRUE(interface_exists("lo"));
    ASSERT_FALSE(interface_exists("tarvexnosuch0"));
    char lo[] = "lo";
    char eth0[] = "eth0";
    char missing[] = "tarvexnosuch0";
    char too_long[] = "a-name-of-16-chr";
    bool have_eth0 = interface_exists(eth0);

    int before = open_descriptors();
    ASSERT_GT(before, 0);
    testing::internal::CaptureStderr();
    for (int i = 0; i < rounds; i++) {
        ethtool_info info;
        ASSERT_EQ(get_ethtool_info(lo, &info), 0);
        free_ethtool_info_members(&info);

        if (have_eth0) {
            ASSERT_EQ(get_ethtool_info(eth0, &info), 0);
            ASSERT_NE(info.pbus_info, nullptr);
            free_ethtool_info_members(&info);
        }

        // Gone between listing and query: both requests fail, nothing filled.
        ASSERT_EQ(get_ethtool_info(missing, &info), 0);
        ASSERT_EQ(info.pdriver_name, nullptr);
        ASSERT_EQ(info.pbus_info, nullptr);
        ASSERT_EQ(info.link_status, link_unknown);

        // Refused before any socket is opened.
        ASSERT_EQ(get_ethtool_info(too_long, &info), 1);
        ASSERT_EQ(info.pbus_info, nullptr);
    }
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(open_descriptors(), before);

    EXPECT_EQ(count_occurrences(errors, "ERROR: ETHTOOL_GDRVINFO ioctl to tarvexnosuch0 failed, (errno=19, -1), "),
              static_cast<size_t>(rounds));
    EXPECT_EQ(count_occurrences(errors, "ERROR: ETHTOOL_GLINK ioctl to tarvexnosuch0 failed, (errno=19, -1), "),
              static_cast<size_t>(rounds));
    EXPECT_EQ(count_occurrences(errors, "\n"), static_cast<size_t>(2 * rounds)) << "unexpected messages";
}

TEST(Descriptors, PciIdentityClosesEveryAttributeFile)
{
    char eth0[] = "eth0";
    if (!interface_exists(eth0)) {
        GTEST_SKIP() << "this machine has no eth0";
    }
    ethtool_info info;
    ASSERT_EQ(get_ethtool_info(eth0, &info), 0);
    ASSERT_NE(info.pbus_info, nullptr);
    char not_pci[] = "tarvex-no-such-function";

    int before = open_descriptors();
    testing::internal::CaptureStderr();
    int32_t ids[4] = {0, 0, 0, 0};
    for (int i = 0; i < rounds; i++) {
        int32_t rc = get_pci_info(info.pbus_info, &ids[0], &ids[1], &ids[2], &ids[3]);
        if (rc != 0) {
            break;
        }
        ASSERT_EQ(get_pci_info(not_pci, &ids[0], &ids[1], &ids[2], &ids[3]), 1);
    }
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(open_descriptors(), before);
    free_ethtool_info_members(&info);

    EXPECT_NE(ids[0], 0) << "eth0's PCI vendor was not read";
    EXPECT_EQ(count_occurrences(errors, "ERROR: could not open /sys/bus/pci/devices/tarvex-no-such-function/vendor "),
              static_cast<size_t>(rounds));
}
