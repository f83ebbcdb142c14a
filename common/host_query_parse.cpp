// SPDX-License-Identifier: MIT
// Pure parsing and formatting behind the host queries (no I/O here).
#include "host_query_parse.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include "char_class.h"
#include "number_scan.h"
#include "pci_host.h"

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
    // Eight groups of at most four digits (a group ends early at a NUL, as
    // "%.4s" would end it) and seven colons: 39 characters.
    std::array<char, 40> text{};
    size_t at = 0;
    for (size_t group = 0; group < 8; group++) {
        if (group > 0) {
            text[at++] = ':';
        }
        const char *pdigits = address + group * 4;
        for (size_t i = 0; i < 4 && pdigits[i] != '\0'; i++) {
            text[at++] = pdigits[i];
        }
    }
    return text;
}

namespace {

// The longest run of two or more zero groups, the first of equal ones:
// where the compressed form puts its "::".  len 0: none.
struct zero_run {
    size_t base = 0;
    size_t len = 0;
};

zero_run longest_zero_run(const std::array<uint16_t, 8> &groups)
{
    zero_run best;
    zero_run current;
    for (size_t i = 0; i < groups.size(); i++) {
        if (groups[i] != 0) {
            current.len = 0;
            continue;
        }
        if (current.len++ == 0) {
            current.base = i;
        }
        if (current.len > best.len) {
            best = current;
        }
    }
    return best.len >= 2 ? best : zero_run{};
}

size_t append_hex_group(char *ptext, uint16_t group)
{
    constexpr char digits[] = "0123456789abcdef";
    size_t at = 0;
    for (int shift = 12; shift >= 0; shift -= 4) {
        if ((group >> shift) != 0 || shift == 0) {
            ptext[at++] = digits[(group >> shift) & 0xF];
        }
    }
    return at;
}

} // namespace

std::array<char, 46> format_ipv6(const std::array<uint8_t, 16> &bytes)
{
    std::array<uint16_t, 8> groups{};
    for (size_t i = 0; i < groups.size(); i++) {
        groups[i] = static_cast<uint16_t>(bytes[i * 2] << 8 | bytes[i * 2 + 1]);
    }
    zero_run run = longest_zero_run(groups);
    std::array<char, 46> text{};
    size_t at = 0;
    for (size_t i = 0; i < groups.size(); i++) {
        if (run.len > 0 && i >= run.base && i < run.base + run.len) {
            if (i == run.base) {
                text[at++] = ':';
            }
            continue;
        }
        if (i != 0) {
            text[at++] = ':';
        }
        // IPv4-compatible and IPv4-mapped addresses end in dotted decimal.
        if (i == 6 && run.base == 0 && (run.len == 6 || (run.len == 5 && groups[5] == 0xffff))) {
            std::array<char, 16> ipv4 = format_ipv4({bytes[12], bytes[13], bytes[14], bytes[15]});
            std::memcpy(text.data() + at, ipv4.data(), std::strlen(ipv4.data()));
            return text;
        }
        at += append_hex_group(text.data() + at, groups[i]);
    }
    if (run.len > 0 && run.base + run.len == groups.size()) {
        text[at] = ':';
    }
    return text;
}

// Both are formatted by hand: tarvex-facts formats them for every
// interface, where printf's machinery showed in its profile.
std::array<char, 16> format_ipv4(const std::array<uint8_t, 4> &bytes)
{
    // Four bytes of at most three digits and three dots: 15 characters.
    std::array<char, 16> text{};
    size_t at = 0;
    for (size_t i = 0; i < bytes.size(); i++) {
        if (i > 0) {
            text[at++] = '.';
        }
        unsigned value = bytes[i];
        if (value >= 100) {
            text[at++] = static_cast<char>('0' + value / 100);
        }
        if (value >= 10) {
            text[at++] = static_cast<char>('0' + value / 10 % 10);
        }
        text[at++] = static_cast<char>('0' + value % 10);
    }
    return text;
}

std::array<char, 18> format_mac(const std::array<uint8_t, 6> &bytes)
{
    // Six bytes of two digits and five colons: 17 characters.
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<char, 18> text{};
    for (size_t i = 0; i < bytes.size(); i++) {
        text[i * 3] = digits[bytes[i] >> 4];
        text[i * 3 + 1] = digits[bytes[i] & 0xF];
        text[i * 3 + 2] = i + 1 < bytes.size() ? ':' : '\0';
    }
    return text;
}

// IPv4 addresses from the kernel's routing messages
// Every header and attribute is copied out before use: the batch's bytes
// carry no alignment promise.
namespace {

// The attributes after a message's fixed part, one at a time.
struct attribute_reader {
    std::span<const uint8_t> rest;

    // False at the end or at an attribute that does not fit (rest then
    // holds it).
    bool next(uint16_t *ptype, std::span<const uint8_t> *ppayload)
    {
        struct rtattr header;
        if (rest.size() < sizeof(header)) {
            return false;
        }
        std::memcpy(&header, rest.data(), sizeof(header));
        if (header.rta_len < sizeof(header) || header.rta_len > rest.size()) {
            return false;
        }
        *ptype = header.rta_type & NLA_TYPE_MASK;
        *ppayload = rest.subspan(sizeof(header), header.rta_len - sizeof(header));
        rest = rest.subspan(std::min<size_t>(RTA_ALIGN(header.rta_len), rest.size()));
        return true;
    }
};

// A name attribute: at most 16 characters, up to its terminator.
template <size_t N> void copy_name(std::span<const uint8_t> payload, char (&name)[N])
{
    size_t length = 0;
    while (length < payload.size() && length < N - 1 && payload[length] != 0) {
        name[length] = static_cast<char>(payload[length]);
        length++;
    }
    name[length] = '\0';
}

// A whole IPv4 address; shorter payloads leave 0.0.0.0.
void copy_ipv4(std::span<const uint8_t> payload, std::array<uint8_t, 4> *pbytes)
{
    if (payload.size() >= pbytes->size()) {
        std::memcpy(pbytes->data(), payload.data(), pbytes->size());
    }
}

std::array<uint8_t, 4> netmask_of(uint8_t prefix_length)
{
    uint32_t bits = prefix_length == 0 ? 0 : UINT32_MAX << (32 - std::min<uint8_t>(prefix_length, 32));
    return {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 8),
            static_cast<uint8_t>(bits)};
}

// False for a message that does not hold what it says it holds.
bool take_address(std::span<const uint8_t> body, void (*ptake)(const ipv4_message *, void *), void *pcontext)
{
    struct ifaddrmsg header;
    if (body.size() < sizeof(header)) {
        return false;
    }
    std::memcpy(&header, body.data(), sizeof(header));
    if (header.ifa_family != AF_INET) {
        return true;
    }
    ipv4_message address{.index = static_cast<int32_t>(header.ifa_index), .label = "", .local = {},
                         .netmask = netmask_of(header.ifa_prefixlen), .broadcast = {}};
    // The fixed part is a whole multiple of the alignment.
    attribute_reader attributes{body.subspan(sizeof(header))};
    uint16_t type;
    std::span<const uint8_t> payload;
    while (attributes.next(&type, &payload)) {
        if (type == IFA_LABEL) {
            copy_name(payload, address.label);
        } else if (type == IFA_LOCAL) {
            copy_ipv4(payload, &address.local);
        } else if (type == IFA_BROADCAST) {
            copy_ipv4(payload, &address.broadcast);
        }
    }
    if (!attributes.rest.empty()) {
        return false;
    }
    ptake(&address, pcontext);
    return true;
}

}  // namespace

namespace {
// An address message of either family: its address as the kernel's tools
// show it, the local address where there is one, else the address.
bool take_any_address(std::span<const uint8_t> body, void (*ptake)(const address_message *, void *),
                      void *pcontext)
{
    struct ifaddrmsg header;
    if (body.size() < sizeof(header)) {
        return false;
    }
    std::memcpy(&header, body.data(), sizeof(header));
    size_t size = header.ifa_family == AF_INET ? 4 : header.ifa_family == AF_INET6 ? 16 : 0;
    address_message address{.index = static_cast<int32_t>(header.ifa_index), .family = header.ifa_family,
                            .prefix_length = header.ifa_prefixlen, .scope = header.ifa_scope, .bytes = {}};
    attribute_reader attributes{body.subspan(sizeof(header))};
    uint16_t type;
    std::span<const uint8_t> payload;
    bool local = false;
    bool found = false;
    while (attributes.next(&type, &payload)) {
        if ((type == IFA_LOCAL || (type == IFA_ADDRESS && !local)) && size > 0 && payload.size() >= size) {
            std::memcpy(address.bytes.data(), payload.data(), size);
            local = local || type == IFA_LOCAL;
            found = true;
        }
    }
    if (!attributes.rest.empty()) {
        return false;
    }
    if (found) {
        ptake(&address, pcontext);
    }
    return true;
}

// Walks the messages of one batch, handing each address message's body to
// take_body.
template <typename Take> dump_progress walk_address_batch(std::span<const uint8_t> bytes, Take take_body)
{
    while (!bytes.empty()) {
        struct nlmsghdr header;
        if (bytes.size() < sizeof(header)) {
            return dump_progress::failed;
        }
        std::memcpy(&header, bytes.data(), sizeof(header));
        if (header.nlmsg_len < sizeof(header) || header.nlmsg_len > bytes.size() ||
            (header.nlmsg_flags & NLM_F_DUMP_INTR) != 0 || header.nlmsg_type == NLMSG_ERROR) {
            return dump_progress::failed;
        }
        if (header.nlmsg_type == NLMSG_DONE) {
            return dump_progress::done;
        }
        std::span<const uint8_t> body = bytes.subspan(sizeof(header), header.nlmsg_len - sizeof(header));
        if (header.nlmsg_type == RTM_NEWADDR && !take_body(body)) {
            return dump_progress::failed;
        }
        bytes = bytes.subspan(std::min<size_t>(NLMSG_ALIGN(header.nlmsg_len), bytes.size()));
    }
    return dump_progress::more;
}

}  // namespace

dump_progress parse_any_address_batch(std::span<const uint8_t> bytes,
                                      void (*ptake)(const address_message *paddress, void *pcontext),
                                      void (*ptake_ipv4)(const ipv4_message *paddress, void *pcontext),
                                      void *pcontext)
{
    return walk_address_batch(bytes, [&](std::span<const uint8_t> body) {
        return take_any_address(body, ptake, pcontext) &&
               (ptake_ipv4 == nullptr || take_address(body, ptake_ipv4, pcontext));
    });
}

dump_progress parse_address_batch(std::span<const uint8_t> bytes,
                                  void (*ptake)(const ipv4_message *paddress, void *pcontext), void *pcontext)
{
    return walk_address_batch(bytes, [&](std::span<const uint8_t> body) {
        return take_address(body, ptake, pcontext);
    });
}

bool answers_address_ioctls(const ipv4_message &address, const char *pif_name, const ipv4_message *pchosen)
{
    if (std::strcmp(address.label, pif_name) != 0) {
        return false;
    }
    constexpr std::array<uint8_t, 4> unspecified{};
    return pchosen == nullptr || (pchosen->local != unspecified && address.local == unspecified);
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
    pci_address at{};
    read_pci_address(bus_info, pci_address_mode::function_after_last_dot, &at);
    return at.function;
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
