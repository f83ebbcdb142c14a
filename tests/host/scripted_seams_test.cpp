// SPDX-License-Identifier: MIT
// The permanent MAC address end to end, and the address queries' failure
// messages.  The driver stand-in answers as a driver over a fake EEPROM
// image; this binary's own interface ioctl seam fails scripted requests and
// passes the others to the kernel.  The PCI identity comes from a tmpfs over
// /sys/bus/pci/devices and the interface requests go to a private network
// namespace (in_private_namespace.sh --net --tmpfs /sys/bus/pci/devices).
#include <gtest/gtest.h>

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common_utilities.h"
#include "fake_driver.h"
#include "host_test_support.h"
#include "host_queries.h"
#include "host_query_parse.h"
#include "platform.h"
#include "nic_db.h"

// The interface requests and the interface listing
namespace script {
std::map<unsigned long, int> interface_errno;  // request -> errno it fails with
int scandir_errno = 0;  // the interface listing fails with it; 0: the real listing
}  // namespace script

extern "C" int scandir(const char *pdir, struct dirent ***pppentries, int (*pfilter)(const struct dirent *),
                       int (*pcompare)(const struct dirent **, const struct dirent **))
{
    if (script::scandir_errno != 0) {
        errno = script::scandir_errno;
        return -1;
    }
    using scandir_fn = decltype(&scandir);
    static auto preal = reinterpret_cast<scandir_fn>(dlsym(RTLD_NEXT, "scandir"));
    return preal(pdir, pppentries, pfilter, pcompare);
}

extern "C" int tarvex_interface_ioctl(int fd, unsigned long request, struct ifreq *pifr)
{
    auto failure = script::interface_errno.find(request);
    if (failure != script::interface_errno.end()) {
        errno = failure->second;
        return -1;
    }
    return ::ioctl(fd, request, pifr);
}

namespace {

constexpr int32_t intel = 0x8086;
constexpr int32_t broadcom = 0x14E4;

// What the EEPROM table makes of a catalogue row's port.
const host_query::eeprom_rule *rule_of(const nic_hw_db_t &row, uint32_t function)
{
    return host_query::find_eeprom_rule(row.pci_ven, row.pci_dev, row.pci_sub_dev, function);
}

// A multi-port board's first two ports read different places; a chip's own
// place is one its rule names the device for.
bool multi_port(const nic_hw_db_t &r)
{
    return rule_of(r, 0) != rule_of(r, 1);
}

bool chip_place(const nic_hw_db_t &r)
{
    return rule_of(r, 0) != nullptr && rule_of(r, 0)->device != host_query::any_id;
}

// Catalogue rows of each kind the EEPROM places tell apart, as the table
// sorts them; the end-to-end rows below say independently where each reads.
const std::map<std::string, std::function<bool(const nic_hw_db_t &)>> row_kinds = {
    {"intel multi-port", [](const nic_hw_db_t &r) { return r.pci_ven == intel && multi_port(r); }},
    {"intel single-port", [](const nic_hw_db_t &r) { return r.pci_ven == intel && !multi_port(r); }},
    {"broadcom multi-port", [](const nic_hw_db_t &r) { return r.pci_ven == broadcom && multi_port(r); }},
    {"broadcom single-port",
     [](const nic_hw_db_t &r) { return r.pci_ven == broadcom && !multi_port(r) && !chip_place(r); }},
    {"broadcom fixed place", [](const nic_hw_db_t &r) { return r.pci_ven == broadcom && chip_place(r); }},
    {"other chip maker", [](const nic_hw_db_t &r) { return rule_of(r, 0) == nullptr; }},
};

const nic_hw_db_t *first_row(const std::string &kind)
{
    for (const nic_hw_db_t &row : nic_hw) {
        if (row_kinds.at(kind)(row)) {
            return &row;
        }
    }
    return nullptr;
}

// A fake PCI function: its four identity files under the tmpfs.
void add_pci_function(const std::string &bus, int32_t ven, int32_t dev, int32_t sub_ven, int32_t sub_dev)
{
    std::string dir = "/sys/bus/pci/devices/" + bus;
    mkdir(dir.c_str(), 0755);
    const std::pair<const char *, int32_t> files[] = {
        {"vendor", ven}, {"device", dev}, {"subsystem_vendor", sub_ven}, {"subsystem_device", sub_dev}};
    for (auto [name, value] : files) {
        char text[16];
        std::snprintf(text, sizeof(text), "0x%04x\n", static_cast<unsigned>(value));
        std::ofstream(dir + "/" + name) << text;
    }
}

// The EEPROM image: a distinct address at each place, with the two bytes
// that precede it in the Broadcom default layout.
std::vector<uint8_t> eeprom_image()
{
    std::vector<uint8_t> image(512, 0x11);
    const std::pair<size_t, std::vector<uint8_t>> places[] = {
        {0, {0x02, 0x00, 0x00, 0x00, 0x00, 0xFF}},
        {124, {0xEE, 0xEE, 0x00, 0x10, 0x18, 0xA1, 0xB2, 0xC3}},
        {204, {0xDD, 0xDD, 0x00, 0x10, 0x18, 0x0A, 0x80, 0xFF}},
        {310, {0x00, 0x0A, 0xF7, 0x12, 0x34, 0x56}},
    };
    for (const auto &[offset, bytes] : places) {
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    return image;
}

// eth7's driver: its record with the bus address, the EEPROM image, and the
// errno of each request that fails.
void script_eth7(const std::string &bus, int drvinfo_errno = 0, int eeprom_errno = 0,
                 std::vector<uint8_t> image = eeprom_image())
{
    driver_reply reply{.driver = "fake", .bus = bus, .eeprom = std::move(image)};
    driver_script() = {{"eth7", ETHTOOL_GDRVINFO, drvinfo_errno, reply},
                       {"eth7", ETHTOOL_GLINK, 0, reply},
                       {"eth7", ETHTOOL_GEEPROM, eeprom_errno, reply}};
    driver_requests().clear();
}

// A MAC query asks for the driver record and the link before the EEPROM.
constexpr seen_request record_request{ETHTOOL_GDRVINFO, 0, 0};
constexpr seen_request link_request{ETHTOOL_GLINK, 0, 0};

struct mac_result {
    int32_t result;
    std::string text;  // "(untouched)" when the pointer was not written
    std::string messages;
};

mac_result permanent_mac(const char *pif_name)
{
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    mac_result r{};
    r.text = handed_back_text(
        [&](char **pptext) { r.result = get_permanent_mac_addr(const_cast<char *>(pif_name), pptext); });
    r.messages = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    return r;
}

class ScriptedSeams : public testing::Test {
protected:
    void SetUp() override
    {
        if (!privately_mounted("/sys/bus/pci/devices", tmpfs_magic) || !in_private_namespace("net")) {
            GTEST_SKIP() << "needs a private tmpfs over /sys/bus/pci/devices and a private network namespace "
                            "(run through in_private_namespace.sh)";
        }
        script::interface_errno.clear();
        script::scandir_errno = 0;
    }

    // Puts a PCI function behind the bus address: the first catalogue row of
    // the kind, an Intel function the catalogue lacks, or none ("").
    void board(const std::string &kind, const std::string &bus)
    {
        if (kind == "not catalogued") {
            add_pci_function(bus, intel, 0xFFFF, 0, 0);
        } else if (!kind.empty()) {
            const nic_hw_db_t *prow = first_row(kind);
            ASSERT_NE(prow, nullptr) << "the catalogue has no " << kind << " row";
            add_pci_function(bus, prow->pci_ven, prow->pci_dev, prow->pci_sub_ven, prow->pci_sub_dev);
        }
    }
};

}  // namespace

TEST_F(ScriptedSeams, EepromPlacesEndToEnd)
{
    struct row {
        const char *kind;
        const char *bus;
        const char *want;
        std::pair<uint32_t, uint32_t> read;
    };
    const row rows[] = {
        {"intel multi-port", "0000:0b:00.1", "02:00:00:00:01:00", {0, 6}},
        {"intel multi-port", "0000:0b:00.0", "02:00:00:00:00:FF", {0, 6}},
        {"intel multi-port", "0000:0b:00.2", "02:00:00:00:00:FF", {0, 6}},
        {"intel single-port", "0000:0c:00.1", "02:00:00:00:00:FF", {0, 6}},
        {"broadcom multi-port", "0000:0d:00.0", "00:10:18:0A:80:FF", {204, 8}},
        {"broadcom multi-port", "0000:0d:00.1", "00:10:18:A1:B2:C3", {124, 8}},
        {"broadcom multi-port", "0000:0d:00", "00:10:18:0A:80:FF", {204, 8}},
        {"broadcom single-port", "0000:0e:00.0", "00:10:18:A1:B2:C3", {124, 8}},
        {"broadcom fixed place", "0000:0f:00.0", "00:0A:F7:12:34:56", {310, 6}},
        {"broadcom fixed place", "0000:0f:00.1", "00:0A:F7:12:34:56", {310, 6}},
    };
    for (const row &r : rows) {
        SCOPED_TRACE(std::string(r.kind) + " at " + r.bus);
        board(r.kind, r.bus);
        script_eth7(r.bus);
        mac_result got = permanent_mac("eth7");
        EXPECT_EQ(got.result, 0);
        EXPECT_EQ(got.text, r.want);
        EXPECT_EQ(got.messages, "");
        const seen_request read{ETHTOOL_GEEPROM, r.read.first, r.read.second};
        EXPECT_EQ(driver_requests(), (std::vector<seen_request>{record_request, link_request, read}));
    }
    // The second port's address wraps to zero when the first is all-FF.
    std::vector<uint8_t> image = eeprom_image();
    std::fill_n(image.begin(), 6, 0xFF);
    script_eth7("0000:0b:00.1", 0, 0, image);
    EXPECT_EQ(permanent_mac("eth7").text, "00:00:00:00:00:00");
}

TEST_F(ScriptedSeams, PermanentMacFailuresLeaveTheResultUntouched)
{
    struct row {
        const char *kind;  // what board() puts behind the bus address
        const char *bus;
        int drvinfo_errno;
        int eeprom_errno;
        const char *name;
        std::string message;  // how the one message starts; "": none
        std::vector<seen_request> requests;
    };
    const seen_request intel_read{ETHTOOL_GEEPROM, 0, 6};
    const row rows[] = {
        {"intel multi-port", "0000:0b:00.1", 0, EOPNOTSUPP, "eth7", "", {record_request, link_request, intel_read}},
        {"intel multi-port", "0000:0b:00.1", 0, EIO, "eth7",
         "ERROR: ETHTOOL_GEEPROM ioctl to eth7 failed, (errno=5, -1), common_utilities_mac.cpp,",
         {record_request, link_request, intel_read}},
        {"broadcom single-port", "0000:0e:00.0", 0, EOPNOTSUPP, "eth7",
         "ERROR: ETHTOOL_GEEPROM ioctl to eth7 failed, (errno=95, -1), ",
         {record_request, link_request, {ETHTOOL_GEEPROM, 124, 8}}},
        {"other chip maker", "0000:10:00.0", 0, 0, "eth7", "", {record_request, link_request}},
        {"not catalogued", "0000:11:00.0", 0, 0, "eth7", "", {record_request, link_request}},
        {"", "0000:99:00.0", 0, 0, "eth7",
         "ERROR: could not open /sys/bus/pci/devices/0000:99:00.0/vendor (errno=2), ",
         {record_request, link_request}},
        // No driver record, so no bus address.
        {"", "0000:99:00.0", EOPNOTSUPP, 0, "eth7", "", {record_request, link_request}},
        // A name too long for the kernel reaches no driver.
        {"", "", 0, 0, "eth7-far-too-long", "", {}},
    };
    for (const row &r : rows) {
        SCOPED_TRACE("row " + std::to_string(&r - rows));
        board(r.kind, r.bus);
        script_eth7(r.bus, r.drvinfo_errno, r.eeprom_errno);
        mac_result got = permanent_mac(r.name);
        EXPECT_EQ(got.result, 1);
        EXPECT_EQ(got.text, "(untouched)");
        EXPECT_EQ(got.messages.substr(0, r.message.size()), r.message);
        if (r.message.empty()) {
            EXPECT_EQ(got.messages, "");
        } else {
            EXPECT_EQ(std::count(got.messages.begin(), got.messages.end(), '\n'), 1) << got.messages;
            EXPECT_NE(got.messages.find("common_utilities_"), std::string::npos) << got.messages;
        }
        EXPECT_EQ(driver_requests(), r.requests);
    }
}

TEST_F(ScriptedSeams, AddressQueryFailuresAreReportedUnlessQuiet)
{
    dynamic_interface_info_t info;
    script::interface_errno = {{SIOCGIFNETMASK, EINVAL}, {SIOCGIFHWADDR, EADDRNOTAVAIL}, {SIOCGIFFLAGS, EPERM}};
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_dynamic_interface_info(const_cast<char *>("lo"), &info), 1);
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("INFO: ioctl(SIOCGIFNETMASK) for lo: errno=22, Invalid argument, "
                            "common_utilities_addr.cpp,"),
              std::string::npos)
        << messages;
    EXPECT_NE(messages.find("ERROR: ioctl(SIOCGIFHWADDR) for lo: errno=99, "), std::string::npos) << messages;
    EXPECT_NE(messages.find("INFO: ioctl(SIOCGIFFLAGS) for lo: errno=1, "), std::string::npos) << messages;
    EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), 3) << messages;
    EXPECT_EQ(info.pnetmask, nullptr);
    EXPECT_EQ(info.pcurrent_mac, nullptr);
    EXPECT_EQ(info.if_status, link_unknown);
    free_dynamic_interface_info(&info);

    // Quiet: no device, no address (the hardware address is quiet only
    // without a device).
    script::interface_errno = {{SIOCGIFADDR, ENODEV}, {SIOCGIFBRDADDR, EADDRNOTAVAIL}, {SIOCGIFHWADDR, ENODEV},
                               {SIOCGIFFLAGS, ENODEV}};
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_dynamic_interface_info(const_cast<char *>("lo"), &info), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    free_dynamic_interface_info(&info);
}

// With an address dump, its answer stands for the IPv4 ioctls, once the
// kernel has named the interface's index; without the index, the ioctls
// are asked after all, and a missing interface stays quiet.
TEST_F(ScriptedSeams, DumpedIpv4AddressesStandForTheIoctlsOnlyWithTheIndex)
{
    static const host_query::ipv4_message dumped{1, "lo", {192, 0, 2, 7}, {255, 255, 255, 0}, {}};
    const ipv4_lookup lookup{[](int32_t index, const char *pif_name, const void *) {
                                 bool lo = index == static_cast<int32_t>(if_nametoindex("lo")) &&
                                           std::strcmp(pif_name, "lo") == 0;
                                 return lo ? &dumped : nullptr;
                             },
                             nullptr};
    unique_fd raw(open_interface_query_socket());
    ASSERT_TRUE(raw.valid());
    char lo[] = "lo";
    struct scripted_case {
        std::map<unsigned long, int> failures;
        int32_t result;
        const char *paddress;
        const char *pmessage;
    };
    for (const scripted_case &c : {scripted_case{{{SIOCGIFADDR, EINVAL}}, 0, "192.0.2.7", ""},
                                   scripted_case{{{SIOCGIFINDEX, EPERM}, {SIOCGIFADDR, EINVAL}}, 1, nullptr,
                                                 "INFO: ioctl(SIOCGIFADDR) for lo: errno=22"},
                                   scripted_case{{{SIOCGIFINDEX, ENODEV}, {SIOCGIFHWADDR, ENODEV}}, 0, nullptr, ""}}) {
        script::interface_errno = c.failures;
        dynamic_interface_info_t info;
        testing::internal::CaptureStderr();
        EXPECT_EQ(get_dynamic_interface_info_on(raw.get(), lo, &info, nullptr, true, &lookup), c.result);
        std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_EQ(messages.rfind(c.pmessage, 0), 0U) << messages;
        EXPECT_EQ(*c.pmessage == '\0', messages.empty()) << messages;
        EXPECT_STREQ(info.pip_addr, c.paddress);
        if (c.paddress != nullptr) {
            EXPECT_STREQ(info.pnetmask, "255.255.255.0");
            EXPECT_STREQ(info.pbroadcast, "0.0.0.0");
            EXPECT_STREQ(info.pcurrent_mac, "00:00:00:00:00:00");
        }
        free_dynamic_interface_info(&info);
    }
}

TEST_F(ScriptedSeams, NoDescriptorOutlivesAThousandMacQueries)
{
    board("broadcom multi-port", "0000:0d:00.0");
    script_eth7("0000:0d:00.0");
    int before = open_descriptors();
    for (int i = 0; i < 1000; i++) {
        ASSERT_EQ(permanent_mac("eth7").text, "00:10:18:0A:80:FF");
    }
    EXPECT_EQ(open_descriptors(), before);
}

TEST_F(ScriptedSeams, InterfaceListingOutOfMemoryIsFatalOtherFailuresAreReported)
{
    char **ppif = nullptr;
    int32_t count = -1;
    script::scandir_errno = ENOMEM;
    EXPECT_DEATH(get_interface_list(&ppif, nullptr, &count),
                 "^ERROR: malloc failed \\(errno=12\\), common_utilities_net.cpp,[0-9]+\n$");
    for (int err : {EACCES, EMFILE, ENFILE, ENOENT}) {
        script::scandir_errno = err;
        testing::internal::CaptureStderr();
        EXPECT_EQ(get_interface_list(&ppif, nullptr, &count), 1);
        std::string line = testing::internal::GetCapturedStderr();
        std::string want = "ERROR: could not list /sys/class/net (errno=" + std::to_string(err) + "), ";
        EXPECT_EQ(line.rfind(want + "common_utilities_net.cpp,", 0), 0U) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
        EXPECT_EQ(ppif, nullptr);
        EXPECT_EQ(count, 0);
    }
}

// A line whose 32-character address column inet_pton refuses: the message on
// standard output, result 1, the full form kept and no short form.  The
// kernel writes only hexadecimal, so a tmpfs over /proc (of this private
// mount namespace) serves the file; procfs drops bind mounts on its files.
TEST_F(ScriptedSeams, UnconvertibleIpv6AddressIsReported)
{
    ASSERT_EQ(mount("tarvex-proc", "/proc", "tmpfs", 0, "mode=0755"), 0) << std::strerror(errno);
    mkdir("/proc/net", 0755);
    std::ofstream("/proc/net/if_inet6") << "fe80zz00000000000000000000000001 01 40 20 80       lo\n";
    dynamic_interface_info_t info;
    testing::internal::CaptureStdout();
    int32_t result = get_dynamic_interface_info(const_cast<char *>("lo"), &info);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(umount2("/proc", MNT_DETACH), 0) << std::strerror(errno);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(out.rfind("INFO: could not get ipv6 addr for lo: errno=", 0), 0U) << out;
    EXPECT_NE(out.find(", common_utilities_addr.cpp,"), std::string::npos) << out;
    ASSERT_NE(info.pipv6_addr, nullptr);
    EXPECT_STREQ(info.pipv6_addr, "fe80:zz00:0000:0000:0000:0000:0000:0001");
    EXPECT_EQ(info.pipv6_shorthand_addr, nullptr);
    free_dynamic_interface_info(&info);
}
