// SPDX-License-Identifier: MIT
// Shared by the fuzz targets: a failed property prints what failed and
// aborts, which libFuzzer records as a crash with the input that caused it.
#ifndef TARVEX_FUZZ_CHECK_H
#define TARVEX_FUZZ_CHECK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(cond)                                                              \
    do {                                                                              \
        if (!(cond)) {                                                                \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                             \
        }                                                                             \
    } while (0)

inline std::string_view as_text(const uint8_t *pdata, size_t size)
{
    return {reinterpret_cast<const char *>(pdata), size};
}

// The input up to its first NUL byte, as a C library function would see it.
inline std::string as_c_string(const uint8_t *pdata, size_t size)
{
    std::string text(reinterpret_cast<const char *>(pdata), size);
    return text.substr(0, text.find('\0'));
}

#endif
