// SPDX-License-Identifier: MIT
// Character tests shared by the text parsers.  They follow the C locale
// whatever locale a calling program has set, so tool output, sysfs and
// procfs text parse the same everywhere.
#ifndef TARVEX_CHAR_CLASS_H
#define TARVEX_CHAR_CLASS_H

// The value of a hexadecimal digit, or -1 for any other character.
inline constexpr int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

inline constexpr bool is_hex_digit(char c)
{
    return hex_digit_value(c) >= 0;
}

// Upper case as toupper() gives it in the C locale: only a to z change, so a
// calling program's locale (a Turkish dotless I, say) changes no match.
inline constexpr char ascii_upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// White space as isspace() sees it in the C locale.
inline constexpr bool is_c_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

#endif
