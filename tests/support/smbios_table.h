// SPDX-License-Identifier: MIT
// SMBIOS structure tables built from rows, as the kernel serves them, and
// the same table as a dump file with an entry point in front, for an
// independent reader of SMBIOS tables to check what the tests build.
#ifndef TARVEX_TEST_SMBIOS_TABLE_H
#define TARVEX_TEST_SMBIOS_TABLE_H

#include <cstdint>
#include <string>
#include <vector>

namespace smbios_table {

inline void put_word(std::string *pbytes, size_t offset, uint32_t value)
{
    (*pbytes)[offset] = static_cast<char>(value & 0xFF);
    (*pbytes)[offset + 1] = static_cast<char>(value >> 8 & 0xFF);
}

// One structure: header, the formatted area after it (body), the strings and
// the set's closing NUL (two NULs without strings).
inline std::string structure(uint8_t type, uint16_t handle, const std::string &body,
                             const std::vector<std::string> &strings)
{
    std::string bytes(4, '\0');
    bytes[0] = static_cast<char>(type);
    bytes[1] = static_cast<char>(4 + body.size());
    put_word(&bytes, 2, handle);
    bytes += body;
    for (const std::string &text : strings) {
        bytes += text + '\0';
    }
    return bytes + (strings.empty() ? std::string(2, '\0') : std::string(1, '\0'));
}

// A System Slots structure (type 9) with its fields as the firmware-sample
// rows give them; bytes beyond the address (length above 0x11) are zero.
struct slot_row {
    uint16_t handle;
    uint8_t length;
    uint8_t fields[6];  // slot type, bus width, usage, slot length, characteristics 1 and 2
    uint16_t id;
    uint32_t segment;
    uint32_t bus;
    uint32_t devfn;
    std::string designation;
};

inline std::string slot(const slot_row &row)
{
    std::string body(row.length - 4, '\0');
    body[0] = 1;  // the designation is string 1
    for (size_t i = 0; i < 4; i++) {
        body[1 + i] = static_cast<char>(row.fields[i]);
    }
    put_word(&body, 5, row.id);
    body[7] = static_cast<char>(row.fields[4]);
    body[8] = static_cast<char>(row.fields[5]);
    put_word(&body, 9, row.segment);
    body[11] = static_cast<char>(row.bus);
    body[12] = static_cast<char>(row.devfn);
    return structure(9, row.handle, body, {row.designation});
}

// An Onboard Devices Extended structure (type 41), enabled.
inline std::string onboard_device(uint16_t handle, uint8_t type, uint8_t instance, uint32_t segment, uint32_t bus,
                                  uint32_t devfn, const std::string &designation)
{
    std::string body(7, '\0');
    body[0] = 1;
    body[1] = static_cast<char>(type | 0x80);
    body[2] = static_cast<char>(instance);
    put_word(&body, 3, segment);
    body[5] = static_cast<char>(bus);
    body[6] = static_cast<char>(devfn);
    return structure(41, handle, body, {designation});
}

inline std::string end_of_table(uint16_t handle)
{
    return structure(127, handle, "", {});
}

// The table behind a 64-bit ("_SM3_") entry point that places it at byte 32
// of the file, as SMBIOS readers write and read dump files.
inline std::string dump_file(const std::string &table)
{
    std::string bytes(32, '\0');
    bytes.replace(0, 5, "_SM3_");
    bytes[6] = 0x18;  // entry point length
    bytes[7] = 3;     // SMBIOS 3.0.0
    bytes[10] = 1;    // entry point revision
    put_word(&bytes, 12, static_cast<uint32_t>(table.size() & 0xFFFF));
    put_word(&bytes, 14, static_cast<uint32_t>(table.size() >> 16));
    bytes[16] = 32;   // table address: right after the entry point
    unsigned sum = 0;
    for (size_t i = 0; i < 0x18; i++) {
        sum += static_cast<unsigned char>(bytes[i]);
    }
    bytes[5] = static_cast<char>(0x100 - (sum & 0xFF));
    return bytes + table;
}

}  // namespace smbios_table

#endif
