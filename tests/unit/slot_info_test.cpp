// SPDX-License-Identifier: MIT
// Slot and bay decisions on the test's own lists and lines, no tool run; and
// get_slot_info on bus addresses it must not look up (the port map stays unbuilt).
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "common_utilities.h"
#include "slot_numbering.h"

TEST(SlotNumbering, FirstInventoryLineNamingTheDeviceGivesItsSlotInHex)
{
    struct row { std::vector<std::string_view> lines; std::optional<int32_t> slot; size_t read; };
    for (const row &r : {row{{"0b 00 3", "0b 00 4"}, 3, 1}, row{{"0b 01 3", "0a 00 3", "0b 00 10"}, 16, 3},
                         row{{"0b 00", "0b 00 80000000", "0b 00 3"}, -1, 2}, row{{"0b 01 3"}, std::nullopt, 1}}) {
        size_t read = 0;
        auto next = [&](std::string_view *pline) { return read < r.lines.size() && (*pline = r.lines[read++], true); };
        EXPECT_EQ(device_slot(next, 0x0b, 0), r.slot) << r.lines.front(); // a slot too wide is -1, yet found
        EXPECT_EQ(read, r.read) << "no line asked for after the match";
    }
}

TEST(SlotNumbering, PortsCountFromZeroPerSlotAndTheFirstPortMapLineNamingOneGivesItsBay)
{
    // Per node: slot, then port in the slot and bay.  Slot 3 spans devices; 300 is beyond 128 slots; -1 is none.
    const std::array<int32_t, 3> rows[] = {{3, 0, -1}, {-1, -1, -1}, {0, 0, 6}, {300, 0, 3},
                                           {3, 1, 0},  {0, 1, 2},    {3, 2, -1}};
    // Line i (slot, zero-based port) brings bay i; a second line for a node and one naming none are dropped.
    vrk_nic_port_map_info lines[] = {{3, 1, 0, 0}, {3, 1, 1, 0}, {0, 1, 2, 0}, {300, 0, 3, 0},
                                     {7, 0, 4, 0}, {3, 3, 5, 0}, {0, 0, 6, 0}};
    std::vector<vrk_network_adapter> nodes(std::size(rows));
    for (size_t i = 0, n = nodes.size(); i < n; i++) {
        nodes[i] = {rows[i][0], -1, 0, static_cast<uint32_t>(i), 0, nullptr, &nodes[(i + n - 1) % n], &nodes[(i + 1) % n]};
        nodes[i].slot_port = port_in_slot(nodes.data(), &nodes[i]);
    }
    for (vrk_nic_port_map_info &line : lines) {
        if (vrk_network_adapter_p p = adapter_at_port(nodes.data(), line.slot, line.slot_port); takes_bay_record(p)) {
            p->nic_port_map = &line;
        }
    }
    for (size_t i = 0; i < nodes.size(); i++) {
        EXPECT_EQ(nodes[i].slot_port, rows[i][1]) << "node " << i;
        EXPECT_EQ(nodes[i].nic_port_map ? nodes[i].nic_port_map->SWM_bay : -1, rows[i][2]) << "node " << i;
    }
}

TEST(GetSlotInfo, AddressesThatNameNoFunctionFailBeforeAnyLookupAndOnlyThreeColonsWarn)
{
    char texts[][24] = {"", "usb-1.2", "0000:zz:00.1", "0b:00", "0000:100000000:00.0", "0000:0b:00:00.1"};
    const std::string warning = "WARNING: unable to parse \"0000:0b:00:00.1\", common_utilities_slot.cpp,";
    for (char *ptext : {static_cast<char *>(nullptr), texts[0], texts[1], texts[2], texts[3], texts[4], texts[5]}) {
        std::array<int32_t, 4> values{7, 7, 7, 7};
        testing::internal::CaptureStdout();
        EXPECT_EQ(get_slot_info(ptext, &values[0], &values[1], &values[2], &values[3]), 1) << (ptext ? ptext : "-");
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(values, (std::array<int32_t, 4>{-1, -1, -1, -1}));
        EXPECT_EQ(ptext == texts[5] ? out.substr(0, warning.size()) : out, ptext == texts[5] ? warning : "");
        EXPECT_EQ(out.find('\n'), ptext == texts[5] ? out.size() - 1 : std::string::npos);
    }
}
