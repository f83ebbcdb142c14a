// SPDX-License-Identifier: MIT
// Parsers of the inventory and port map listings and of PCI addresses; which
// links are Ethernet links.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

#include "ethernet_ports.h"
#include "pci_host.h"
#include "port_map_parse.h"

using namespace std::string_view_literals;

namespace {

struct inventory_case {
    std::string_view line;
    bool parses;
    inventory_entry expected;
};

TEST(InventoryLine, ReadsBusDeviceAndHexadecimalSlotOrNoSlot)
{
    const inventory_case cases[] = {
        {"0b 00 3", true, {0x0b, 0x00, 3}}, {"0x0B 0X1f 0x0", true, {0x0b, 0x1f, 0}}, // prefixes, slot 0
        {"0b 00 10", true, {0x0b, 0x00, 16}},         // slot column is hexadecimal
        {"  \t0b   00\t3  trailing words", true, {0x0b, 0, 3}},
        {"0b 00 ", false, {}},  // a two-column line as awk hands it over
        {"0b 00", false, {}}, {"", false, {}}, {"0b:00 3", false, {}},
        {"Bus  Dev  Slot", false, {}}, // 'B' reads as a digit, then "us" is no number
        // A slot that a signed slot number cannot hold names no slot.
        {"0b 00 7fffffff", true, {0x0b, 0, 0x7fffffff}}, {"0b 00 80000000", true, {0x0b, 0, -1}},
        {"0b 00 ffffffff", true, {0x0b, 0, -1}}, {"0b 00 -1", true, {0x0b, 0, -1}}, {"0b 00 -5", true, {0x0b, 0, -1}},
        {"0b 00 -0", true, {0x0b, 0, 0}}, {"0b 00 100000003", true, {0x0b, 0, -1}}, // must not wrap round to slot 3
        {"0b 00 80", true, {0x0b, 0, 128}}, // slots beyond the old 128-entry table parse like any other
    };
    for (const auto &c : cases) {
        inventory_entry entry{0xdead, 0xdead, -7};
        EXPECT_EQ(parse_inventory_line(c.line, &entry), c.parses) << c.line;
        if (c.parses) {
            EXPECT_EQ(std::tie(entry.bus, entry.device, entry.slot),
                      std::tie(c.expected.bus, c.expected.device, c.expected.slot)) << c.line;
        } else {
            EXPECT_EQ(entry.slot, -7) << "a failed parse leaves the entry alone: " << c.line;
        }
    }
}

TEST(PortMapLine, ReadsFourDecimalNumbersThatFit)
{
    struct case_t {
        std::string_view line;
        bool parses;
        port_map_entry expected;
    };
    const case_t cases[] = {
        {"3 1 5 2", true, {3, 1, 5, 2}},
        {"  10\t0  12 16  more columns", true, {10, 0, 12, 16}},
        {"-1 -1 5 2", true, {-1, -1, 5, 2}},
        {"3 1 5", false, {}}, {"a 1 5 2", false, {}}, {"Slot Port Bay Port", false, {}}, {"", false, {}},
        {"3 1 5 2"sv.substr(0, 6), false, {}},
    };
    for (const auto &c : cases) {
        port_map_entry entry{-9, -9, -9, -9};
        EXPECT_EQ(parse_port_map_line(c.line, &entry), c.parses) << c.line;
        if (c.parses) {
            EXPECT_EQ(std::tie(entry.slot, entry.slot_port, entry.bay, entry.bay_port),
                      std::tie(c.expected.slot, c.expected.slot_port, c.expected.bay, c.expected.bay_port)) << c.line;
        } else {
            EXPECT_EQ(entry.slot, -9) << c.line;
        }
    }
}

// The one reader of PCI addresses, in each mode: what a caller's bus address
// may say (lenient), what a driver record (driver_record) and the kernel's
// entry names (entry_name) say, and a hotplug slot's device (slot_device).
TEST(PciAddress, EachModeAcceptsItsOwnText)
{
    using enum pci_address_mode;
    constexpr auto parsed = pci_address_form::parsed;
    constexpr auto unparsable = pci_address_form::unparsable;
    const std::tuple<std::string_view, pci_address_mode, pci_address_form> cases[] = {
        {"0000:0b:00.1", lenient, parsed}, {"0b:00.1", lenient, parsed}, {" 0b:00.1", lenient, parsed},
        {"0x0b:0x0.0x1", lenient, parsed}, {"0001:0b:00.1", lenient, parsed}, {"0b:00.1 trailing", lenient, parsed},
        {"0b:00.1\0:::"sv, lenient, parsed}, {"0000:0b:00.1", entry_name, parsed},
        {"0000:0b:00.1", driver_record, parsed}, {"0000:0B:00.1", driver_record, parsed},
        {"0000:0b:00\n", slot_device, parsed}, {"", lenient, pci_address_form::no_colon},
        {"usb-0000.1", lenient, pci_address_form::no_colon}, {"\0:0b:00.1"sv, lenient, pci_address_form::no_colon},
        {"a:b:c:d.e", lenient, pci_address_form::too_many_colons},
        {"0000:0b:00:00.1", entry_name, pci_address_form::too_many_colons}, {"0000:zz:00.1", lenient, unparsable},
        {"0b:00", lenient, unparsable}, {"0b:00.", lenient, unparsable}, {"0b :00.1", lenient, unparsable},
        {":0b.1", lenient, unparsable}, {"0000:0b:00,1", lenient, unparsable}, {"0000:0B:00.1", entry_name, unparsable},
        {"0b:00.1", entry_name, unparsable}, {"0000:0b:00.8", driver_record, unparsable},
        {"000:0b:00.1", driver_record, unparsable}, {"0000:0b:00.1 ", driver_record, unparsable},
        {"0000:0b:0.1", driver_record, unparsable}, {"usb-0000:00:14.0-2", driver_record, unparsable},
        {"000000000:00:00.1", driver_record, unparsable}, {"0000:0b", slot_device, unparsable},
        {"0000:0b:00.1", slot_device, unparsable},
    };
    for (const auto &[text, mode, form] : cases) {
        pci_address address{7, 7, 7, 7};
        EXPECT_EQ(read_pci_address(text, mode, &address), form) << text;
        if (form == parsed) {
            EXPECT_EQ(std::tie(address.bus, address.device, address.function),
                      std::make_tuple(0x0bU, 0U, mode == slot_device ? 0U : 1U)) << text;
        } else {
            EXPECT_EQ(address.bus, 7U) << "nothing is handed out unless parsed: " << text;
        }
    }
    pci_address wide{};
    ASSERT_EQ(read_pci_address("10000:ff:1f.7", entry_name, &wide), parsed);
    EXPECT_EQ(std::tie(wide.segment, wide.bus, wide.device, wide.function), std::make_tuple(0x10000U, 0xffU, 0x1fU, 7U));
}

// What tarvex-facts lists beyond "eth" names: type 1 links.
TEST(PciEthernetPort, TypeOneLinks)
{
    const std::pair<std::string_view, bool> types[] = {
        {"1\n", true}, {"1", true}, {"32\n", false}, {"772\n", false}, {"65534\n", false},
        {"11\n", false}, {"1 \n", false}, {"", false},
    };
    for (const auto &[text, ethernet] : types) {
        EXPECT_EQ(is_ethernet_link_type(text), ethernet) << text;
    }
}

// Whatever bytes a tool prints, the parsers return a sound answer and never
// read outside the text (the sanitizer build checks the latter).
TEST(ListingParsers, SurviveHostileText)
{
    std::string bytes;
    for (int i = 0; i < 256; i++) {
        bytes.push_back(static_cast<char>(i));
    }
    inventory_entry inventory{};
    port_map_entry port_map{};
    pci_address address{};
    for (const std::string &text : {bytes, std::string(10000, 'f'), std::string(10000, '0') + "b 0 3",
                                    std::string(10000, ' ') + "3 1 5 2", std::string(10000, ':'),
                                    std::string(10000, '-'), std::string("0x")}) {
        for (size_t cut = 0; cut <= text.size(); cut += 1 + text.size() / 64) {
            std::string_view piece(text.data(), cut);
            parse_inventory_line(piece, &inventory);
            parse_port_map_line(piece, &port_map);
            for (auto mode : {pci_address_mode::entry_name, pci_address_mode::driver_record, pci_address_mode::lenient,
                              pci_address_mode::slot_device}) {
                read_pci_address(piece, mode, &address);
            }
        }
    }
    EXPECT_EQ(read_pci_address(std::string(10000, ':'), pci_address_mode::lenient, &address),
              pci_address_form::too_many_colons);
}

} // namespace
