// SPDX-License-Identifier: MIT
// The number readers of the text parsers, one table each; the parsers' own
// tests keep the cases about their fields and separators.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <tuple>

#include "number_scan.h"

namespace {

// A field read from the front of a line: whether it reads, its value and
// the text the reader leaves.
struct field_case {
    std::string_view text;
    bool reads;
    int64_t value;
    std::string_view rest;
};

template <typename T>
void check_fields(bool (*reader)(std::string_view *, T *), std::initializer_list<field_case> cases)
{
    for (const field_case &c : cases) {
        std::string_view text = c.text;
        T value{};
        ASSERT_EQ(reader(&text, &value), c.reads) << c.text;
        if (c.reads) {
            EXPECT_EQ(static_cast<int64_t>(value), c.value) << c.text;
            EXPECT_EQ(text, c.rest) << c.text;
        }
    }
}

TEST(NumberScan, ListingHexFieldsFit32BitsUnsigned)
{
    check_fields<uint32_t>(scan_x_u32, {
        {"0b 00", true, 0x0b, " 00"}, {"0x0B", true, 0x0b, ""}, {"0X1f", true, 0x1f, ""}, {" \t+0b", true, 0x0b, ""},
        {"-0 3", true, 0, " 3"}, {"ffffffff:00", true, 0xffffffff, ":00"},
        {"0000000000000000000000b", true, 0x0b, ""}, // leading zeros are no overflow
        {"0x 00", true, 0, "x 00"},                  // no digit after "0x": "0", and the "x" is left
        {"100000000", false, 0, ""}, {"ffffffffff:00.0", false, 0, ""}, {"-1 00", false, 0, ""},
        {"zz", false, 0, ""}, {"", false, 0, ""}});
}

TEST(NumberScan, ListingDecimalFieldsFitInt32)
{
    check_fields<int32_t>(scan_d_i32, {
        {"+3 +1", true, 3, " +1"}, {"2147483647", true, 2147483647, ""}, {" -2147483648", true, -2147483648LL, ""},
        {"0x3 1", true, 0, "x3 1"}, // decimal: "0", then "x3" is no number
        {"2147483648", false, 0, ""}, {"-2147483649", false, 0, ""},
        {"99999999999999999999999999", false, 0, ""}, {"a", false, 0, ""}});
}

TEST(NumberScan, AtoiClampsToInt32)
{
    const std::pair<std::string_view, int32_t> cases[] = {{" \t+42abc", 42}, {"-7", -7}, {"99999999999", INT32_MAX},
                                                          {"-99999999999", INT32_MIN}, {"x1", 0}, {"", 0}};
    for (auto [text, value] : cases) {
        EXPECT_EQ(atoi_clamped(text), value) << text;
    }
}

TEST(NumberScan, SysfsHexWrapsModulo2To32)
{
    const std::pair<std::string_view, uint32_t> cases[] = {
        {"0x8086\n", 0x8086}, {"\n  1AF4", 0x1af4}, {"100000001", 1}, {"-1", 0xffffffff}, {"0x", 0}, {"none", 0}};
    for (auto [text, value] : cases) {
        EXPECT_EQ(scan_x_wrapping(text), value) << text;
    }
}

TEST(NumberScan, WholeHexFieldsOfAtMostNDigits)
{
    const std::tuple<std::string_view, size_t, bool, uint32_t> cases[] = {
        {"12c", 8, true, 0x12c}, {"ffffffff", 8, true, 0xffffffff}, {"8086", 4, true, 0x8086},
        {"100000000", 8, false, 0}, {"4x", 8, false, 0}, {"-4", 8, false, 0}, {"18086", 4, false, 0}, {"", 8, false, 0}};
    for (auto [field, width, reads, expected] : cases) {
        uint32_t value = 7;
        EXPECT_EQ(scan_x_width(field, width, &value), reads) << field;
        EXPECT_EQ(value, reads ? expected : 7U) << field;
    }
}

} // namespace
