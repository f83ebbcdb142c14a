// SPDX-License-Identifier: MIT
// The pure parsers and formatters behind the host queries.
#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include "host_query_parse.h"

using namespace host_query;

using mac6 = std::array<uint8_t, 6>;

TEST(IfInet6Line, ReadsKernelLinesIncludingWideIndexColumns)
{
    if_inet6_entry e;
    ASSERT_TRUE(parse_if_inet6_line("fe8000000000000000fc00fffe000001 04 40 20 80     eth0\n", &e));
    EXPECT_STREQ(e.address, "fe8000000000000000fc00fffe000001");
    EXPECT_EQ(std::tie(e.if_index, e.prefix_len, e.scope, e.flags), std::make_tuple(4U, 64U, 0x20U, 0x80U));
    EXPECT_STREQ(e.if_name, "eth0");
    // An index above 0xff widens its column; the rest of the line still counts.
    ASSERT_TRUE(parse_if_inet6_line("20010db8000000000000000000000001 12c 30 00 80 v300", &e));
    EXPECT_EQ(std::tie(e.if_index, e.prefix_len), std::make_tuple(0x12cU, 0x30U));
    EXPECT_STREQ(e.if_name, "v300");
    ASSERT_TRUE(parse_if_inet6_line("20010DB8000000000000000000000001 01 80 10 80 abcdefghijklmnop", &e));
    EXPECT_STREQ(e.if_name, "abcdefghijklmnop");
    // Any 32 address characters are taken; converting them is the caller's test.
    ASSERT_TRUE(parse_if_inet6_line("fe80000000000000000000000000000g 04 40 20 80 eth0", &e));
    EXPECT_STREQ(e.address, "fe80000000000000000000000000000g");
}

TEST(IfInet6Line, RefusesMalformedLinesAndLeavesAZeroedEntry)
{
    const char *bad[] = {
        "",
        "fe800000000000000000000000000001 04 40 20 eth0",             // a column missing
        "fe80000000000000000000000000001 04 40 20 80 eth0",           // 31 digits
        "fe8000000000000000000000000000011 04 40 20 80 eth0",         // 33 digits
        "fe800000000000000000000000000001 04 40 20 80 eth0 extra",    // seven columns
        "fe800000000000000000000000000001 04 40 20 80 abcdefghijklmnopq",  // name of 17
    };
    for (const char *pline : bad) {
        if_inet6_entry e;
        std::memset(&e, 0x5a, sizeof(e));
        EXPECT_FALSE(parse_if_inet6_line(pline, &e)) << pline;
        if_inet6_entry zero{};
        EXPECT_EQ(std::memcmp(&e, &zero, sizeof(e)), 0) << pline;
    }
    // An embedded NUL ends a column like any other non-blank byte: refused.
    if_inet6_entry e;
    EXPECT_FALSE(parse_if_inet6_line(std::string_view("fe800000000000000000000000000001 04\0 40 20 80 eth0", 50), &e));
}

TEST(Ipv6Format, ScopeTableAndFullForm)
{
    const std::pair<uint32_t, ipv6_link_scope_t> scopes[] = {
        {0x00, ipv6_global_scope}, {0x10, ipv6_loopback_scope}, {0x20, ipv6_link_scope}, {0x40, ipv6_site_scope},
        {0x80, ipv6_v4compat_scope}, {0x01, ipv6_unspecified_scope}, {0x12c, ipv6_unspecified_scope}};
    for (auto [column, scope] : scopes) {
        EXPECT_EQ(map_ipv6_scope(column), scope) << column;
    }
    EXPECT_STREQ(format_ipv6_full("FE8000000000000000fc00fffe000001").data(),
                 "FE80:0000:0000:0000:00fc:00ff:fe00:0001");
}

// Every pattern of zero and non-zero groups (with IPv4-compatible and
// -mapped ones among them) prints as the C library prints it.
TEST(Ipv6Format, CompressedAsInetNtop)
{
    for (unsigned pattern = 0; pattern < 256 * 3; pattern++) {
        std::array<uint8_t, 16> bytes{};
        for (size_t group = 0; group < 8; group++) {
            bool set = (pattern >> group & 1) != 0;
            bytes[group * 2] = set && group % 2 == 0 ? 0x0a : 0;
            bytes[group * 2 + 1] = set ? static_cast<uint8_t>(0xf0 + group) : 0;
        }
        if (pattern >= 256) {
            bytes[10] = bytes[11] = pattern >= 512 ? 0xff : 0;
        }
        char expected[INET6_ADDRSTRLEN];
        ASSERT_NE(inet_ntop(AF_INET6, bytes.data(), expected, sizeof(expected)), nullptr);
        EXPECT_STREQ(format_ipv6(bytes).data(), expected) << pattern;
    }
}

TEST(AddressFormat, BytesAreUnsigned)
{
    EXPECT_STREQ(format_ipv4({192, 0, 2, 255}).data(), "192.0.2.255");
    EXPECT_STREQ(format_ipv4({128, 200, 0, 7}).data(), "128.200.0.7");
    EXPECT_STREQ(format_ipv4({9, 10, 99, 100}).data(), "9.10.99.100");
    EXPECT_STREQ(format_mac({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}).data(), "00:1A:2B:3C:4D:5E");
    EXPECT_STREQ(format_mac({0x80, 0xff, 0x0a, 0x00, 0xfe, 0x81}).data(), "80:FF:0A:00:FE:81");
}

// An rtnetlink address dump's batch, built message by message.
struct address_batch {
    std::vector<uint8_t> bytes;

    address_batch &message(uint16_t type, std::vector<uint8_t> body, uint16_t flags = NLM_F_MULTI)
    {
        nlmsghdr header{static_cast<uint32_t>(NLMSG_LENGTH(body.size())), type, flags, 1, 0};
        append(&header, sizeof(header));
        append(body.data(), body.size());
        bytes.resize(NLMSG_ALIGN(bytes.size()));
        return *this;
    }
    void append(const void *pdata, size_t size)
    {
        const auto *pbytes = static_cast<const uint8_t *>(pdata);
        bytes.insert(bytes.end(), pbytes, pbytes + size);
    }
};

// An address message body: family, prefix length, index, attributes.
std::vector<uint8_t> address_body(uint8_t family, uint8_t prefix, uint32_t index,
                                  std::vector<std::pair<uint16_t, std::string>> attributes)
{
    ifaddrmsg header{family, prefix, 0, RT_SCOPE_UNIVERSE, index};
    std::vector<uint8_t> body(reinterpret_cast<uint8_t *>(&header), reinterpret_cast<uint8_t *>(&header + 1));
    for (const auto &[type, payload] : attributes) {
        rtattr attribute{static_cast<uint16_t>(RTA_LENGTH(payload.size())), type};
        body.insert(body.end(), reinterpret_cast<uint8_t *>(&attribute), reinterpret_cast<uint8_t *>(&attribute + 1));
        body.insert(body.end(), payload.begin(), payload.end());
        body.resize(RTA_ALIGN(body.size()));
    }
    return body;
}

std::vector<ipv4_message> parse_batch(const address_batch &batch, dump_progress *pprogress)
{
    std::vector<ipv4_message> taken;
    *pprogress = parse_address_batch(
        batch.bytes,
        [](const ipv4_message *paddress, void *pcontext) {
            static_cast<std::vector<ipv4_message> *>(pcontext)->push_back(*paddress);
        },
        &taken);
    return taken;
}

using ipv4_bytes = std::array<uint8_t, 4>;

TEST(NetlinkAddressDump, GivesWhatTheIoctlsGiveAndStopsAtDone)
{
    address_batch batch;
    batch.message(RTM_NEWADDR, address_body(AF_INET, 24, 7, {{IFA_ADDRESS, std::string("\xc0\x00\x02\x01", 4)},
                                                              {IFA_LOCAL, std::string("\xc0\x00\x02\x01", 4)},
                                                              {IFA_BROADCAST, std::string("\xc0\x00\x02\xff", 4)},
                                                              {IFA_LABEL, std::string("veth0:1\0", 8)}}))
        .message(RTM_NEWADDR, address_body(AF_INET6, 64, 7, {{IFA_ADDRESS, std::string(16, '\x20')}}))
        .message(RTM_NEWADDR, address_body(AF_INET, 32, 8, {{IFA_LABEL, "abcdefghijklmnopq"}}))
        .message(NLMSG_NOOP, {});
    dump_progress progress;
    std::vector<ipv4_message> taken = parse_batch(batch, &progress);
    EXPECT_EQ(progress, dump_progress::more);
    ASSERT_EQ(taken.size(), 2U);
    EXPECT_EQ(taken[0].index, 7);
    EXPECT_STREQ(taken[0].label, "veth0:1");
    EXPECT_EQ(taken[0].local, (ipv4_bytes{192, 0, 2, 1}));
    EXPECT_EQ(taken[0].netmask, (ipv4_bytes{255, 255, 255, 0}));
    EXPECT_EQ(taken[0].broadcast, (ipv4_bytes{192, 0, 2, 255}));
    // No local or broadcast attribute: 0.0.0.0, as the ioctls answer.
    EXPECT_STREQ(taken[1].label, "abcdefghijklmnop");
    EXPECT_EQ(taken[1].local, (ipv4_bytes{}));
    EXPECT_EQ(taken[1].netmask, (ipv4_bytes{255, 255, 255, 255}));
    EXPECT_EQ(taken[1].broadcast, (ipv4_bytes{}));

    batch.message(NLMSG_DONE, {0, 0, 0, 0}).message(RTM_NEWADDR, address_body(AF_INET, 0, 9, {}));
    EXPECT_EQ(parse_batch(batch, &progress).size(), 2U);
    EXPECT_EQ(progress, dump_progress::done);
}

TEST(NetlinkAddressDump, FailsOnErrorsInterruptionsAndMessagesThatDoNotFit)
{
    std::vector<uint8_t> valid = address_body(AF_INET, 8, 1, {{IFA_LOCAL, std::string("\x0a\0\0\x01", 4)}});
    std::vector<uint8_t> attribute_overrun = valid;
    attribute_overrun[sizeof(ifaddrmsg)] = 40;  // rta_len past the message
    address_batch cut_header;
    cut_header.message(RTM_NEWADDR, valid).bytes.resize(NLMSG_ALIGN(NLMSG_LENGTH(valid.size())) + 8);
    address_batch cut_message;
    cut_message.message(RTM_NEWADDR, valid).bytes.resize(NLMSG_LENGTH(valid.size()) - 1);
    address_batch overrun, error, interrupted, short_body;
    overrun.message(RTM_NEWADDR, attribute_overrun);
    error.message(NLMSG_ERROR, {0xff, 0xff, 0xff, 0xff});
    interrupted.message(RTM_NEWADDR, valid, NLM_F_MULTI | NLM_F_DUMP_INTR);
    short_body.message(RTM_NEWADDR, {AF_INET, 8});
    for (const address_batch *pbatch : {&cut_header, &cut_message, &overrun, &error, &interrupted, &short_body}) {
        dump_progress progress;
        std::vector<ipv4_message> taken = parse_batch(*pbatch, &progress);
        EXPECT_EQ(progress, dump_progress::failed) << pbatch->bytes.size();
        EXPECT_LE(taken.size(), 1U);
    }
}

TEST(NetlinkAddressDump, TheIoctlsAnswerFromTheFirstAddressLabelledWithTheName)
{
    auto address = [](const char *plabel, ipv4_bytes local) {
        ipv4_message message{1, "", local, {}, {}};
        std::strncpy(message.label, plabel, sizeof(message.label) - 1);
        return message;
    };
    ipv4_message own = address("veth0", {192, 0, 2, 1});
    ipv4_message unspecified = address("veth0", {0, 0, 0, 0});
    EXPECT_TRUE(answers_address_ioctls(own, "veth0", nullptr));
    EXPECT_FALSE(answers_address_ioctls(address("veth0:1", {192, 0, 2, 2}), "veth0", nullptr));
    EXPECT_FALSE(answers_address_ioctls(address("veth0", {192, 0, 2, 3}), "veth0", &own));
    // Asked with 0.0.0.0, the kernel first looks for that very address.
    EXPECT_TRUE(answers_address_ioctls(unspecified, "veth0", &own));
    EXPECT_FALSE(answers_address_ioctls(own, "veth0", &unspecified));
}

TEST(MacArithmetic, IncrementCarriesAndBrcmLayoutMoves)
{
    EXPECT_EQ(increment_mac({0x02, 0, 0, 0, 0, 0xFF}), (mac6{0x02, 0, 0, 0, 0x01, 0x00}));
    EXPECT_EQ(increment_mac({0x00, 0x1B, 0xFF, 0xFF, 0xFF, 0xFF}), (mac6{0x00, 0x1C, 0, 0, 0, 0}));
    EXPECT_EQ(increment_mac({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), (mac6{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(increment_mac({0x00, 0x10, 0x18, 0x00, 0x00, 0x7F}), (mac6{0x00, 0x10, 0x18, 0x00, 0x00, 0x80}));
    const std::array<uint8_t, 8> data{0xAA, 0xBB, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(mac_from_eeprom_data(data, 2), (mac6{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(mac_from_eeprom_data(data, 0), (mac6{0xAA, 0xBB, 1, 2, 3, 4}));
    EXPECT_EQ(mac_from_eeprom_data(data, 3), (mac6{}));
}

TEST(PciFunction, ReadAfterTheLastDot)
{
    const std::pair<const char *, uint32_t> cases[] = {
        {"0000:0b:00.1", 1}, {"0000:0b:00.0", 0}, {"0000:0b:00.7", 7}, {"0000:0b:00", 0}, {"0000:0b:00.", 0},
        {"a.9.12x", 12},     {"x.x", 0},          {"0.99999999999", 0xFFFFFFFFU}, {"", 0}};
    for (auto [bus, fn] : cases) {
        EXPECT_EQ(pci_function_from_bus(bus), fn) << bus;
    }
}

TEST(TokenLines, SelectedWhenTheTextAfterLeadingSpacesBeginsWithTheToken)
{
    EXPECT_TRUE(token_line_selected("   NAME=x\n", "NAME"));
    EXPECT_TRUE(token_line_selected("NAMES=x # a comment\n", "NAME"));
    EXPECT_FALSE(token_line_selected("\tNAME=x\n", "NAME"));
    EXPECT_FALSE(token_line_selected("#NAME=x\n", "NAME"));
    EXPECT_FALSE(token_line_selected("x NAME\n", "NAME"));
    EXPECT_FALSE(token_line_selected("NAM", "NAME"));
    EXPECT_TRUE(token_line_selected("# anything\n", ""));
    EXPECT_TRUE(token_line_selected("   ", ""));
    EXPECT_FALSE(token_line_selected("  NAME\n", " NAME"));
}

TEST(ReleaseLine, NameEditionAndVersion)
{
    struct row {
        const char *line;
        distro_facts want;
    };
    const row rows[] = {
        {"Red Hat Enterprise Linux ES release 4 (Nahant Update 4)\n", {true, rh_distro, rh_es, 4}},
        {"red hat enterprise linux as release 3 (taroon)", {true, rh_distro, rh_as, 3}},
        {"Red Hat Enterprise Linux WS release 4.4", {true, rh_distro, rh_ws, 4}},
        {"Red Hat Enterprise Linux Server release 5.1 (Tikanga)", {true, rh_distro, unknown_distro_type, 5}},
        {"Red Hat Linux release   9 (Shrike)", {true, rh_distro, unknown_distro_type, 9}},
        {"Red Hat SUSE Fedora Core", {true, rh_distro, unknown_distro_type, 0}},
        {"SUSE Linux Enterprise Server 9 (i586)", {true, suse_distro, suse_es, 9}},
        {"SuSE Linux Enterprise Server-10", {true, suse_distro, suse_es, 0}},
        {"Fedora Core release 6 (Zod)", {true, fedora_core_distro, unknown_distro_type, 6}},
        {"Debian GNU/Linux 12", {false, unknown_distro, unknown_distro_type, 0}},
        {"", {false, unknown_distro, unknown_distro_type, 0}},
    };
    for (const row &r : rows) {
        distro_facts got = classify_release_line(r.line);
        EXPECT_EQ(got.recognised, r.want.recognised) << r.line;
        EXPECT_EQ(got.name, r.want.name) << r.line;
        EXPECT_EQ(got.type, r.want.type) << r.line;
        EXPECT_EQ(got.version, r.want.version) << r.line;
    }
    // A calling program's locale changes nothing: under Turkish rules the C
    // library's toupper('i') is not 'I'.
    char locale_dir[] = "/tmp/tarvex-locale.XXXXXX";
    ASSERT_NE(mkdtemp(locale_dir), nullptr);
    std::string dir = locale_dir;
    if (std::system(("localedef -i tr_TR -f UTF-8 " + dir + "/tr_TR.UTF-8 >/dev/null 2>&1").c_str()) == 0 &&
        setenv("LOCPATH", locale_dir, 1) == 0 && std::setlocale(LC_ALL, "tr_TR.UTF-8") != nullptr) {
        EXPECT_NE(std::toupper('i'), 'I');
        for (const row &r : rows) {
            EXPECT_EQ(classify_release_line(r.line).type, r.want.type) << "tr_TR: " << r.line;
        }
        std::setlocale(LC_ALL, "C");
    } else {
        ADD_FAILURE() << "cannot build the tr_TR.UTF-8 locale (localedef and the locales package are needed)";
    }
    unsetenv("LOCPATH");
    std::filesystem::remove_all(dir);
}
