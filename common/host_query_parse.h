// SPDX-License-Identifier: MIT
// Pure parsing and formatting behind the host queries: each function takes
// text or values and returns values, with no I/O, so the queries' shells stay
// thin and the logic can be tested and fuzzed on its own.
#ifndef TARVEX_HOST_QUERY_PARSE_H
#define TARVEX_HOST_QUERY_PARSE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common_structs.h"

namespace host_query {

// Interface addresses

// One line of /proc/net/if_inet6: address, index, prefix length, scope,
// flags, name.  Numeric columns are hexadecimal.
struct if_inet6_entry {
    char address[33];  // 32 hexadecimal digits and the terminator
    uint32_t if_index;
    uint32_t prefix_len;
    uint32_t scope;
    uint32_t flags;
    char if_name[17];  // the name column holds at most 16 characters
};

// True and *pentry filled when the line has exactly the six columns, the
// address column is 32 characters (hexadecimal digits or not) and each
// number fits 32 bits.  Otherwise
// false and *pentry zeroed.  The index column may be wider than two digits
// (interface index above 0xff).
bool parse_if_inet6_line(std::string_view line, if_inet6_entry *pentry);

// The kernel's scope column to the reported scope.
ipv6_link_scope_t map_ipv6_scope(uint32_t scope_column);

// "xxxx:xxxx:...:xxxx" from the 32 address digits, letter case kept.
std::array<char, 40> format_ipv6_full(const char (&address)[33]);

// The compressed form inet_ntop gives: lower-case groups without leading
// zeros, the first longest run of two or more zero groups as "::", and
// IPv4-compatible and IPv4-mapped addresses ending in dotted decimal.
std::array<char, 46> format_ipv6(const std::array<uint8_t, 16> &bytes);

// Dotted decimal, every byte 0 to 255.
std::array<char, 16> format_ipv4(const std::array<uint8_t, 4> &bytes);

// Six pairs of upper-case hexadecimal digits joined by ':'.
std::array<char, 18> format_mac(const std::array<uint8_t, 6> &bytes);

// IPv4 addresses from the kernel's routing messages

// One IPv4 address of an address dump (RTM_NEWADDR), with what
// SIOCGIFADDR, SIOCGIFNETMASK and SIOCGIFBRDADDR give for it: 0.0.0.0
// where the message has no such value (no broadcast address).
struct ipv4_message {
    int32_t index;
    char label[17];  // IFA_LABEL; "" when absent
    std::array<uint8_t, 4> local;
    std::array<uint8_t, 4> netmask;  // from the prefix length
    std::array<uint8_t, 4> broadcast;
};

enum class dump_progress { more, done, failed };

// Parses one batch of an address dump's reply and hands each IPv4 address
// to ptake; other messages are skipped.  done after NLMSG_DONE; failed on
// an error message, an interrupted (inconsistent) dump, a message that does
// not fit the batch or an address message whose attributes do not fit it;
// more otherwise.  Never reads outside the bytes.
dump_progress parse_address_batch(std::span<const uint8_t> bytes,
                                  void (*ptake)(const ipv4_message *paddress, void *pcontext), void *pcontext);

// One address of either family from an address dump, as the kernel's
// tools show it: the local address where the message has one, else its
// address; bytes holds 4 (AF_INET) or 16 (AF_INET6) of them.
struct address_message {
    int32_t index;
    uint8_t family;
    uint8_t prefix_length;
    uint8_t scope;
    std::array<uint8_t, 16> bytes;
};

// parse_address_batch for every IPv4 and IPv6 address; messages of other
// families, or without an address, are skipped.  With ptake_ipv4, each IPv4
// address also goes there as parse_address_batch hands it.
dump_progress parse_any_address_batch(std::span<const uint8_t> bytes,
                                      void (*ptake)(const address_message *paddress, void *pcontext),
                                      void (*ptake_ipv4)(const ipv4_message *paddress, void *pcontext),
                                      void *pcontext);

// The address ioctls of an interface answer from the first address in its
// list whose label is the interface's name; as they are asked with the
// address 0.0.0.0, one labelled so whose local address is 0.0.0.0 comes
// first.  True when address, met after *pchosen (null: none yet), takes its
// place.
bool answers_address_ioctls(const ipv4_message &address, const char *pif_name, const ipv4_message *pchosen);

// Permanent MAC address

inline constexpr int32_t intel_vendor_id = 0x8086;
inline constexpr int32_t broadcom_vendor_id = 0x14E4;

// Where an adapter keeps its factory address and how to read it.
struct eeprom_place {
    uint32_t offset;                // EEPROM byte offset of the request
    uint32_t length;                // bytes requested, 6 or 8
    size_t move_mac = 0;            // data bytes that precede the address
    bool add_one = false;           // the port's address is one above the one read
    bool quiet_eopnotsupp = false;  // a driver without EEPROM access is not an error
};

// A rule's id or function that matches any.
inline constexpr int32_t any_id = -1;
inline constexpr uint32_t any_function = UINT32_MAX;

// The adapters a rule serves, by chip vendor and device, board (subsystem
// device; the subsystem vendor is not consulted) and the port's PCI function.
struct eeprom_rule {
    int32_t vendor;
    int32_t device = any_id;
    int32_t subsystem_device = any_id;
    uint32_t function = any_function;
    eeprom_place place;
};

inline constexpr eeprom_place intel_place{.offset = 0, .length = 6, .quiet_eopnotsupp = true};
inline constexpr eeprom_place intel_next_port{.offset = 0, .length = 6, .add_one = true, .quiet_eopnotsupp = true};
inline constexpr eeprom_place broadcom_chip_place{.offset = 0x136, .length = 6};

// Where the factory address lies; the first rule that matches decides, and
// an adapter no rule serves has no known place.  Intel chips keep it at the
// start of the EEPROM; the ports of a multi-port board (these board ids)
// share it, and the second port's is one above it.  Broadcom chips of these
// four devices keep it alone on every port; the others keep two bytes
// before it, at 0xCC for the first port of the multi-port board, at 0x7C
// otherwise.
inline constexpr eeprom_rule eeprom_rules[] = {
    {.vendor = intel_vendor_id, .subsystem_device = 0x7104, .function = 1, .place = intel_next_port},
    {.vendor = intel_vendor_id, .subsystem_device = 0x7112, .function = 1, .place = intel_next_port},
    {.vendor = intel_vendor_id, .subsystem_device = 0x7118, .function = 1, .place = intel_next_port},
    {.vendor = intel_vendor_id, .place = intel_place},
    {.vendor = broadcom_vendor_id, .device = 0x16AA, .place = broadcom_chip_place},
    {.vendor = broadcom_vendor_id, .device = 0x164A, .place = broadcom_chip_place},
    {.vendor = broadcom_vendor_id, .device = 0x16AC, .place = broadcom_chip_place},
    {.vendor = broadcom_vendor_id, .device = 0x164C, .place = broadcom_chip_place},
    {.vendor = broadcom_vendor_id, .subsystem_device = 0x7160, .function = 0,
     .place = {.offset = 0xCC, .length = 8, .move_mac = 2}},
    {.vendor = broadcom_vendor_id, .place = {.offset = 0x7C, .length = 8, .move_mac = 2}},
};

// The first rule serving the adapter's port; null when none does.
const eeprom_rule *find_eeprom_rule(int32_t pci_ven, int32_t pci_dev, int32_t pci_sub_dev, uint32_t pci_function);

// The six bytes as one big-endian 48-bit number, plus one; a carry out of
// the first byte is dropped, so all-FF gives all-zero.
std::array<uint8_t, 6> increment_mac(std::array<uint8_t, 6> mac);

// The address out of the bytes read: the six bytes from data index move_mac
// on (a move_mac that leaves fewer than six bytes gives all-zero).
std::array<uint8_t, 6> mac_from_eeprom_data(const std::array<uint8_t, 8> &data, size_t move_mac);

// The PCI function of a driver's bus address; 0 when the text is none.
uint32_t pci_function_from_bus(std::string_view bus_info);

// Line and token reading

// True when the line, after its leading spaces (tabs are not skipped),
// begins with the token.  Such a line also has the token's first occurrence
// before any '#'.
bool token_line_selected(std::string_view line, std::string_view token);

// Distribution detection

struct distro_facts {
    bool recognised;
    linux_distro_name_t name;
    linux_distro_type_t type;
    int32_t version;
};

// Classifies a release file's first line (any letter case).
distro_facts classify_release_line(std::string_view line);

}  // namespace host_query

#endif
