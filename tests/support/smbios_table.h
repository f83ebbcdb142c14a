// SPDX-License-Identifier: MIT
// SMBIOS structure tables built from the firmware samples' rows, and a table
// as a dump file (entry point in front) for an independent SMBIOS reader.
#ifndef TARVEX_TEST_SMBIOS_TABLE_H
#define TARVEX_TEST_SMBIOS_TABLE_H

#include <cstdint>
#include <initializer_list>
#include <string>

namespace smbios_table {

inline std::string bytes(std::initializer_list<uint32_t> values)
{
    std::string text;
    for (uint32_t value : values) {
        text += static_cast<char>(value & 0xFF);
    }
    return text;
}

// A System Slots structure from a row's fields (handle, length, slot type,
// bus width, usage, slot length, characteristics 1 and 2, slot ID), its
// address and designation; bytes beyond the address are zero.
inline std::string slot(const uint32_t (&f)[9], uint32_t segment, uint32_t bus, uint32_t devfn,
                        const std::string &designation)
{
    std::string area = bytes({9, f[1], f[0], f[0] >> 8, 1, f[2], f[3], f[4], f[5], f[8], f[8] >> 8, f[6], f[7],
                              segment, segment >> 8, bus, devfn});
    area.resize(f[1], '\0');
    return area + designation + std::string(2, '\0');
}

inline const std::string end_of_table = bytes({127, 4, 0xFF, 0xFE, 0, 0});

// The table behind a 64-bit ("_SM3_", version 3.0) entry point that places
// it at byte 32 of the file.
inline std::string dump_file(const std::string &table)
{
    auto size = static_cast<uint32_t>(table.size());
    std::string entry = "_SM3_" + bytes({0, 0x18, 3, 0, 0, 1, 0, size, size >> 8, size >> 16, size >> 24, 32});
    unsigned sum = 0;
    for (char c : entry) {
        sum += static_cast<unsigned char>(c);
    }
    entry[5] = static_cast<char>(0x100 - (sum & 0xFF));
    return entry + std::string(32 - entry.size(), '\0') + table;
}

}  // namespace smbios_table

#endif
