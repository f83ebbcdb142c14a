// SPDX-License-Identifier: MIT
// Parsers for what the slot and bay mapping reads: one line of the inventory
// listing and one line of the port map listing (bus addresses: pci_host.h).  Each takes text and returns values; none
// does I/O, so tests and fuzz targets call them directly.
// Their numbers are read as "%x" and "%d" read them, but a number that does
// not fit its 32-bit field does not parse (number_scan.h).
#ifndef TARVEX_PORT_MAP_PARSE_H
#define TARVEX_PORT_MAP_PARSE_H

#include <cstdint>
#include <string_view>

// One inventory line: PCI bus, PCI device and slot (awk hands over the tool's
// fields 1, 2 and 6, all hexadecimal).  slot is -1 when the tool's slot is
// above 0x7FFFFFFF, as a negative or a wider number is: no slot.
struct inventory_entry {
    uint32_t bus;
    uint32_t device;
    int32_t slot;
};
// false when the line does not give three numbers.
bool parse_inventory_line(std::string_view line, inventory_entry *pentry);

// One port map line: slot, port within the slot, bay and bay port, decimal.
struct port_map_entry {
    int32_t slot;
    int32_t slot_port;
    int32_t bay;
    int32_t bay_port;
};
// false when the line does not give four numbers that fit int32_t.
bool parse_port_map_line(std::string_view line, port_map_entry *pentry);

#endif
