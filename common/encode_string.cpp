// SPDX-License-Identifier: MIT
// Byte substitution for the catalogue's model names.  The permutation keeps
// 0 in place, so a scrambled name never holds a zero byte and the stored
// field stays a well-formed C string.
#include "encode_string.h"

#include <array>
#include <cstddef>
#include <cstdint>

using byte_table = std::array<unsigned char, 256>;

// An odd multiplier makes b -> b * k mod 256 a permutation fixing 0, and a
// bit rotation keeps it one; together they spread neighbouring letters apart.
static constexpr unsigned char scramble_byte(unsigned value)
{
    unsigned mixed = (value * 167U) & 0xFFU;
    mixed = ((mixed << 3U) | (mixed >> 5U)) & 0xFFU;
    return static_cast<unsigned char>(mixed);
}

static constexpr byte_table make_encode_table()
{
    byte_table table{};
    for (unsigned value = 0; value < 256; value++) {
        table[value] = scramble_byte(value);
    }
    return table;
}

static constexpr byte_table make_decode_table(const byte_table &encode)
{
    byte_table table{};
    for (unsigned value = 0; value < 256; value++) {
        table[encode[value]] = static_cast<unsigned char>(value);
    }
    return table;
}

static constexpr byte_table encode_table = make_encode_table();
static constexpr byte_table decode_table = make_decode_table(encode_table);

static_assert(encode_table[0] == 0, "zero must stay zero");

static constexpr bool tables_are_inverse()
{
    for (unsigned value = 0; value < 256; value++) {
        if (decode_table[encode_table[value]] != value) {
            return false;
        }
    }
    return true;
}
static_assert(tables_are_inverse(), "encode_table must be a permutation");

static void substitute(char *pstring, int32_t len, const byte_table &table)
{
    for (int32_t i = len - 1; i >= 0; i--) {
        pstring[i] = static_cast<char>(table[static_cast<unsigned char>(pstring[i])]);
    }
}

void encode_string(char *pstring, int32_t len)
{
    substitute(pstring, len, encode_table);
}

void decode_string(char *pstring, int32_t len)
{
    substitute(pstring, len, decode_table);
}
