// SPDX-License-Identifier: MIT
// Parsers for the inventory and port map listings, bus addresses and PCI
// entry names.  Pure text in, values out.
#include "port_map_parse.h"

#include "number_scan.h"

#include <algorithm>
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

// PCI addresses

// "bus:device.function", all hexadecimal, from the front of the text.
static bool scan_bus_device_function(std::string_view *ptext, pci_function_address *paddress)
{
    pci_function_address address{};
    if (!scan_x_u32(ptext, &address.bus) || !scan_literal(ptext, ':') || !scan_x_u32(ptext, &address.device) ||
        !scan_literal(ptext, '.') || !scan_x_u32(ptext, &address.function)) {
        return false;
    }
    *paddress = address;
    return true;
}

// "domain:bus:device.function"; the domain is checked but not kept.
static bool scan_full_address(std::string_view *ptext, pci_function_address *paddress)
{
    uint32_t domain = 0;
    return scan_x_u32(ptext, &domain) && scan_literal(ptext, ':') && scan_bus_device_function(ptext, paddress);
}

bus_address_form parse_bus_address(std::string_view text, pci_function_address *paddress)
{
    // The address comes from a C string: nothing after a terminator counts.
    text = text.substr(0, text.find('\0'));
    auto colons = std::count(text.begin(), text.end(), ':');
    if (colons == 0) {
        return bus_address_form::no_colon;
    }
    if (colons > 2) {
        return bus_address_form::too_many_colons;
    }
    bool parsed = colons == 1 ? scan_bus_device_function(&text, paddress) : scan_full_address(&text, paddress);
    return parsed ? bus_address_form::parsed : bus_address_form::unparsable;
}

bool parse_pci_entry_name(std::string_view name, pci_function_address *paddress)
{
    return scan_full_address(&name, paddress);
}
