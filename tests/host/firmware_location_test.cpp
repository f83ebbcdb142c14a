// SPDX-License-Identifier: MIT
// The firmware location query on fake hosts rebuilt from real servers' records
// (lines as the firmware samples give them) and a board with quirks seen
// elsewhere, one host per process: a PCI tree on a tmpfs over /sys/bus/pci
// (parents before children), a table on a tmpfs over /sys/firmware.  "t41"
// lines give the function's label and index; "dmi none|cut N": no table, or
// the table short of N bytes; "absent": the query answers 1; "message": the
// start of the one line on standard error.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common_utilities.h"
#include "host_test_support.h"
#include "smbios_table.h"

namespace fs = std::filesystem;

namespace {

struct host_case {
    const char *name;
    std::string description;
};

const std::string cisco_functions = R"(
fn 0000:00:01.0 060400 8086 6f02 8086 0000 bus=01-02
fn 0000:00:01.1 060400 8086 6f03 8086 0000 bus=03-03
fn 0000:00:02.0 060400 8086 6f04 8086 0000 bus=04-0c
fn 0000:01:00.0 020000 8086 1521 1137 00d5 slot=0
fn 0000:01:00.1 020000 8086 1521 1137 00d5 slot=0
fn 0000:04:00.0 060400 1137 004e 0000 0000 bus=05-0c slot=0-2
fn 0000:05:01.0 060400 1137 0041 1137 012e bus=07-0c
fn 0000:07:00.0 060400 1137 0040 1137 012e bus=08-0c
fn 0000:08:00.0 060400 1137 0041 1137 012e bus=09-09
fn 0000:08:01.0 060400 1137 0041 1137 012e bus=0a-0a
fn 0000:09:00.0 020000 1137 0043 1137 012e
fn 0000:0a:00.0 020000 1137 0043 1137 012e
t41 0x0012 03 enabled 1 0000:00:02.0 " Onboard IGD"
expect 0000:01:00.0 firmware_slot={"name": "0", "port": 1, "source": "hotplug"} onboard=null
expect 0000:01:00.1 firmware_slot={"name": "0", "port": 2, "source": "hotplug"} onboard=null
)";

const std::string supermicro = R"(
fn 0000:00:02.0 060400 8086 1f11 15d9 0820 bus=03-03
fn 0000:00:03.0 060400 8086 1f12 15d9 0820 bus=04-04
fn 0000:00:14.0 020000 8086 1f41 15d9 1f41
fn 0000:00:14.1 020000 8086 1f41 15d9 1f41
fn 0000:00:14.2 020000 8086 1f41 15d9 1f41
fn 0000:00:14.3 020000 8086 1f41 15d9 1f41
fn 0000:03:00.0 028000 168c 0030 168c 3112
t9 0x001F 17 a8 0a 04 03 0c 01 3 0000:03:00.0 "CPU1 SLOT4 PCI-E 2.0 X4"
t9 0x0020 17 a9 0b 03 03 0c 01 5 0000:04:00.0 "CPU1 SLOT6 PCI-E 2.0 X8"
t41 0x002D 05 enabled 1 0000:00:14.0 " Intel Ethernet i354 #1"
t41 0x002E 05 enabled 2 0000:00:14.1 " Intel Ethernet i354 #2"
t41 0x002F 05 enabled 3 0000:00:14.2 " Intel Ethernet i354 #3"
t41 0x0030 05 enabled 4 0000:00:14.3 " Intel Ethernet i354 #4"
expect 0000:00:14.0 firmware_slot=null onboard={"index": 1, "label": "Intel Ethernet i354 #1"}
expect 0000:00:14.1 firmware_slot=null onboard={"index": 2, "label": "Intel Ethernet i354 #2"}
expect 0000:00:14.2 firmware_slot=null onboard={"index": 3, "label": "Intel Ethernet i354 #3"}
expect 0000:00:14.3 firmware_slot=null onboard={"index": 4, "label": "Intel Ethernet i354 #4"}
expect 0000:03:00.0 firmware_slot=null onboard=null
)";

const host_case hosts[] = {
    {"cisco_c220m4", cisco_functions + R"(
t9 0x0046 17 b6 0d 03 04 04 04 1 0000:0e:00.0 "SlotID:1"
t9 0x0047 17 b6 0d 03 04 04 04 2 0000:81:00.0 "SlotID:2"
t9 0x0048 17 b5 0b 04 03 04 04 3 0000:04:00.0 "SlotID:MLOM"
t9 0x0049 17 b5 0b 04 03 04 04 4 0000:0d:00.0 "SlotID:HBA"
expect 0000:09:00.0 firmware_slot={"name": "SlotID:MLOM", "port": 1, "source": "smbios"} onboard=null
expect 0000:0a:00.0 firmware_slot={"name": "SlotID:MLOM", "port": 2, "source": "smbios"} onboard=null
)"},
    // Not root: the table cannot be read, the card's upstream port's hotplug slot answers.
    {"cisco_c220m4_no_table", cisco_functions + R"(
dmi none
expect 0000:09:00.0 firmware_slot={"name": "0-2", "port": 1, "source": "hotplug"} onboard=null
expect 0000:0a:00.0 firmware_slot={"name": "0-2", "port": 2, "source": "hotplug"} onboard=null
)"},
    {"hp_bl460cg6", R"(
fn 0000:00:01.0 060400 8086 3408 103c 330b bus=02-02
fn 0000:00:03.0 060400 8086 340a 103c 330b bus=03-05
fn 0000:00:07.0 060400 8086 340e 103c 330b bus=06-08
fn 0000:00:09.0 060400 8086 3410 103c 330b bus=09-0b
fn 0000:02:00.0 020000 14e4 1650 103c 7058
fn 0000:02:00.1 020000 14e4 1650 103c 7058
fn 0000:06:00.0 020000 14e4 163a 103c 171d slot=1
fn 0000:06:00.1 020000 14e4 163a 103c 171d slot=1
t9 0x0901 17 af 0b 04 04 04 01 1 0000:06:00.0 "Mezzanine 1"
t9 0x0902 17 af 0b 03 04 04 01 2 0000:09:00.0 "Mezzanine 2"
t9 0x0903 17 a8 0a 03 04 04 01 3 0000:03:00.0 "Mezzanine 3"
expect 0000:02:00.0 firmware_slot=null onboard=null
expect 0000:02:00.1 firmware_slot=null onboard=null
expect 0000:06:00.0 firmware_slot={"name": "Mezzanine 1", "port": 1, "source": "smbios"} onboard=null
expect 0000:06:00.1 firmware_slot={"name": "Mezzanine 1", "port": 2, "source": "smbios"} onboard=null
)"},
    {"supermicro_a1srm", supermicro},
    {"supermicro_a1srm_cut_table", supermicro + R"(
dmi cut 3
message INFO: malformed SMBIOS table /sys/firmware/dmi/tables/DMI: errno=74, Bad message, common_utilities_firmware.cpp,
)"},
    // Slot structures naming a root port (a sibling of 00:02.0 in one bridge
    // device), nothing ("-") and the host bridge; a hotplug slot on that
    // two-function bridge device; a root-bus LOM; a hypervisor's acpi_index
    // filler; a dual-port card with its own switch and SR-IOV virtual
    // functions, one between its two ports in address order.
    {"board_quirks", R"(
fn 0000:00:00.0 060000
fn 0000:00:02.0 060400 bus=03-03 slot=7
fn 0000:00:02.2 060400 bus=04-04
fn 0000:00:19.0 020000
fn 0000:03:00.0 020000 acpi_index=16777216
fn 0000:04:00.0 060400 bus=05-07
fn 0000:05:00.0 060400 bus=06-06
fn 0000:05:01.0 060400 bus=07-07
fn 0000:06:00.0 020000
fn 0000:06:00.4 020000 physfn=0000:06:00.0
fn 0000:07:00.0 020000
fn 0000:07:00.4 020000 physfn=0000:07:00.0
t41 0x0020 05 enabled 1 0000:00:19.0 "Onboard LAN  "
t41 0x0021 05 enabled 3 0000:03:00.0 " Embedded NIC 3"
t9 0x0901 11 a9 0b 03 04 04 00 1 0000:00:02.2 "PCIE2"
t9 0x0902 11 a9 0b 03 04 04 00 2 - "PCIE3"
t9 0x0903 11 a9 0b 03 04 04 00 3 0000:00:00.0 "PCIE4"
expect 0000:00:19.0 firmware_slot=null onboard={"index": 1, "label": "Onboard LAN"}
expect 0000:03:00.0 firmware_slot=null onboard={"index": null, "label": "Embedded NIC 3"}
expect 0000:06:00.0 firmware_slot={"name": "PCIE2", "port": 1, "source": "smbios"} onboard=null
expect 0000:06:00.4 firmware_slot={"name": "PCIE2", "port": 1, "source": "smbios"} onboard=null
expect 0000:07:00.0 firmware_slot={"name": "PCIE2", "port": 2, "source": "smbios"} onboard=null
expect 0000:07:00.4 firmware_slot={"name": "PCIE2", "port": 2, "source": "smbios"} onboard=null
absent 0000:0f:00.0
absent 00:19.0
absent 0000:00:19.0/..
)"},
};

// The fake host, written as its description is read
struct fake_host {
    std::map<std::string, fs::path> bridge_below;  // "segment:bus" -> directory of the bridge above it
    std::string table;
    std::vector<std::pair<std::string, std::string>> expected;  // address, answer ("": absent)
    std::string message;
    std::string dmi = "present";
    size_t cut = 0;

    explicit fake_host(const std::string &description)
    {
        fs::create_directories("/sys/bus/pci/devices");
        fs::create_directories("/sys/bus/pci/slots");
        std::istringstream lines(description);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::string kind;
            std::string address;
            words >> kind;
            if (kind == "fn") {
                add_function(words);
            } else if (kind == "t9" || kind == "t41") {
                add_record(kind, words, line.substr(line.find('"') + 1, line.rfind('"') - line.find('"') - 1));
            } else if (kind == "dmi") {
                words >> dmi >> cut;
            } else if (kind == "expect" || kind == "absent") {
                words >> address;
                expected.emplace_back(address, kind == "absent" ? "" : line.substr(line.find("firmware_slot=")));
            } else if (kind == "message") {
                message = line.substr(8);
            }
        }
        table += smbios_table::end_of_table;
        if (dmi != "none") {
            fs::create_directories("/sys/firmware/dmi/tables");
            std::ofstream("/sys/firmware/dmi/tables/DMI", std::ios::binary) << table.substr(0, table.size() - cut);
        }
    }

    void add_function(std::istringstream &words)
    {
        std::string address;
        std::string class_code;
        words >> address >> class_code;
        auto parent = bridge_below.find(address.substr(0, 7));
        fs::path directory = (parent != bridge_below.end() ? parent->second
                                                           : fs::path("/sys/bus/pci/tree/pci" + address.substr(0, 7))) /
                             address;
        fs::create_directories(directory);
        fs::create_directory_symlink(directory, "/sys/bus/pci/devices/" + address);
        std::ofstream(directory / "class") << "0x" << class_code << "\n";
        for (std::string word; words >> word;) {
            std::string key = word.substr(0, word.find('='));
            std::string value = word.substr(word.find('=') + 1);
            if (key == "bus") {
                bridge_below[address.substr(0, 5) + value.substr(0, 2)] = directory;
            } else if (key == "slot") {
                fs::create_directories("/sys/bus/pci/slots/" + value);
                std::ofstream("/sys/bus/pci/slots/" + value + "/address") << address.substr(0, 10) << "\n";
            } else if (key == "physfn") {
                fs::create_directory_symlink("../" + value, directory / key);
            } else if (key == "acpi_index") {
                std::ofstream(directory / key) << value << "\n";
            }
        }
    }

    void add_record(const std::string &kind, std::istringstream &words, const std::string &designation)
    {
        uint32_t f[9];
        std::string field;
        for (int i = 0; i < (kind == "t9" ? 9 : 4); i++) {
            words >> field;
            f[i] = static_cast<uint32_t>(std::strtoul(field.c_str(), nullptr, 16));
        }
        std::string address;
        words >> address;
        if (kind == "t41") {
            std::ofstream("/sys/bus/pci/devices/" + address + "/label") << designation << "\n";
            std::ofstream("/sys/bus/pci/devices/" + address + "/index") << f[3] << "\n";
            return;
        }
        unsigned segment = 0xFFFF, bus = 0xFF, device = 0x1F, function = 7;
        std::sscanf(address.c_str(), "%x:%x:%x.%x", &segment, &bus, &device, &function);
        table += smbios_table::slot(f, segment, bus, device << 3 | function, designation);
    }
};

// The answer in the firmware samples' notation.
std::string answer(const firmware_location_t &location)
{
    auto text = [](const char *ptext) { return ptext == nullptr ? std::string("null") : '"' + std::string(ptext) + '"'; };
    auto number = [](int32_t value) { return value < 0 ? std::string("null") : std::to_string(value); };
    std::string slot = "null";
    if (location.slot_source != firmware_slot_none) {
        slot = "{\"name\": " + text(location.pslot_name) + ", \"port\": " + number(location.slot_port) +
               ", \"source\": \"" + firmware_slot_source_text[location.slot_source] + "\"}";
    }
    std::string onboard = "null";
    if (location.onboard_index >= 0 || location.ponboard_label != nullptr) {
        onboard = "{\"index\": " + number(location.onboard_index) + ", \"label\": " + text(location.ponboard_label) + "}";
    }
    return "firmware_slot=" + slot + " onboard=" + onboard;
}

class FirmwareLocation : public testing::TestWithParam<host_case> {};

TEST_P(FirmwareLocation, AnswersAsTheFirmwareSays)
{
    if (!privately_mounted("/sys/bus/pci", tmpfs_magic) || !privately_mounted("/sys/firmware", tmpfs_magic)) {
        GTEST_SKIP() << "needs private tmpfs mounts over /sys/bus/pci and /sys/firmware";
    }
    fake_host host(GetParam().description);
    // .ci/smbios-tables reads the tables back with an independent SMBIOS reader.
    if (const char *pdump_dir = std::getenv("TARVEX_SMBIOS_DUMP_DIR")) {
        std::ofstream(std::string(pdump_dir) + "/" + GetParam().name + ".dump", std::ios::binary)
            << smbios_table::dump_file(host.table);
    }
    int descriptors = open_descriptors();
    testing::internal::CaptureStderr();
    for (auto &[address, expected] : host.expected) {
        firmware_location_t location;
        EXPECT_EQ(get_firmware_location(address.data(), &location), expected.empty() ? 1 : 0) << address;
        EXPECT_EQ(answer(location), expected.empty() ? "firmware_slot=null onboard=null" : expected) << address;
        free_firmware_location_members(&location);
        EXPECT_TRUE(location.pslot_name == nullptr && location.ponboard_label == nullptr);
    }
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages.substr(0, host.message.size()), host.message);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), host.message.empty() ? 0 : 1) << messages;
    EXPECT_EQ(open_descriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(Hosts, FirmwareLocation, testing::ValuesIn(hosts),
                         [](const testing::TestParamInfo<host_case> &param) { return std::string(param.param.name); });

}  // namespace
