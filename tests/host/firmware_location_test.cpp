// SPDX-License-Identifier: MIT
// The firmware location queries on fake hosts rebuilt from real servers'
// records, a board with quirks seen elsewhere and the adapters of today's
// servers (partitioned ports, ARI, several ports on one function).  Each
// host is a description of the fake-host builder (tools/fakehost.sh), which
// this test runs itself under, one host per process; the lines below it
// say what to expect: "expect ADDRESS... ANSWER" (get_firmware_location),
// "expect_if NAME... ANSWER" (get_interface_firmware_location), "absent
// ADDRESS" (the query answers 1), "message TEXT" (the start of the one line
// on standard error).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common_utilities.h"
#include "host_test_support.h"

namespace {

struct host_case {
    const char *name;
    std::string description;
};

const std::string cisco_functions = R"(
pci 0000:00:01.0 class=0x060400
pci 0000:00:01.1 class=0x060400
pci 0000:00:02.0 class=0x060400 index=1
pci_attr 0000:00:02.0 label  Onboard IGD\n
pci 0000:01:00.0 class=0x020000 parent=0000:00:01.0
pci 0000:01:00.1 class=0x020000 parent=0000:00:01.0
pci_slot 0 0000:01:00
pci 0000:04:00.0 class=0x060400 parent=0000:00:02.0
pci_slot 0-2 0000:04:00
pci 0000:05:01.0 class=0x060400 parent=0000:04:00.0
pci 0000:07:00.0 class=0x060400 parent=0000:05:01.0
pci 0000:08:00.0 class=0x060400 parent=0000:07:00.0
pci 0000:08:01.0 class=0x060400 parent=0000:07:00.0
pci 0000:09:00.0 class=0x020000 parent=0000:08:00.0
pci 0000:0a:00.0 class=0x020000 parent=0000:08:01.0
expect 0000:01:00.0 firmware_slot={"name": "0", "port": 1, "source": "hotplug"} onboard=null
expect 0000:01:00.1 firmware_slot={"name": "0", "port": 2, "source": "hotplug"} onboard=null
)";

const std::string supermicro = R"(
pci 0000:00:02.0 class=0x060400
pci 0000:00:03.0 class=0x060400
pci 0000:00:14.0 class=0x020000 index=1
pci 0000:00:14.1 class=0x020000 index=2
pci 0000:00:14.2 class=0x020000 index=3
pci 0000:00:14.3 class=0x020000 index=4
pci_attr 0000:00:14.0 label  Intel Ethernet i354 #1\n
pci_attr 0000:00:14.1 label  Intel Ethernet i354 #2\n
pci_attr 0000:00:14.2 label  Intel Ethernet i354 #3\n
pci_attr 0000:00:14.3 label  Intel Ethernet i354 #4\n
pci 0000:03:00.0 class=0x028000 parent=0000:00:02.0
smbios_slot 0x001F 17 a8 0a 04 03 0c 01 3 0000:03:00.0 CPU1 SLOT4 PCI-E 2.0 X4
smbios_slot 0x0020 17 a9 0b 03 03 0c 01 5 0000:04:00.0 CPU1 SLOT6 PCI-E 2.0 X8
expect 0000:00:14.0 firmware_slot=null onboard={"index": 1, "label": "Intel Ethernet i354 #1"}
expect 0000:00:14.1 firmware_slot=null onboard={"index": 2, "label": "Intel Ethernet i354 #2"}
expect 0000:00:14.2 firmware_slot=null onboard={"index": 3, "label": "Intel Ethernet i354 #3"}
expect 0000:00:14.3 firmware_slot=null onboard={"index": 4, "label": "Intel Ethernet i354 #4"}
expect 0000:03:00.0 firmware_slot=null onboard=null
)";

// count Ethernet functions of one adapter on bus 3b numbered by ARI (function
// 10 shows as 3b:01.2), each with one interface; with port_ids, their
// phys_port_id values rotate over that many physical ports.
std::string ari_adapter(int count, int port_ids)
{
    std::string text = "pci 0000:3a:00.0 class=0x060400\n";
    for (int f = 0; f < count; f++) {
        char line[160];
        std::snprintf(line, sizeof(line), "pci 0000:3b:%02x.%d class=0x020000 ari_enabled=1 parent=0000:3a:00.0 net=ens%d:0%s\n",
                      f / 8, f % 8, f, port_ids > 0 ? (":aa0" + std::to_string(f % port_ids)).c_str() : "");
        text += line;
    }
    return text;
}

const host_case hosts[] = {
    {"cisco_c220m4", cisco_functions + R"(
smbios_slot 0x0046 17 b6 0d 03 04 04 04 1 0000:0e:00.0 SlotID:1
smbios_slot 0x0047 17 b6 0d 03 04 04 04 2 0000:81:00.0 SlotID:2
smbios_slot 0x0048 17 b5 0b 04 03 04 04 3 0000:04:00.0 SlotID:MLOM
smbios_slot 0x0049 17 b5 0b 04 03 04 04 4 0000:0d:00.0 SlotID:HBA
expect 0000:09:00.0 firmware_slot={"name": "SlotID:MLOM", "port": 1, "source": "smbios"} onboard=null
expect 0000:0a:00.0 firmware_slot={"name": "SlotID:MLOM", "port": 2, "source": "smbios"} onboard=null
)"},
    // Not root: the table cannot be read, the card's upstream port's hotplug slot answers.
    {"cisco_c220m4_no_table", cisco_functions + R"(
expect 0000:09:00.0 firmware_slot={"name": "0-2", "port": 1, "source": "hotplug"} onboard=null
expect 0000:0a:00.0 firmware_slot={"name": "0-2", "port": 2, "source": "hotplug"} onboard=null
)"},
    {"hp_bl460cg6", R"(
pci 0000:00:01.0 class=0x060400
pci 0000:00:03.0 class=0x060400
pci 0000:00:07.0 class=0x060400
pci 0000:00:09.0 class=0x060400
pci 0000:02:00.0 class=0x020000 parent=0000:00:01.0
pci 0000:02:00.1 class=0x020000 parent=0000:00:01.0
pci 0000:06:00.0 class=0x020000 parent=0000:00:07.0
pci 0000:06:00.1 class=0x020000 parent=0000:00:07.0
pci_slot 1 0000:06:00
smbios_slot 0x0901 17 af 0b 04 04 04 01 1 0000:06:00.0 Mezzanine 1
smbios_slot 0x0902 17 af 0b 03 04 04 01 2 0000:09:00.0 Mezzanine 2
smbios_slot 0x0903 17 a8 0a 03 04 04 01 3 0000:03:00.0 Mezzanine 3
expect 0000:02:00.0 0000:02:00.1 firmware_slot=null onboard=null
expect 0000:06:00.0 firmware_slot={"name": "Mezzanine 1", "port": 1, "source": "smbios"} onboard=null
expect 0000:06:00.1 firmware_slot={"name": "Mezzanine 1", "port": 2, "source": "smbios"} onboard=null
)"},
    {"supermicro_a1srm", supermicro},
    // A table beyond 4 MiB is read whole.
    {"supermicro_a1srm_large_table", supermicro + "smbios_filler 5000000\n"},
    {"supermicro_a1srm_cut_table", supermicro + R"(
smbios_cut 3
message INFO: malformed SMBIOS table /sys/firmware/dmi/tables/DMI: errno=74, Bad message, common_utilities_firmware.cpp,
)"},
    // Slot structures naming a root port (a sibling of 00:02.0 in one bridge
    // device), nothing ("-") and the host bridge; a hotplug slot on that
    // two-function bridge device; a root-bus LOM; a hypervisor's acpi_index
    // filler; a dual-port card with its own switch and SR-IOV virtual
    // functions, one between its two ports in address order.
    {"board_quirks", R"(
pci 0000:00:00.0 class=0x060000
pci 0000:00:02.0 class=0x060400
pci_slot 7 0000:00:02
pci 0000:00:02.2 class=0x060400
pci 0000:00:19.0 class=0x020000 index=1
pci_attr 0000:00:19.0 label Onboard LAN  \n
pci 0000:03:00.0 class=0x020000 parent=0000:00:02.0 acpi_index=16777216 index=3
pci_attr 0000:03:00.0 label  Embedded NIC 3\n
pci 0000:04:00.0 class=0x060400 parent=0000:00:02.2
pci 0000:05:00.0 class=0x060400 parent=0000:04:00.0
pci 0000:05:01.0 class=0x060400 parent=0000:04:00.0
pci 0000:06:00.0 class=0x020000 parent=0000:05:00.0
pci 0000:06:00.4 class=0x020000 parent=0000:05:00.0 physfn=0000:06:00.0
pci 0000:07:00.0 class=0x020000 parent=0000:05:01.0
pci 0000:07:00.4 class=0x020000 parent=0000:05:01.0 physfn=0000:07:00.0
smbios_slot 0x0901 17 a9 0b 03 04 04 00 1 0000:00:02.2 PCIE2
smbios_slot 0x0902 17 a9 0b 03 04 04 00 2 - PCIE3
smbios_slot 0x0903 17 a9 0b 03 04 04 00 3 0000:00:00.0 PCIE4
expect 0000:00:19.0 firmware_slot=null onboard={"index": 1, "label": "Onboard LAN"}
expect 0000:03:00.0 firmware_slot=null onboard={"index": null, "label": "Embedded NIC 3"}
expect 0000:06:00.0 0000:06:00.4 firmware_slot={"name": "PCIE2", "port": 1, "source": "smbios"} onboard=null
expect 0000:07:00.0 0000:07:00.4 firmware_slot={"name": "PCIE2", "port": 2, "source": "smbios"} onboard=null
absent 0000:0f:00.0
absent 00:19.0
absent 0000:00:19.0/..
)"},
    // A dual-port mezzanine split into partitions, two of them storage.
    {"partitioned_ports", R"(
pci 0000:00:03.0 class=0x060400
pci 0000:04:00.0 class=0x020000 parent=0000:00:03.0 net=eno1:0:aa01
pci 0000:04:00.1 class=0x020000 parent=0000:00:03.0 net=eno2:0:aa02
pci 0000:04:00.2 class=0x020000 parent=0000:00:03.0 net=eno3:0:aa01
pci 0000:04:00.3 class=0x020000 parent=0000:00:03.0 net=eno4:0:aa02
pci 0000:04:00.4 class=0x0c0400 parent=0000:00:03.0
pci 0000:04:00.5 class=0x010000 parent=0000:00:03.0
pci 0000:04:00.6 class=0x020000 parent=0000:00:03.0 net=eno5:0:aa01
pci 0000:04:00.7 class=0x020000 parent=0000:00:03.0 net=eno6:0:aa02
smbios_slot 0x0901 17 af 0b 04 04 04 01 1 0000:04:00.0 Mezzanine 1
expect 0000:04:00.0 0000:04:00.2 0000:04:00.6 firmware_slot={"name": "Mezzanine 1", "port": 1, "source": "smbios"} onboard=null
expect 0000:04:00.1 0000:04:00.3 0000:04:00.7 firmware_slot={"name": "Mezzanine 1", "port": 2, "source": "smbios"} onboard=null
expect_if eno5 firmware_slot={"name": "Mezzanine 1", "port": 1, "source": "smbios"} onboard=null
expect 0000:04:00.4 firmware_slot=null onboard=null
)"},
    // Sixteen functions on an ARI bus, named by one slot record, four ports.
    {"ari_sixteen_functions", ari_adapter(16, 4) + R"(
smbios_slot 0x0903 17 b6 0d 03 04 04 01 3 0000:3b:00.0 Slot 3
expect 0000:3b:00.0 0000:3b:00.4 0000:3b:01.0 0000:3b:01.4 firmware_slot={"name": "Slot 3", "port": 1, "source": "smbios"} onboard=null
expect 0000:3b:00.1 0000:3b:00.5 0000:3b:01.1 0000:3b:01.5 firmware_slot={"name": "Slot 3", "port": 2, "source": "smbios"} onboard=null
expect 0000:3b:00.2 0000:3b:00.6 0000:3b:01.2 0000:3b:01.6 firmware_slot={"name": "Slot 3", "port": 3, "source": "smbios"} onboard=null
expect 0000:3b:00.3 0000:3b:00.7 0000:3b:01.3 0000:3b:01.7 firmware_slot={"name": "Slot 3", "port": 4, "source": "smbios"} onboard=null
)"},
    // Ten functions on an ARI bus in a hotplug slot, no phys_port_id.
    {"ari_hotplug", ari_adapter(10, 0) + R"(
pci_slot 5 0000:3b:00
expect 0000:3b:00.0 firmware_slot={"name": "5", "port": 1, "source": "hotplug"} onboard=null
expect 0000:3b:01.0 firmware_slot={"name": "5", "port": 9, "source": "hotplug"} onboard=null
expect_if ens9 firmware_slot={"name": "5", "port": 10, "source": "hotplug"} onboard=null
)"},
    // One function with two ports (dev_port), without and with phys_port_id,
    // and a virtual function's interface; a slot record whose designation is
    // blank names nothing; indexes that are not plain decimal are none.
    {"ports_on_one_function", R"(
pci 0000:00:04.0 class=0x060400
pci 0000:00:05.0 class=0x060400
pci 0000:05:00.0 class=0x020000 parent=0000:00:04.0 net=p1:1 net=p0:0 index=0x10
pci 0000:05:00.2 class=0x020000 parent=0000:00:04.0 physfn=0000:05:00.0 net=v0:0
pci 0000:06:00.0 class=0x020000 parent=0000:00:05.0 net=q0:0:cc01 net=q1:1:cc02 acpi_index=12abc
pci_slot 4 0000:05:00
pci_slot 6 0000:06:00
smbios_slot 0x0904 17 b6 0d 03 04 04 01 4 0000:06:00.0 \x20\x20
expect_if p0 v0 firmware_slot={"name": "4", "port": 1, "source": "hotplug"} onboard=null
expect_if p1 firmware_slot={"name": "4", "port": 2, "source": "hotplug"} onboard=null
expect_if q0 firmware_slot={"name": "6", "port": 1, "source": "hotplug"} onboard=null
expect_if q1 firmware_slot={"name": "6", "port": 2, "source": "hotplug"} onboard=null
absent_if nothere
)"},
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

bool expectation(const std::string &kind)
{
    return kind.starts_with("expect") || kind.starts_with("absent") || kind == "message";
}

// Outside the fake host: this case again, in a fake host built from the
// description's host lines, written to $TARVEX_FIRMWARE_HOSTS_DIR (where
// .ci/smbios-tables reads their tables back) or a scratch directory.  Exit
// status 77: no root or namespaces.
int run_inside_fake_host(const host_case &host)
{
    const char *pdir = std::getenv("TARVEX_FIRMWARE_HOSTS_DIR");
    std::string file = (pdir != nullptr ? std::string(pdir) + "/" : testing::TempDir()) + host.name + ".host";
    std::ofstream out(file);
    std::istringstream lines(host.description);
    for (std::string line, kind; std::getline(lines, line);) {
        if (!expectation(kind = line.substr(0, line.find(' ')))) {
            out << line << '\n';
        }
    }
    out.close();
    std::string filter = std::string("--gtest_filter=Hosts/FirmwareLocation.AnswersAsTheFirmwareSays/") + host.name;
    int status = std::system(("bash " TARVEX_FAKEHOST " " + file + " -- /proc/" + std::to_string(getpid()) +
                              "/exe " + filter + " >&2")
                                 .c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

class FirmwareLocation : public testing::TestWithParam<host_case> {};

TEST_P(FirmwareLocation, AnswersAsTheFirmwareSays)
{
    if (std::getenv("TARVEX_FAKE_HOST") == nullptr) {
        int status = run_inside_fake_host(GetParam());
        if (status == 77) {
            GTEST_SKIP() << "needs root and private namespaces for the fake host";
        }
        EXPECT_EQ(status, 0);
        return;
    }
    int descriptors = open_descriptors();
    testing::internal::CaptureStderr();
    std::string message;
    std::istringstream lines(GetParam().description);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "message") {
            message = line.substr(8);
        }
        size_t answer_at = line.find(" firmware_slot=");
        for (std::string name; kind.starts_with("expect") || kind.starts_with("absent");) {
            if (!(words >> name) || name.starts_with("firmware_slot=")) {
                break;
            }
            firmware_location_t location;
            int32_t rc = kind.ends_with("_if") ? get_interface_firmware_location(name.data(), &location)
                                               : get_firmware_location(name.data(), &location);
            EXPECT_EQ(rc, kind.starts_with("absent") ? 1 : 0) << name;
            EXPECT_EQ(answer(location), kind.starts_with("absent") ? "firmware_slot=null onboard=null"
                                                                   : line.substr(answer_at + 1))
                << name;
            free_firmware_location_members(&location);
            EXPECT_TRUE(location.pslot_name == nullptr && location.ponboard_label == nullptr);
        }
    }
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages.substr(0, message.size()), message);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), message.empty() ? 0 : 1) << messages;
    EXPECT_EQ(open_descriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(Hosts, FirmwareLocation, testing::ValuesIn(hosts),
                         [](const testing::TestParamInfo<host_case> &param) { return std::string(param.param.name); });

}  // namespace
