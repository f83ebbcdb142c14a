// SPDX-License-Identifier: MIT
// The number readers of every parser of outside text (tool listings, sysfs,
// procfs, bus addresses, the catalogue's data file).  Each is named after the
// C conversion it stands for and says where it departs from it; all follow
// the C locale, and no input, however long, can overflow them.  The "%x"
// readers share two departures from the C library's scanf, which nothing a
// real host writes reaches: a "0x" with no hexadecimal digit after it reads
// as the number 0 with the "x" left over, as strtol reads it (scanf consumes
// the "x" too), and a value of 2^64 or more is treated as any other value
// beyond 32 bits (scanf stores 0xFFFFFFFF).
#ifndef TARVEX_NUMBER_SCAN_H
#define TARVEX_NUMBER_SCAN_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "char_class.h"

// A separator that must come next, exactly (no blanks skipped before it).
inline bool scan_literal(std::string_view *ptext, char c)
{
    if (ptext->empty() || ptext->front() != c) {
        return false;
    }
    ptext->remove_prefix(1);
    return true;
}

// A run of digits: how many, their value modulo 2^32, and whether the value
// itself fits 32 bits (leading zeros never make it overflow).
struct digit_run {
    size_t length;
    uint32_t value;
    bool fits;
};

// The digits of base 10 or 16 at the front of text, nothing skipped.
inline digit_run scan_digits(std::string_view text, uint32_t base)
{
    digit_run run{0, 0, true};
    for (; run.length < text.size(); run.length++) {
        int digit = hex_digit_value(text[run.length]);
        if (digit < 0 || static_cast<uint32_t>(digit) >= base) {
            break;
        }
        uint64_t next = uint64_t{run.value} * base + static_cast<uint32_t>(digit);
        run.fits = run.fits && next <= UINT32_MAX;
        run.value = static_cast<uint32_t>(next);
    }
    return run;
}

// A number as the C library's conversions find it: a sign and its digits.
struct c_number {
    bool negative;
    digit_run digits;
};

// The signed value, saturated at a magnitude of UINT32_MAX: exact whenever
// it fits int32_t, and outside int32_t whenever it does not.
inline int64_t saturated_value(const c_number &number)
{
    int64_t magnitude = number.digits.fits ? number.digits.value : UINT32_MAX;
    return number.negative ? -magnitude : magnitude;
}

// The front of strtol and of scanf's "%x" and "%d": white space, an optional
// sign and, in base 16, an optional "0x", a prefix only when a hexadecimal
// digit follows (otherwise the "0" is the number and the "x" is left over).
// false without a digit; otherwise the number leaves the front of *ptext.
inline bool scan_c_number(std::string_view *ptext, uint32_t base, c_number *pnumber)
{
    std::string_view text = *ptext;
    while (!text.empty() && is_c_space(text.front())) {
        text.remove_prefix(1);
    }
    pnumber->negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        text.remove_prefix(1);
    }
    if (base == 16 && text.size() > 2 && text[0] == '0' && ascii_upper(text[1]) == 'X' && is_hex_digit(text[2])) {
        text.remove_prefix(2);
    }
    pnumber->digits = scan_digits(text, base);
    if (pnumber->digits.length == 0) {
        return false;
    }
    text.remove_prefix(pnumber->digits.length);
    *ptext = text;
    return true;
}

// "%x" as sscanf reads a sysfs attribute: 0 without a number, and the value
// (negated after a '-') wraps modulo 2^32, also from 2^64 on.
inline uint32_t scan_x_wrapping(std::string_view text)
{
    c_number number{};
    if (!scan_c_number(&text, 16, &number)) {
        return 0;
    }
    return number.negative ? 0U - number.digits.value : number.digits.value;
}

// "%x" of a tool listing's field, except that a value over 32 bits or below
// zero ("-0" is 0) does not read, rather than being cut.
inline bool scan_x_u32(std::string_view *ptext, uint32_t *pvalue)
{
    c_number number{};
    if (!scan_c_number(ptext, 16, &number) || !number.digits.fits || (number.negative && number.digits.value != 0)) {
        return false;
    }
    *pvalue = number.digits.value;
    return true;
}

// "%d" of a tool listing's field, except that a value outside int32_t does
// not read, rather than being cut.
inline bool scan_d_i32(std::string_view *ptext, int32_t *pvalue)
{
    c_number number{};
    if (!scan_c_number(ptext, 10, &number)) {
        return false;
    }
    int64_t value = saturated_value(number);
    if (value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    *pvalue = static_cast<int32_t>(value);
    return true;
}

// atoi: 0 without a number, and a value outside int32_t clamped to its
// nearer end where atoi's would be undefined.
inline int32_t atoi_clamped(std::string_view text)
{
    c_number number{};
    if (!scan_c_number(&text, 10, &number)) {
        return 0;
    }
    int64_t value = saturated_value(number);
    return static_cast<int32_t>(value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : value);
}

// The decimal digits of strtoul with its saturation (at UINT32_MAX), but
// neither white space nor a sign before them: 0 without a digit.
inline uint32_t strtoul_digits_saturated(std::string_view text)
{
    digit_run run = scan_digits(text, 10);
    return run.fits ? run.value : UINT32_MAX;
}

// "%Nx" with field width N = max_digits over a whole field: 1 to max_digits
// hexadecimal digits and nothing else (no white space, sign or "0x").
inline bool scan_x_width(std::string_view field, size_t max_digits, uint32_t *pvalue)
{
    digit_run run = scan_digits(field, 16);
    if (run.length == 0 || run.length != field.size() || run.length > max_digits) {
        return false;
    }
    *pvalue = run.value;
    return true;
}

#endif
