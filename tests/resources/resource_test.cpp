// SPDX-License-Identifier: MIT
// Descriptors and child processes: every query that opens a socket, a file
// or a pipe, called 10,000 times, leaves the process's descriptor count as
// it was and no child unreaped.  The program runs in private namespaces
// (tests/resources.cmake): a network namespace, a tmpfs over the PCI device
// tree and over /opt, an overlay of /etc.  The driver stand-in answers for
// interface "lo" as a PCI function with an EEPROM, so that the driver, PCI
// and EEPROM paths all run to their end.
#include <gtest/gtest.h>

#include <linux/ethtool.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "common_utilities.h"
#include "fake_driver.h"
#include "host_test_support.h"

namespace {

constexpr int calls = 10000;
constexpr const char *bus_address = "0000:0b:00.0";
const std::string pci_dir = std::string("/sys/bus/pci/devices/") + bus_address;
// The first catalogue row: an Intel board, so its address is at EEPROM 0.
constexpr const char *text_file = "/run/tarvex-resource-text";
constexpr int32_t catalogued[4] = {0x8086, 0x1000, 0x1C5E, 0x7100};
const driver_reply lo_driver{.driver = "fake", .bus = bus_address, .eeprom = {0x00, 0x1b, 0x21, 0x80, 0xfe, 0x01}};

void write_file(const std::string &path, const std::string &text, mode_t mode = 0644)
{
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
}

bool no_child_left()
{
    errno = 0;
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

class Resources : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!privately_mounted("/sys/bus/pci/devices", tmpfs_magic) || !privately_mounted("/opt", tmpfs_magic) ||
            !privately_mounted("/etc", overlayfs_magic)) {
            GTEST_SKIP() << "needs root and private namespaces (run through in_private_namespace.sh)";
        }
        mkdir(pci_dir.c_str(), 0755);
        const char *attributes[4] = {"vendor", "device", "subsystem_vendor", "subsystem_device"};
        for (int i = 0; i < 4; i++) {
            char value[16];
            std::snprintf(value, sizeof(value), "0x%04x\n", catalogued[i]);
            write_file(pci_dir + "/" + attributes[i], value);
        }
        write_file(pci_dir + "/class", "0x020000\n");
        driver_script() = {{"lo", ETHTOOL_GDRVINFO, 0, lo_driver},
                           {"lo", ETHTOOL_GLINK, 0, lo_driver},
                           {"lo", ETHTOOL_GEEPROM, 0, lo_driver}};
        write_file("/etc/redhat-release", "Red Hat Enterprise Linux ES release 4 (Nahant)\n");
        unlink("/etc/SuSE-release");
        write_file(text_file, "  NAME=a\n# NAME=b\nNAME=c\nother\n");
    }

    // Runs the call 10,000 times; the descriptor count must not move and no
    // child may be left.  The call checks its own result on the way.
    void expect_no_leak(const std::function<void()> &call)
    {
        int before = open_descriptors();
        ASSERT_GT(before, 0);
        for (int i = 0; i < calls && !HasFailure(); i++) {
            call();
        }
        int after = open_descriptors();
        EXPECT_EQ(after, before);
        EXPECT_TRUE(no_child_left());
        std::printf("descriptors: %d before, %d after %d calls; no child left: %s\n", before, after, calls,
                    no_child_left() ? "yes" : "no");
    }
};

// Calls that open and close a socket or files, each checking its result.
struct leak_case {
    const char *name;
    void (*call)();
};

char lo[] = "lo";

const leak_case leak_cases[] = {
    {"DriverQueryClosesItsSocket",
     [] {
         ethtool_info info;
         ASSERT_EQ(get_ethtool_info(lo, &info), 0);
         ASSERT_STREQ(info.pbus_info, bus_address);
         free_ethtool_info_members(&info);
     }},
    {"PciIdentityClosesItsFiles",
     [] {
         int32_t ids[4] = {};
         char bus[] = "0000:0b:00.0";
         ASSERT_EQ(get_pci_info(bus, &ids[0], &ids[1], &ids[2], &ids[3]), 0);
         ASSERT_EQ(ids[3], catalogued[3]);
     }},
    {"AddressQueriesCloseSocketsAndFiles",
     [] {
         dynamic_interface_info_t info;
         ASSERT_EQ(get_dynamic_interface_info(lo, &info), 0);
         ASSERT_STREQ(info.pcurrent_mac, "00:00:00:00:00:00");
         free_dynamic_interface_info(&info);
         ASSERT_EQ(get_logical_interface_status(lo), link_down);  // lo of a new namespace is down
     }},
    {"PermanentMacClosesEverything",
     [] {
         char *pmac = nullptr;
         ASSERT_EQ(get_permanent_mac_addr(lo, &pmac), 0);
         ASSERT_STREQ(pmac, "00:1B:21:80:FE:01");
         free(pmac);
     }},
    {"TextReadingClosesItsFiles",
     [] {
         std::string path = text_file;
         FILE *pfile = nullptr;
         char *pline = nullptr;
         size_t size = 0;
         alloc_read_a_line_vars(&pfile, &pline, &size);
         int lines = 0;
         while (read_a_line(path.data(), &pfile, &pline, &size) != -1) {
             lines++;
         }
         free_read_a_line_vars(&pfile, &pline, &size);
         ASSERT_EQ(lines, 4);

         char **pptokens = nullptr;
         int32_t count = 0;
         char token[] = "NAME";
         ASSERT_EQ(read_tokens(path.data(), token, 1, &pptokens, &count), 2);
         free_read_tokens(&pptokens, count);
     }},
    {"DistributionDetectionClosesTheReleaseFile",
     [] {
         linux_distro_name_t name;
         linux_distro_type_t type;
         int32_t version = 0;
         char *pofficial = nullptr;
         ASSERT_EQ(detect_linux_distro(&name, &type, &version, &pofficial), 0);
         ASSERT_EQ(type, rh_es);
         ASSERT_EQ(version, 4);
         free(pofficial);
         ASSERT_EQ(tolmar_installed(), 0);
     }},
};

class NoLeak : public Resources, public testing::WithParamInterface<leak_case> {};

TEST_P(NoLeak, Call)
{
    expect_no_leak(GetParam().call);
}

INSTANTIATE_TEST_SUITE_P(Resources, NoLeak, testing::ValuesIn(leak_cases),
                         [](const testing::TestParamInfo<leak_case> &param) { return std::string(param.param.name); });

TEST_F(Resources, InterfaceListClosesTheDirectory)
{
    int32_t listed = 0;
    DIR *pdir = opendir("/sys/class/net");
    ASSERT_NE(pdir, nullptr);
    for (struct dirent *pentry; (pentry = readdir(pdir)) != nullptr;) {
        listed += pentry->d_name[0] != '.';
    }
    closedir(pdir);
    expect_no_leak([listed] {
        char **ppif = nullptr;
        int32_t count = 0;
        ASSERT_EQ(get_interface_list(&ppif, nullptr, &count), 0);
        ASSERT_EQ(count, listed);
        free(ppif);
    });
}

// A function whose subsystem files are missing: two files read, then the
// failure; its error line goes to /dev/null here, 10,000 times.
TEST_F(Resources, PciIdentityFailureClosesItsFiles)
{
    std::string partial = "/sys/bus/pci/devices/0000:0c:00.0";
    mkdir(partial.c_str(), 0755);
    write_file(partial + "/vendor", "0x8086\n");
    write_file(partial + "/device", "0x1000\n");
    int saved_stderr = dup(2);
    int null_fd = open("/dev/null", O_WRONLY);
    ASSERT_GE(null_fd, 0);
    dup2(null_fd, 2);
    expect_no_leak([] {
        int32_t ids[4] = {-5, -5, -5, -5};
        char bus[] = "0000:0c:00.0";
        ASSERT_EQ(get_pci_info(bus, &ids[0], &ids[1], &ids[2], &ids[3]), 1);
        ASSERT_EQ(ids[0], -5);
    });
    dup2(saved_stderr, 2);
    close(saved_stderr);
    close(null_fd);
}

// The management tools run through popen once per process, on the first
// slot query: every run is reaped, and later queries start nothing.
TEST_F(Resources, ToolRunsAreReapedAndNotRepeated)
{
    mkdir("/opt/vantor", 0755);
    mkdir("/opt/vantor/utils", 0755);
    write_file("/opt/vantor/utils/tessio",
               "#!/bin/sh\necho run >>/run/tarvex-tool-runs\nprintf 'h1\\nh2\\n0b 00 x x x 3\\n'\n", 0755);
    write_file("/opt/vantor/utils/tolmarcli",
               "#!/bin/sh\necho run >>/run/tarvex-tool-runs\nprintf 'h1\\nh2\\nh3\\n3 0 5 2\\n'\n", 0755);
    unlink("/run/tarvex-tool-runs");
    ASSERT_EQ(tolmar_installed(), 1);
    expect_no_leak([] {
        int32_t slot = 0, port = 0, bay = 0, bay_port = 0;
        char bus[] = "0000:0b:00.0";
        ASSERT_EQ(get_slot_info(bus, &slot, &port, &bay, &bay_port), 0);
        ASSERT_EQ(slot, 3);
        ASSERT_EQ(port, 1);
        ASSERT_EQ(bay, 5);
        ASSERT_EQ(bay_port, 2);
    });
    std::ifstream runs("/run/tarvex-tool-runs");
    int lines = 0;
    for (std::string line; std::getline(runs, line);) {
        lines++;
    }
    EXPECT_EQ(lines, 2);  // the inventory tool for the one Ethernet function, the CLI once
}

}  // namespace

namespace {

// Distribution detection on release files of 10 MB on one line.
class HugeReleaseFile : public Resources {
protected:
    static constexpr size_t ten_mb = 10 * 1024 * 1024;

    void detect(const std::string &text, int32_t expected_rc, linux_distro_name_t expected_name,
                int32_t expected_version, const std::string &expected_official)
    {
        write_file("/etc/redhat-release", text);
        linux_distro_name_t name = unknown_distro;
        linux_distro_type_t type = unknown_distro_type;
        int32_t version = -1;
        char *pofficial = nullptr;
        int before = open_descriptors();
        EXPECT_EQ(detect_linux_distro(&name, &type, &version, &pofficial), expected_rc);
        EXPECT_EQ(open_descriptors(), before);
        EXPECT_EQ(name, expected_name);
        EXPECT_EQ(version, expected_version);
        ASSERT_NE(pofficial, nullptr);
        EXPECT_TRUE(pofficial == expected_official) << "official name of " << std::strlen(pofficial) << " bytes";
        free(pofficial);
    }
};

TEST_F(HugeReleaseFile, TenMegabytesOnOneLine)
{
    std::string tail(ten_mb, 'x');
    detect("Red Hat Enterprise Linux ES release 4 (" + tail + ")\n", 0, rh_distro, 4,
           "Red Hat Enterprise Linux ES release 4 (" + tail + ")");
    std::string blanks(ten_mb, ' ');
    detect(blanks + "Fedora Core release 6", 0, fedora_core_distro, 6, "Fedora Core release 6");
    // A version of ten million digits reads as the largest int32_t.
    std::string digits(ten_mb, '9');
    detect("SUSE Linux Enterprise Server " + digits + "\n", 0, suse_distro, INT32_MAX,
           "SUSE Linux Enterprise Server " + digits);
    std::string unknown(ten_mb, 'q');
    detect(unknown, 1, unknown_distro, 0, unknown);
}

}  // namespace
