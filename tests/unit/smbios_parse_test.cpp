// SPDX-License-Identifier: MIT
// The SMBIOS structure table parser: the slots it reads and the shapes of a
// damaged table it passes over without reading outside the bytes given.
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "smbios_parse.h"

namespace {

std::string bytes(std::initializer_list<uint32_t> values)
{
    std::string text;
    for (uint32_t value : values) {
        text += static_cast<char>(value & 0xFF);
    }
    return text;
}

// A Mezzanine slot structure as a blade's table holds it (bus 06; devfn
// 0x38 is 07.0), cut or padded to its length.  Fake hosts' whole tables
// come from tools/fakehost.sh; these are damaged on purpose.
std::string mezzanine(uint32_t segment, uint32_t devfn, std::string name = "Mezzanine 1", uint32_t length = 0x11)
{
    std::string area = bytes({9, length, 0x01, 0x09, 1, 0xaf, 0x0b, 4, 4, 1, 0, 4, 1, segment, segment >> 8, 6, devfn});
    area.resize(length, '\0');
    return area + name + std::string(2, '\0');
}

struct parse_result {
    std::vector<std::string> slots;  // "segment:bus:devfn designation"
    bool malformed;
};

parse_result parse(const std::string &table)
{
    // An exact-size heap copy, so that the sanitizer build sees any read past it.
    std::vector<char> bytes(table.begin(), table.end());
    smbios_cursor cursor{std::string_view(bytes.data(), bytes.size()), false};
    parse_result result{{}, false};
    smbios_slot found{};
    while (next_smbios_slot(&cursor, &found)) {
        char address[32];
        std::snprintf(address, sizeof(address), "%04x:%02x:%02x ", found.segment, found.bus, found.devfn);
        result.slots.push_back(address + std::string(found.designation));
    }
    result.malformed = cursor.malformed;
    return result;
}

TEST(SmbiosParse, ReadsAddressedSlotsAndPassesOverDamagedStructures)
{
    const std::string eot = bytes({127, 4, 0xFF, 0xFE, 0, 0});
    const std::string lan = bytes({41, 11, 0x2D, 0, 1, 0x85, 1, 0, 0, 0, 0xA0}) + " i354 #1" + '\0' + '\0';
    std::string bad_string = mezzanine(0, 0x38);
    bad_string[4] = 2;  // the designation names string 2 of a set of one
    std::string too_long = mezzanine(0, 0x38);
    too_long[1] = 0x40;
    std::string short_header = mezzanine(0, 0x38);
    short_header[1] = 3;
    // String 255, the last a byte can name.
    std::string string_255 = mezzanine(0, 0x38, std::string(254 * 2, 'x'));
    for (size_t i = 1; i < 254 * 2; i += 2) {
        string_255[0x11 + i] = '\0';
    }
    string_255.insert(string_255.size() - 2, "Slot 255");
    string_255[4] = static_cast<char>(255);
    struct parse_case {
        const char *what;
        std::string table;
        std::vector<std::string> slots;
        bool malformed;
    } cases[] = {
        {"empty table", "", {}, false},
        {"slots among other types, end of table, then unused bytes",
         lan + mezzanine(0, 0x38) + mezzanine(0, 0x48, "  Mezzanine 2 ") + eot + "\x09\xff junk",
         {"0000:06:38 Mezzanine 1", "0000:06:48   Mezzanine 2 "}, false},
        {"no end-of-table structure", mezzanine(0x10, 0x38), {"0010:06:38 Mezzanine 1"}, false},
        {"not applicable: segment 0xFFFF, devfn 0xFF", mezzanine(0xFFFF, 0x38) + mezzanine(0, 0xFF) + eot, {}, false},
        {"a slot without address fields (SMBIOS 2.1)", mezzanine(0, 0x38, "PCI1", 0x0C) + eot, {}, false},
        {"the designation is string 255", string_255 + eot, {"0000:06:38 Slot 255"}, false},
        {"no designation string", mezzanine(0, 0x38).replace(4, 1, 1, '\0') + eot, {"0000:06:38 "}, false},
        {"string number beyond the set", bad_string + mezzanine(0, 0x48) + eot, {"0000:06:48 Mezzanine 1"}, true},
        {"length runs past the table", mezzanine(0, 0x38) + too_long, {"0000:06:38 Mezzanine 1"}, true},
        {"length below the header", short_header + mezzanine(0, 0x48) + eot, {}, true},
        {"string set without its double NUL", mezzanine(0, 0x38).substr(0, 0x11 + 5), {}, true},
        {"formatted area cut short", mezzanine(0, 0x38).substr(0, 0x0F), {}, true},
        {"a stray byte after the last structure", mezzanine(0, 0x38) + "\x7f", {"0000:06:38 Mezzanine 1"}, true},
    };
    for (const parse_case &c : cases) {
        parse_result result = parse(c.table);
        EXPECT_EQ(result.slots, c.slots) << c.what;
        EXPECT_EQ(result.malformed, c.malformed) << c.what;
    }
}

}  // namespace
