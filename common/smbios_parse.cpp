// SPDX-License-Identifier: MIT
// The SMBIOS structure table: pure bytes in, values out.
#include "smbios_parse.h"

#include <cstddef>

// A structure's parts: its type, its formatted area (header included) and
// its string set (the strings without the set's closing NUL).
struct smbios_structure {
    uint8_t type;
    std::string_view formatted;
    std::string_view strings;
};

static constexpr size_t header_bytes = 4;
static constexpr uint8_t end_of_table_type = 127;

static constexpr uint8_t slots_type = 9;
// The slot's address fields came with SMBIOS 2.6, at these offsets.
static constexpr size_t slot_address_length = 0x11;
static constexpr size_t slot_designation_at = 0x04;
static constexpr size_t slot_segment_at = 0x0D;
static constexpr size_t slot_bus_at = 0x0F;
static constexpr size_t slot_devfn_at = 0x10;
static constexpr uint32_t no_segment = 0xFFFF;
static constexpr uint32_t no_devfn = 0xFF;

static uint8_t byte_at(std::string_view bytes, size_t offset)
{
    return static_cast<uint8_t>(bytes[offset]);
}

// Structures

// Splits the structure at the front of the cursor off.  false at the end of
// the table and when the structure does not fit (malformed, reading ends).
static bool next_structure(smbios_cursor *pcursor, smbios_structure *pstructure)
{
    std::string_view table = pcursor->rest;
    if (table.size() < header_bytes) {
        pcursor->malformed = pcursor->malformed || !table.empty();
        pcursor->rest = {};
        return false;
    }
    size_t length = byte_at(table, 1);
    // The string set ends with two NULs; a structure without strings has
    // just those two after its formatted area.
    size_t set_end = length < header_bytes ? std::string_view::npos : table.find(std::string_view("\0\0", 2), length);
    if (set_end == std::string_view::npos) {
        pcursor->malformed = true;
        pcursor->rest = {};
        return false;
    }
    *pstructure = {byte_at(table, 0), {table.data(), length}, {table.data() + length, set_end - length}};
    pcursor->rest = {table.data() + set_end + 2, table.size() - set_end - 2};
    if (pstructure->type == end_of_table_type) {
        // A table may be followed by unused bytes up to its maximum size.
        pcursor->rest = {};
        return false;
    }
    return true;
}

// String number n (from 1) of a set; number 0 is "no string" (empty).  false
// when the set holds fewer strings.
static bool structure_string(std::string_view strings, uint8_t number, std::string_view *ptext)
{
    *ptext = {};
    size_t start = 0;
    for (unsigned i = 1; i <= number; i++) {
        if (start >= strings.size()) {
            return false;
        }
        size_t end = strings.find('\0', start);
        end = end == std::string_view::npos ? strings.size() : end;
        *ptext = {strings.data() + start, end - start};
        start = end + 1;
    }
    return true;
}

// Slots

bool next_smbios_slot(smbios_cursor *pcursor, smbios_slot *pslot)
{
    smbios_structure structure{};
    while (next_structure(pcursor, &structure)) {
        std::string_view area = structure.formatted;
        std::string_view designation;
        if (structure.type != slots_type || area.size() < slot_address_length) {
            continue;
        }
        if (!structure_string(structure.strings, byte_at(area, slot_designation_at), &designation)) {
            pcursor->malformed = true;
            continue;
        }
        uint32_t segment = byte_at(area, slot_segment_at) | uint32_t{byte_at(area, slot_segment_at + 1)} << 8;
        uint32_t devfn = byte_at(area, slot_devfn_at);
        if (segment != no_segment && devfn != no_devfn) {
            *pslot = {segment, byte_at(area, slot_bus_at), devfn, designation};
            return true;
        }
    }
    return false;
}
