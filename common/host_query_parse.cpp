// SPDX-License-Identifier: MIT
// Pure parsing and formatting behind the host queries (no I/O here).
#include "host_query_parse.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "char_class.h"
#include "number_scan.h"

namespace host_query {

// Text helpers (string_view's throwing members, substr and copy, are not
// used: the library stays free of the C++ runtime)
// Splits off the next run of non-blank characters; empty at the end.
static std::string_view next_column(std::string_view *ptext)
{
    size_t start = 0;
    while (start < ptext->size() && is_c_space((*ptext)[start])) {
        start++;
    }
    size_t end = start;
    while (end < ptext->size() && !is_c_space((*ptext)[end])) {
        end++;
    }
    std::string_view column(ptext->data() + start, end - start);
    ptext->remove_prefix(end);
    return column;
}

// Interface addresses

// A numeric column holds 1 to 8 hexadecimal digits (32 bits).
static constexpr size_t if_inet6_column_digits = 8;

static bool fill_if_inet6_entry(std::string_view line, if_inet6_entry *pentry)
{
    // Any 32 characters are taken as the address: whether they form one is
    // for inet_pton to say, and its refusal is reported to the caller.
    std::string_view address = next_column(&line);
    if (address.size() != 32) {
        return false;
    }
    std::copy(address.begin(), address.end(), pentry->address);
    if (!scan_x_width(next_column(&line), if_inet6_column_digits, &pentry->if_index) ||
        !scan_x_width(next_column(&line), if_inet6_column_digits, &pentry->prefix_len) ||
        !scan_x_width(next_column(&line), if_inet6_column_digits, &pentry->scope) ||
        !scan_x_width(next_column(&line), if_inet6_column_digits, &pentry->flags)) {
        return false;
    }
    std::string_view name = next_column(&line);
    if (name.empty() || name.size() >= sizeof(pentry->if_name) || !next_column(&line).empty()) {
        return false;
    }
    std::copy(name.begin(), name.end(), pentry->if_name);
    return true;
}

bool parse_if_inet6_line(std::string_view line, if_inet6_entry *pentry)
{
    *pentry = if_inet6_entry{};
    if (!fill_if_inet6_entry(line, pentry)) {
        *pentry = if_inet6_entry{};
        return false;
    }
    return true;
}

ipv6_link_scope_t map_ipv6_scope(uint32_t scope_column)
{
    switch (scope_column) {
    case 0x00:
        return ipv6_global_scope;
    case 0x10:
        return ipv6_loopback_scope;
    case 0x20:
        return ipv6_link_scope;
    case 0x40:
        return ipv6_site_scope;
    case 0x80:
        return ipv6_v4compat_scope;
    default:
        return ipv6_unspecified_scope;
    }
}

std::array<char, 40> format_ipv6_full(const char (&address)[33])
{
    std::array<char, 40> text{};
    const char *pa = address;
    // Eight groups of at most four digits and seven colons: 39 characters.
    (void)std::snprintf(text.data(), text.size(), "%.4s:%.4s:%.4s:%.4s:%.4s:%.4s:%.4s:%.4s", pa, pa + 4, pa + 8,
                        pa + 12, pa + 16, pa + 20, pa + 24, pa + 28);
    return text;
}

std::array<char, 16> format_ipv4(const std::array<uint8_t, 4> &bytes)
{
    std::array<char, 16> text{};
    // Four bytes of at most three digits and three dots: 15 characters.
    (void)std::snprintf(text.data(), text.size(), "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

std::array<char, 18> format_mac(const std::array<uint8_t, 6> &bytes)
{
    std::array<char, 18> text{};
    // Six bytes of two digits and five colons: 17 characters.
    (void)std::snprintf(text.data(), text.size(), "%.2X:%.2X:%.2X:%.2X:%.02X:%.2X", bytes[0], bytes[1], bytes[2],
                        bytes[3], bytes[4], bytes[5]);
    return text;
}

// Permanent MAC address
const eeprom_rule *find_eeprom_rule(int32_t pci_ven, int32_t pci_dev, int32_t pci_sub_dev, uint32_t pci_function)
{
    for (const eeprom_rule &rule : eeprom_rules) {
        if (rule.vendor == pci_ven && (rule.device == any_id || rule.device == pci_dev) &&
            (rule.subsystem_device == any_id || rule.subsystem_device == pci_sub_dev) &&
            (rule.function == any_function || rule.function == pci_function)) {
            return &rule;
        }
    }
    return nullptr;
}

std::array<uint8_t, 6> increment_mac(std::array<uint8_t, 6> mac)
{
    for (size_t i = mac.size(); i-- > 0;) {
        mac[i] = static_cast<uint8_t>(mac[i] + 1U);
        if (mac[i] != 0) {
            break;
        }
    }
    return mac;
}

std::array<uint8_t, 6> mac_from_eeprom_data(const std::array<uint8_t, 8> &data, size_t move_mac)
{
    std::array<uint8_t, 6> mac{};
    if (move_mac <= data.size() - mac.size()) {
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(move_mac), mac.size(), mac.begin());
    }
    return mac;
}

uint32_t pci_function_from_bus(std::string_view bus_info)
{
    size_t dot = bus_info.rfind('.');
    if (dot == std::string_view::npos) {
        return 0;
    }
    bus_info.remove_prefix(dot + 1);
    return strtoul_digits_saturated(bus_info);
}

// Line and token reading
bool token_line_selected(std::string_view line, std::string_view token)
{
    size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        start = line.size();
    }
    line.remove_prefix(start);
    return line.starts_with(token);
}

// Distribution detection
// Position of marker in the line upper-cased in the C locale's way, whatever
// locale the calling program has set.
static size_t find_upper(std::string_view line, std::string_view marker)
{
    for (size_t pos = 0; pos + marker.size() <= line.size(); pos++) {
        size_t i = 0;
        while (i < marker.size() && ascii_upper(line[pos + i]) == marker[i]) {
            i++;
        }
        if (i == marker.size()) {
            return pos;
        }
    }
    return std::string_view::npos;
}

static bool contains_upper(std::string_view line, std::string_view marker)
{
    return find_upper(line, marker) != std::string_view::npos;
}

// The number after the first occurrence of marker, 0 without the marker.
static int32_t version_after(std::string_view line, std::string_view marker)
{
    size_t pos = find_upper(line, marker);
    if (pos == std::string_view::npos) {
        return 0;
    }
    line.remove_prefix(pos + marker.size());
    return atoi_clamped(line);
}

static linux_distro_type_t red_hat_edition(std::string_view line)
{
    if (contains_upper(line, "LINUX AS")) {
        return rh_as;
    }
    if (contains_upper(line, "LINUX ES")) {
        return rh_es;
    }
    if (contains_upper(line, "LINUX WS")) {
        return rh_ws;
    }
    return unknown_distro_type;
}

distro_facts classify_release_line(std::string_view line)
{
    if (contains_upper(line, "RED HAT")) {
        return {true, rh_distro, red_hat_edition(line), version_after(line, " RELEASE ")};
    }
    if (contains_upper(line, "SUSE")) {
        return {true, suse_distro, suse_es, version_after(line, " SERVER ")};
    }
    if (contains_upper(line, "FEDORA CORE")) {
        return {true, fedora_core_distro, unknown_distro_type, version_after(line, " RELEASE ")};
    }
    return {false, unknown_distro, unknown_distro_type, 0};
}

}  // namespace host_query
