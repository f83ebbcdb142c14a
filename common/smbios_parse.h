// SPDX-License-Identifier: MIT
// The SMBIOS structure table as the kernel serves it (the bytes of
// /sys/firmware/dmi/tables/DMI): structure headers, formatted areas and
// string sets, read from bytes in memory with no I/O.  A structure that does
// not fit what is left of the table, or whose string set has no end, ends
// the reading; a slot structure naming a string it does not carry is passed
// over.  Either way the table counts as malformed and no byte outside it is
// read.
#ifndef TARVEX_SMBIOS_PARSE_H
#define TARVEX_SMBIOS_PARSE_H

#include <cstdint>
#include <string_view>

// A System Slots structure (type 9) that names a PCI bus address.
struct smbios_slot {
    uint32_t segment;              // segment group
    uint32_t bus;
    uint32_t devfn;                // device << 3 | function
    std::string_view designation;  // the slot's name as the table holds it; empty without one
};

// A reading position in a table.  malformed records that a structure had to
// be passed over or ended the reading.
struct smbios_cursor {
    std::string_view rest;
    bool malformed;
};

// The next slot structure of at least 0x11 bytes whose address names a
// function: a segment group of 0xFFFF or a device/function of 0xFF is the
// table's "not applicable" and is passed over.  false at the end of the
// table (its end-of-table structure, type 127, or its last byte) and once a
// structure does not fit; *pslot is then untouched.
bool next_smbios_slot(smbios_cursor *pcursor, smbios_slot *pslot);

#endif
