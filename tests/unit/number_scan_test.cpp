// SPDX-License-Identifier: MIT
// The number readers of the text parsers, one table each; the parsers' own
// tests keep the cases about their fields and separators.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "number_scan.h"

namespace {

// A text, whether a number reads from its front, its value and the text left.
struct reading {
    std::string_view text;
    bool reads;
    int64_t value = 0;
    std::string_view rest = {};
};

template <typename T, typename Reader>
void check(Reader reader, std::initializer_list<reading> cases)
{
    for (const reading &c : cases) {
        std::string_view text = c.text;
        T value{};
        EXPECT_EQ(reader(&text, &value), c.reads) << c.text;
        EXPECT_EQ(static_cast<int64_t>(value), c.value) << c.text;
        if (c.reads) {
            EXPECT_EQ(text, c.rest) << c.text;
        }
    }
}

TEST(NumberScan, OneTablePerReader)
{
    check<uint32_t>(scan_x_u32, {
        {"0b 00", true, 0x0b, " 00"}, {"0x0B", true, 0x0b}, {"0X1f", true, 0x1f}, {" \t+0b", true, 0x0b},
        {"-0 3", true, 0, " 3"}, {"ffffffff:0", true, 0xffffffff, ":0"}, {"0x 00", true, 0, "x 00"}, // "x" is left
        {"100000000", false}, {"ffffffffff:00.0", false}, {"-1 00", false}, {"zz", false}, {"", false},
        // Leading zeros are no overflow, and no run of digits wraps round.
        {"0000000000000000000000b", true, 0x0b}, {std::string(10000, '0') + "b 0", true, 0x0b, " 0"},
        {std::string(10000, 'f'), false}});
    check<int32_t>(scan_d_i32, {
        {"+3 +1", true, 3, " +1"}, {"2147483647", true, INT32_MAX}, {" -2147483648", true, INT32_MIN}, {"a", false},
        {"2147483648", false}, {"-2147483649", false}, {"99999999999999999999999999", false},
        {std::string(10000, ' ') + "5 2", true, 5, " 2"}, {"0x3", true, 0, "x3"}}); // decimal: "x3" is left
    // The readers of whole texts, in the shape of the others: they leave no text.
    check<int32_t>([](auto *p, int32_t *v) { *v = atoi_clamped(std::exchange(*p, {})); return true; }, {
        {" \t+42abc", true, 42}, {"-7", true, -7}, {"99999999999", true, INT32_MAX}, {"-99999999999", true, INT32_MIN},
        {"x1", true, 0}});
    check<uint32_t>([](auto *p, uint32_t *v) { *v = scan_x_wrapping(std::exchange(*p, {})); return true; }, {
        {"0x8086\n", true, 0x8086}, {"\n  1AF4", true, 0x1af4}, {"100000001", true, 1}, {"-1", true, 0xffffffff},
        {"0x", true, 0}});
    check<uint32_t>([](auto *p, uint32_t *v) { return scan_x_width(std::exchange(*p, {}), 8, v); }, {
        {"12c", true, 0x12c}, {"ffffffff", true, 0xffffffff}, {"100000000", false}, {"4x", false}, {"-4", false},
        {"", false}});
}

} // namespace
