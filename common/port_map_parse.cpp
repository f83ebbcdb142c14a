// SPDX-License-Identifier: MIT
// Parsers for the inventory and port map listings.  Pure text in, values out.
#include "port_map_parse.h"

#include "number_scan.h"

#include <cstdint>

// Tool listings

bool parse_inventory_line(std::string_view line, inventory_entry *pentry)
{
    inventory_entry entry{};
    if (!scan_x_u32(&line, &entry.bus) || !scan_x_u32(&line, &entry.device)) {
        return false;
    }
    // The slot column is hexadecimal like the PCI columns beside it.  A slot
    // that a signed slot number cannot hold (a negative or a wide number)
    // names no slot.
    c_number slot{};
    if (!scan_c_number(&line, 16, &slot)) {
        return false;
    }
    int64_t value = saturated_value(slot);
    entry.slot = value >= 0 && value <= INT32_MAX ? static_cast<int32_t>(value) : -1;
    *pentry = entry;
    return true;
}

bool parse_port_map_line(std::string_view line, port_map_entry *pentry)
{
    port_map_entry entry{};
    if (!scan_d_i32(&line, &entry.slot) || !scan_d_i32(&line, &entry.slot_port) ||
        !scan_d_i32(&line, &entry.bay) || !scan_d_i32(&line, &entry.bay_port)) {
        return false;
    }
    *pentry = entry;
    return true;
}
