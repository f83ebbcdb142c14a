// SPDX-License-Identifier: MIT
// The two management tool listings: every line format they can hand over.
// The first input byte picks the listing, the rest is one line of it.
// Properties: a parsed line prints back to text that parses to the same
// values, and parsing is a pure function of the text.
#include <cinttypes>

#include "fuzz_check.h"
#include "port_map_parse.h"

static void check_inventory(std::string_view line)
{
    inventory_entry entry{};
    if (!parse_inventory_line(line, &entry)) {
        return;
    }
    FUZZ_CHECK(entry.slot >= -1);
    char text[64];
    // A slot of -1 (none) prints as a wider number, which also means none.
    std::snprintf(text, sizeof text, "%x %x %" PRIx64, entry.bus, entry.device,
                  entry.slot < 0 ? uint64_t{0x80000000} : static_cast<uint64_t>(entry.slot));
    inventory_entry again{};
    FUZZ_CHECK(parse_inventory_line(text, &again));
    FUZZ_CHECK(again.bus == entry.bus && again.device == entry.device && again.slot == entry.slot);
}

static void check_port_map(std::string_view line)
{
    port_map_entry entry{};
    if (!parse_port_map_line(line, &entry)) {
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%d %d %d %d", entry.slot, entry.slot_port, entry.bay, entry.bay_port);
    port_map_entry again{};
    FUZZ_CHECK(parse_port_map_line(text, &again));
    FUZZ_CHECK(again.slot == entry.slot && again.slot_port == entry.slot_port && again.bay == entry.bay &&
               again.bay_port == entry.bay_port);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pdata, size_t size)
{
    if (size == 0) {
        return 0;
    }
    std::string_view line = as_text(pdata + 1, size - 1);
    if (pdata[0] & 1) {
        check_port_map(line);
    } else {
        check_inventory(line);
    }
    return 0;
}
