// SPDX-License-Identifier: MIT
// PCI attribute files (vendor, device, subsystem ids) and class files, as
// read from sysfs.  Property: for text that is a hexadecimal number of at
// most 8 digits, with or without "0x", the value is the one "%x" scans.
#include "fuzz_check.h"
#include "number_scan.h"

#include <cctype>

static bool short_hex_number(const std::string &text)
{
    size_t pos = 0;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        pos = 2;
    }
    size_t digits = 0;
    while (pos + digits < text.size() && std::isxdigit(static_cast<unsigned char>(text[pos + digits])) != 0) {
        digits++;
    }
    return digits >= 1 && digits <= 8;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pdata, size_t size)
{
    uint32_t value = scan_x_wrapping(as_text(pdata, size));
    std::string text = as_c_string(pdata, size);
    if (short_hex_number(text)) {
        unsigned int scanned = 0;
        FUZZ_CHECK(std::sscanf(text.c_str(), "%x", &scanned) == 1);
        FUZZ_CHECK(value == scanned);
    }
    return 0;
}
