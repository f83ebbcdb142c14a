// SPDX-License-Identifier: MIT
// Parsers of the inventory and port map listings, of interface bus
// addresses and of PCI entry names; which links are Ethernet ports of a PCI
// adapter.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

#include "ethernet_ports.h"
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

TEST(BusAddress, ShortAndFullFormsNameTheSameFunction)
{
    for (std::string_view text : {"0000:0b:00.1"sv, "0b:00.1"sv, " 0b:00.1"sv, "0x0b:0x0.0x1"sv, "0001:0b:00.1"sv,
                                  "0b:00.1 trailing"sv, "0b:00.1\0:::"sv}) {
        pci_function_address address{7, 7, 7};
        ASSERT_EQ(parse_bus_address(text, &address), bus_address_form::parsed) << text;
        EXPECT_EQ(std::tie(address.bus, address.device, address.function), std::make_tuple(0x0bU, 0U, 1U)) << text;
    }
}

TEST(BusAddress, ClassifiesWhatCannotBeLookedUp)
{
    const std::pair<std::string_view, bus_address_form> cases[] = {
        {"", bus_address_form::no_colon}, {"usb-0000.1", bus_address_form::no_colon},
        {"\0:0b:00.1"sv, bus_address_form::no_colon}, // nothing after the terminator counts
        {"a:b:c:d.e", bus_address_form::too_many_colons}, {"0000:0b:00:00.1", bus_address_form::too_many_colons},
        {"::::::", bus_address_form::too_many_colons},    {"0000:zz:00.1", bus_address_form::unparsable},
        {"0b:00", bus_address_form::unparsable},          {"0b:00.", bus_address_form::unparsable},
        {"0b :00.1", bus_address_form::unparsable}, // no blank allowed before a separator
        {":0b.1", bus_address_form::unparsable},          {"0000:0b:00,1", bus_address_form::unparsable},
    };
    for (const auto &[text, form] : cases) {
        pci_function_address address{7, 7, 7};
        EXPECT_EQ(parse_bus_address(text, &address), form) << text;
        EXPECT_EQ(address.bus, 7U) << "nothing is handed out unless parsed: " << text;
    }
}

TEST(PciEntryName, NeedsAllFourFields)
{
    pci_function_address address{};
    ASSERT_TRUE(parse_pci_entry_name("0000:00:1f.6", &address));
    EXPECT_EQ(address.bus, 0U);
    EXPECT_EQ(address.device, 0x1fU);
    EXPECT_EQ(address.function, 6U);
    ASSERT_TRUE(parse_pci_entry_name("10000:ff:1f.7", &address));
    EXPECT_EQ(address.bus, 0xffU);
    for (std::string_view name : {"."sv, ".."sv, "pci0000:00"sv, "0b:00.1"sv, "0000:0b:00"sv, ""sv, "0000:0b:00.x"sv}) {
        EXPECT_FALSE(parse_pci_entry_name(name, &address)) << name;
    }
}

// What tarvex-facts lists beyond "eth" names: type 1 links whose driver
// names a PCI function, as the kernel writes it.
TEST(PciEthernetPort, TypeOneAndTheKernelsPciName)
{
    const std::pair<std::string_view, bool> types[] = {
        {"1\n", true}, {"1", true}, {"32\n", false}, {"772\n", false}, {"65534\n", false},
        {"11\n", false}, {"1 \n", false}, {"", false},
    };
    for (const auto &[text, ethernet] : types) {
        EXPECT_EQ(is_ethernet_link_type(text), ethernet) << text;
    }
    const std::pair<std::string_view, bool> buses[] = {
        {"0000:0b:00.0", true},  {"0000:3B:1F.7", true},   {"10000:00:02.0", true}, {"0000:0b:00.8", false},
        {"0b:00.0", false},      {"000:0b:00.0", false},   {"0000:0b:00.0 ", false}, {"0000:0b:0.0", false},
        {"N/A", false},          {"tun", false},           {"", false},             {"usb-0000:00:14.0-2", false},
        {"0000:00:14.0-2", false}, {"virtio0", false},     {"000000000:00:00.0", false},
    };
    for (const auto &[text, pci] : buses) {
        EXPECT_EQ(is_pci_bus_address(text), pci) << text;
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
    pci_function_address address{};
    for (const std::string &text : {bytes, std::string(10000, 'f'), std::string(10000, '0') + "b 0 3",
                                    std::string(10000, ' ') + "3 1 5 2", std::string(10000, ':'),
                                    std::string(10000, '-'), std::string("0x")}) {
        for (size_t cut = 0; cut <= text.size(); cut += 1 + text.size() / 64) {
            std::string_view piece(text.data(), cut);
            parse_inventory_line(piece, &inventory);
            parse_port_map_line(piece, &port_map);
            parse_bus_address(piece, &address);
            parse_pci_entry_name(piece, &address);
        }
    }
    EXPECT_EQ(parse_bus_address(std::string(10000, ':'), &address), bus_address_form::too_many_colons);
}

} // namespace
