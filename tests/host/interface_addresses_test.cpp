// SPDX-License-Identifier: MIT
// Interface addresses and state against the real kernel: veth pairs in a
// private network namespace (run through in_private_namespace.sh --net),
// compared with what ip reports there.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "common_utilities.h"
#include "host_test_support.h"

namespace {

std::string field(const char *ptext)
{
    return ptext == nullptr ? "(null)" : ptext;
}

// The interface's first line of /proc/net/if_inet6, read independently:
// {address column, prefix column, scope column}, empty when none.
std::array<std::string, 3> first_if_inet6_line(const std::string &if_name)
{
    std::ifstream file("/proc/net/if_inet6");
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream columns(line);
        std::string address, index, prefix, scope, flags, name;
        columns >> address >> index >> prefix >> scope >> flags >> name;
        if (name == if_name) {
            return {address, prefix, scope};
        }
    }
    return {};
}

// The full form of an address column: eight groups of four digits.
std::string grouped(const std::string &column)
{
    std::string text;
    for (size_t i = 0; i < 32; i += 4) {
        text += (i == 0 ? "" : ":") + column.substr(i, 4);
    }
    return text;
}

class InterfaceAddresses : public testing::Test {
protected:
    void SetUp() override
    {
        if (!in_private_namespace("net")) {
            GTEST_SKIP() << "not in a private network namespace (run through in_private_namespace.sh --net)";
        }
        // ta is up (no carrier: its peer is down), tb is down.
        ASSERT_TRUE(run("ip link add ta type veth peer name tb"));
        ASSERT_TRUE(run("ip addr add 192.0.2.1/24 brd + dev ta"));
        ASSERT_TRUE(run("ip -6 addr add 2001:db8::1/64 dev ta nodad"));
        ASSERT_TRUE(run("ip link set ta up"));
        ASSERT_TRUE(run("ip -6 addr add fe80::1:2ff:fe03:405/64 dev tb nodad"));
    }

    int32_t query(const char *pname, dynamic_interface_info_t *pinfo)
    {
        return get_dynamic_interface_info(const_cast<char *>(pname), pinfo);
    }
};

}  // namespace

TEST_F(InterfaceAddresses, UpInterfaceMatchesIp)
{
    ASSERT_TRUE(run("ip addr add 198.51.100.200/25 brd + dev tb"));
    dynamic_interface_info_t info;
    testing::internal::CaptureStderr();
    ASSERT_EQ(query("ta", &info), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::string ipv4 = output("ip -o -4 addr show dev ta");
    EXPECT_NE(ipv4.find("inet " + field(info.pip_addr) + "/24 brd " + field(info.pbroadcast) + " "),
              std::string::npos)
        << ipv4;
    EXPECT_EQ(field(info.pnetmask), "255.255.255.0");
    std::string link = output("ip -o link show dev ta");
    EXPECT_NE(link.find("link/ether " + lower(field(info.pcurrent_mac))), std::string::npos) << link;
    EXPECT_EQ(field(info.pcurrent_mac), upper(field(info.pcurrent_mac)));
    EXPECT_EQ(field(info.pipv6_addr), "2001:0db8:0000:0000:0000:0000:0000:0001");
    EXPECT_EQ(field(info.pipv6_shorthand_addr), "2001:db8::1");
    EXPECT_EQ(info.pipv6_refix_length, 64U);
    EXPECT_EQ(info.ipv6_scope, ipv6_global_scope);
    EXPECT_EQ(info.if_status, link_up);
    EXPECT_EQ(get_logical_interface_status(const_cast<char *>("ta")), link_up);
    free_dynamic_interface_info(&info);
    free_dynamic_interface_info(&info);
    EXPECT_EQ(info.pip_addr, nullptr);
    EXPECT_EQ(info.pipv6_shorthand_addr, nullptr);

    // Bytes above 127 print as 128 to 255.
    ASSERT_EQ(query("tb", &info), 0);
    EXPECT_EQ(field(info.pip_addr), "198.51.100.200");
    EXPECT_EQ(field(info.pnetmask), "255.255.255.128");
    EXPECT_EQ(field(info.pbroadcast), "198.51.100.255");
    free_dynamic_interface_info(&info);
}

TEST_F(InterfaceAddresses, DownInterfaceWithoutIpv4AndLinkLocalAddress)
{
    dynamic_interface_info_t info;
    testing::internal::CaptureStderr();
    ASSERT_EQ(query("tb", &info), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(info.pip_addr, nullptr);
    EXPECT_EQ(info.pnetmask, nullptr);
    EXPECT_EQ(info.pbroadcast, nullptr);
    EXPECT_NE(output("ip -o link show dev tb").find("link/ether " + lower(field(info.pcurrent_mac))),
              std::string::npos);
    EXPECT_EQ(field(info.pipv6_addr), "fe80:0000:0000:0000:0001:02ff:fe03:0405");
    EXPECT_EQ(field(info.pipv6_shorthand_addr), "fe80::1:2ff:fe03:405");
    EXPECT_EQ(info.ipv6_scope, ipv6_link_scope);
    EXPECT_EQ(info.if_status, link_down);
    free_dynamic_interface_info(&info);

    ASSERT_TRUE(run("ip link set lo up"));
    ASSERT_EQ(query("lo", &info), 0);
    EXPECT_EQ(field(info.pip_addr), "127.0.0.1");
    EXPECT_EQ(field(info.pnetmask), "255.0.0.0");
    EXPECT_EQ(field(info.pcurrent_mac), "00:00:00:00:00:00");
    EXPECT_EQ(field(info.pipv6_shorthand_addr), "::1");
    EXPECT_EQ(info.pipv6_refix_length, 128U);
    EXPECT_EQ(info.ipv6_scope, ipv6_loopback_scope);
    free_dynamic_interface_info(&info);
}

TEST_F(InterfaceAddresses, SeveralIpv6AddressesGiveTheFirstLineOfTheFile)
{
    for (int i = 1; i <= 6; i++) {
        ASSERT_TRUE(run("ip -6 addr add 2001:db8:1::" + std::to_string(i) + "/" + std::to_string(100 + i) +
                        " dev ta nodad"));
    }
    auto [column, prefix, scope] = first_if_inet6_line("ta");
    ASSERT_EQ(column.size(), 32U);
    dynamic_interface_info_t info;
    ASSERT_EQ(query("ta", &info), 0);
    EXPECT_EQ(field(info.pipv6_addr), grouped(column));
    EXPECT_EQ(info.pipv6_refix_length, std::stoul(prefix, nullptr, 16));
    std::string ip6 = output("ip -o -6 addr show dev ta");
    EXPECT_NE(ip6.find("inet6 " + field(info.pipv6_shorthand_addr) + "/" + std::to_string(info.pipv6_refix_length)),
              std::string::npos)
        << ip6;
    free_dynamic_interface_info(&info);
}

TEST_F(InterfaceAddresses, IndexAbove255WidensTheIndexColumn)
{
    ASSERT_TRUE(run("ip link add name wide1 index 300 type veth peer name wide2 index 301"));
    ASSERT_TRUE(run("ip -6 addr add 2001:db8:300::1/80 dev wide1 nodad"));
    ASSERT_TRUE(run("ip -6 addr add 2001:db8:301::1/96 dev wide2 nodad"));
    std::ifstream file("/proc/net/if_inet6");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_NE(text.find(" 12c "), std::string::npos) << text;
    dynamic_interface_info_t info;
    ASSERT_EQ(query("wide1", &info), 0);
    EXPECT_EQ(field(info.pipv6_shorthand_addr), "2001:db8:300::1");
    EXPECT_EQ(info.pipv6_refix_length, 80U);
    free_dynamic_interface_info(&info);
    ASSERT_EQ(query("wide2", &info), 0);
    EXPECT_EQ(field(info.pipv6_shorthand_addr), "2001:db8:301::1");
    EXPECT_EQ(info.pipv6_refix_length, 96U);
    free_dynamic_interface_info(&info);
}

TEST_F(InterfaceAddresses, MissingAndOverlongNamesLeaveAClearedRecord)
{
    const char *names[] = {"nosuch0", "abcdefghijklmnop", "ta-and-far-too-long"};
    for (const char *pname : names) {
        dynamic_interface_info_t info;
        std::memset(&info, 0x5a, sizeof(info));
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        int32_t want = std::strlen(pname) > 15 ? 1 : 0;
        EXPECT_EQ(query(pname, &info), want) << pname;
        EXPECT_EQ(get_logical_interface_status(const_cast<char *>(pname)), link_unknown);
        EXPECT_EQ(testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr(), "") << pname;
        dynamic_interface_info_t cleared{};
        EXPECT_EQ(std::memcmp(&info, &cleared, sizeof(info)), 0) << pname;
    }
}

TEST_F(InterfaceAddresses, WithoutIfInet6TheOtherFieldsStayFilled)
{
    EXPECT_EXIT(
        {
            // This child's own view of /proc/net loses its files.
            if (mount("tarvex-test", "/proc/self/net", "tmpfs", 0, nullptr) != 0) {
                std::_Exit(2);
            }
            dynamic_interface_info_t info;
            int32_t rc = query("ta", &info);
            bool ok = rc == 1 && field(info.pip_addr) == "192.0.2.1" && info.pcurrent_mac != nullptr &&
                      info.pipv6_addr == nullptr && info.if_status == link_up;
            free_dynamic_interface_info(&info);
            std::_Exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(InterfaceAddresses, WithoutRawSocketPrivilegeQuietFailure)
{
    EXPECT_EXIT(
        {
            // An unprivileged user cannot open the raw socket.
            if (setgid(65534) != 0 || setuid(65534) != 0) {
                std::_Exit(2);
            }
            dynamic_interface_info_t info;
            std::memset(&info, 0x5a, sizeof(info));
            dynamic_interface_info_t cleared{};
            bool ok = query("ta", &info) == -1 && std::memcmp(&info, &cleared, sizeof(info)) == 0 &&
                      get_logical_interface_status(const_cast<char *>("ta")) == link_unknown;
            std::_Exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "^$");
}

TEST_F(InterfaceAddresses, NoDescriptorOutlivesAThousandQueries)
{
    int before = open_descriptors();
    for (int i = 0; i < 1000; i++) {
        dynamic_interface_info_t info;
        ASSERT_EQ(query("ta", &info), 0);
        free_dynamic_interface_info(&info);
        ASSERT_EQ(get_logical_interface_status(const_cast<char *>("tb")), link_down);
    }
    EXPECT_EQ(open_descriptors(), before);
}
