// SPDX-License-Identifier: MIT
// Parsers for the inventory and port map listings, bus addresses and PCI
// entry names.  Pure text in, values out.
#include "port_map_parse.h"

#include "char_class.h"

#include <algorithm>
#include <cstdint>
#include <limits>

// Number scanning, one conversion at a time from the front of the text

// The value of a digit of the base (10 or 16), or -1.
static int digit_value(char c, int base)
{
    int value = hex_digit_value(c);
    return value < base ? value : -1;
}

// The magnitude of a run of digits saturates here, well above any 32-bit
// value, so arbitrarily long runs cannot overflow.
static constexpr uint64_t saturated = uint64_t{1} << 40;

// Reads an optionally signed number in the given base from the front of
// *ptext, leaving the rest there.  false when no digit follows the blanks
// and sign.  *pnegative tells the sign; *pmagnitude is at most `saturated`.
static bool scan_number(std::string_view *ptext, int base, bool *pnegative, uint64_t *pmagnitude)
{
    std::string_view text = *ptext;
    size_t pos = skip_space_and_sign(text, pnegative);
    // "0x" is a prefix only when a hexadecimal digit follows it; otherwise
    // the "0" is the number and the "x" is left over.
    if (base == 16 && pos + 2 < text.size() && text[pos] == '0' &&
        (text[pos + 1] == 'x' || text[pos + 1] == 'X') && digit_value(text[pos + 2], 16) >= 0) {
        pos += 2;
    }
    size_t first_digit = pos;
    uint64_t magnitude = 0;
    for (; pos < text.size() && digit_value(text[pos], base) >= 0; pos++) {
        magnitude = std::min(saturated, magnitude * static_cast<uint64_t>(base) +
                                            static_cast<uint64_t>(digit_value(text[pos], base)));
    }
    if (pos == first_digit) {
        return false;
    }
    *pmagnitude = magnitude;
    ptext->remove_prefix(pos);
    return true;
}

// A hexadecimal field that fits 32 bits unsigned ("-0" is 0).
static bool scan_hex32(std::string_view *ptext, uint32_t *pvalue)
{
    bool negative = false;
    uint64_t magnitude = 0;
    if (!scan_number(ptext, 16, &negative, &magnitude)) {
        return false;
    }
    if (magnitude > std::numeric_limits<uint32_t>::max() || (negative && magnitude != 0)) {
        return false;
    }
    *pvalue = static_cast<uint32_t>(magnitude);
    return true;
}

// A decimal field that fits int32_t.
static bool scan_dec32(std::string_view *ptext, int32_t *pvalue)
{
    bool negative = false;
    uint64_t magnitude = 0;
    if (!scan_number(ptext, 10, &negative, &magnitude)) {
        return false;
    }
    int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    *pvalue = static_cast<int32_t>(value);
    return true;
}

// A separator that must come next, exactly (no blanks skipped before it).
static bool scan_literal(std::string_view *ptext, char c)
{
    if (ptext->empty() || ptext->front() != c) {
        return false;
    }
    ptext->remove_prefix(1);
    return true;
}

// Tool listings

bool parse_inventory_line(std::string_view line, inventory_entry *pentry)
{
    inventory_entry entry{};
    if (!scan_hex32(&line, &entry.bus) || !scan_hex32(&line, &entry.device)) {
        return false;
    }
    // The slot column is hexadecimal like the PCI columns beside it.  A slot
    // that a signed slot number cannot hold (a negative or a wide number)
    // names no slot.
    bool negative = false;
    uint64_t magnitude = 0;
    if (!scan_number(&line, 16, &negative, &magnitude)) {
        return false;
    }
    bool fits = !negative || magnitude == 0;
    fits = fits && magnitude <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    entry.slot = fits ? static_cast<int32_t>(magnitude) : -1;
    *pentry = entry;
    return true;
}

bool parse_port_map_line(std::string_view line, port_map_entry *pentry)
{
    port_map_entry entry{};
    if (!scan_dec32(&line, &entry.slot) || !scan_dec32(&line, &entry.slot_port) ||
        !scan_dec32(&line, &entry.bay) || !scan_dec32(&line, &entry.bay_port)) {
        return false;
    }
    *pentry = entry;
    return true;
}

// PCI addresses

// "bus:device.function", all hexadecimal, from the front of the text.
static bool scan_bus_device_function(std::string_view *ptext, pci_function_address *paddress)
{
    pci_function_address address{};
    if (!scan_hex32(ptext, &address.bus) || !scan_literal(ptext, ':') || !scan_hex32(ptext, &address.device) ||
        !scan_literal(ptext, '.') || !scan_hex32(ptext, &address.function)) {
        return false;
    }
    *paddress = address;
    return true;
}

// "domain:bus:device.function"; the domain is checked but not kept.
static bool scan_full_address(std::string_view *ptext, pci_function_address *paddress)
{
    uint32_t domain = 0;
    return scan_hex32(ptext, &domain) && scan_literal(ptext, ':') && scan_bus_device_function(ptext, paddress);
}

bus_address_form parse_bus_address(std::string_view text, pci_function_address *paddress)
{
    // The address comes from a C string: nothing after a terminator counts.
    text = text.substr(0, text.find('\0'));
    auto colons = std::count(text.begin(), text.end(), ':');
    if (colons == 0) {
        return bus_address_form::no_colon;
    }
    if (colons > 2) {
        return bus_address_form::too_many_colons;
    }
    bool parsed = colons == 1 ? scan_bus_device_function(&text, paddress) : scan_full_address(&text, paddress);
    return parsed ? bus_address_form::parsed : bus_address_form::unparsable;
}

bool parse_pci_entry_name(std::string_view name, pci_function_address *paddress)
{
    return scan_full_address(&name, paddress);
}
