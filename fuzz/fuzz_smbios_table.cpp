// SPDX-License-Identifier: MIT
// The SMBIOS structure table as the kernel serves it.  Properties: reading
// ends; every slot found names a function (segment group not 0xFFFF,
// device/function not 0xFF) and its designation lies inside the input and
// holds no NUL.  Reads outside the input are the sanitizer's to catch.
#include "fuzz_check.h"
#include "smbios_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pdata, size_t size)
{
    std::string_view table = as_text(pdata, size);
    smbios_cursor cursor{table, false};
    smbios_slot slot{};
    size_t left = table.size() + 1;
    while (next_smbios_slot(&cursor, &slot)) {
        // Each slot structure takes at least its 0x11 bytes and two NULs.
        FUZZ_CHECK(cursor.rest.size() + 0x11 + 2 <= left);
        left = cursor.rest.size();
        FUZZ_CHECK(slot.segment < 0xFFFF && slot.bus <= 0xFF && slot.devfn < 0xFF);
        FUZZ_CHECK(slot.designation.empty() ||
                   (slot.designation.data() >= table.data() &&
                    slot.designation.data() + slot.designation.size() <= table.data() + table.size()));
        FUZZ_CHECK(slot.designation.find('\0') == std::string_view::npos);
    }
    FUZZ_CHECK(cursor.rest.empty());
    return 0;
}
