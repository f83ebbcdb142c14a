// SPDX-License-Identifier: MIT
// Host queries for the family's own programs, beside the public ones of
// common_utilities.h: the same queries and results, plus what a program
// that asks about many interfaces, or that must tell "unreadable" from
// "unrecognised", needs.  Internal; not installed.
#ifndef TARVEX_HOST_QUERIES_H
#define TARVEX_HOST_QUERIES_H

#include <cstdint>
#include <deque>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common_utilities.h"
#include "host_query_parse.h"

// Hands each parsed line of /proc/net/if_inet6, in the file's order, to
// ptake until it returns true.  false when the file cannot be opened.
bool scan_if_inet6(bool (*ptake)(const host_query::if_inet6_entry *pentry, void *pcontext), void *pcontext);

// The raw socket of the address queries (needs CAP_NET_RAW); -1 without.
int open_interface_query_socket();

// The IPv4 address the address ioctls would answer from, for the
// interface of this index and name; null when none would.
struct ipv4_lookup {
    const host_query::ipv4_message *(*pfind)(int32_t index, const char *pif_name, const void *pcontext);
    const void *pcontext;
};

// get_dynamic_interface_info for a program that asks about many interfaces:
// on raw_fd, a socket of open_interface_query_socket that the caller holds
// for all of them (-1: none could be opened), and with the IPv6 address
// taken from a reading of /proc/net/if_inet6 made before: pfirst_line is
// the interface's first line there (null: none), ipv6_readable false when
// the file could not be opened.  With pipv4, the IPv4 address, netmask and
// broadcast address come from an address dump made before (ipv4_table)
// instead of three ioctls.  The same record, messages and result.
int32_t get_dynamic_interface_info_on(int raw_fd, char *pif_name, dynamic_interface_info_t *pif,
                                      const host_query::if_inet6_entry *pfirst_line, bool ipv6_readable,
                                      const ipv4_lookup *pipv4 = nullptr);

// Hands every IPv4 address of one rtnetlink address dump, in the kernel's
// order, to ptake.  false when the dump failed.
bool dump_ipv4_addresses(void (*ptake)(const host_query::ipv4_message *paddress, void *pcontext), void *pcontext);

// Hands every IPv4 and IPv6 address of one rtnetlink address dump (both
// families in one), in the kernel's order, to ptake, and each IPv4 one also
// to ptake_ipv4 (when given) as dump_ipv4_addresses would.  false when the
// dump failed.
bool dump_all_addresses(void (*ptake)(const host_query::address_message *paddress, void *pcontext),
                        void (*ptake_ipv4)(const host_query::ipv4_message *paddress, void *pcontext),
                        void *pcontext);

// Every interface's IPv4 addresses, by interface index, from one address
// dump: three ioctls per interface under the kernel's global routing lock
// made a run slow and contended.  Made only when wanted.
struct ipv4_table {
    bool readable = false;
    std::unordered_map<int32_t, std::vector<host_query::ipv4_message>> by_index;

    // Made by its own dump when wanted; else empty, for a dump of all
    // addresses to fill (take, then readable).
    explicit ipv4_table(bool wanted)
    {
        if (wanted) {
            readable = dump_ipv4_addresses(take, this);
        }
    }
    static void take(const host_query::ipv4_message *paddress, void *pcontext)
    {
        static_cast<ipv4_table *>(pcontext)->by_index[paddress->index].push_back(*paddress);
    }
    // The lookup refers to the table itself.
    ipv4_table(const ipv4_table &) = delete;
    ipv4_table &operator=(const ipv4_table &) = delete;

    // The lookup for get_dynamic_interface_info_on; null when the dump
    // failed (the ioctls are asked then).
    [[nodiscard]] const ipv4_lookup *lookup() const { return readable ? &lookup_ : nullptr; }

private:
    ipv4_lookup lookup_{find, this};

    static const host_query::ipv4_message *find(int32_t index, const char *pif_name, const void *pcontext)
    {
        const auto *ptable = static_cast<const ipv4_table *>(pcontext);
        auto found = ptable->by_index.find(index);
        if (found == ptable->by_index.end()) {
            return nullptr;
        }
        const host_query::ipv4_message *pchosen = nullptr;
        for (const host_query::ipv4_message &address : found->second) {
            if (host_query::answers_address_ioctls(address, pif_name, pchosen)) {
                pchosen = &address;
            }
        }
        return pchosen;
    }
};

// One reading of /proc/net/if_inet6 for a program that asks about many
// interfaces: each interface's first line, by name.  (Here, not in the
// library, which needs no C++ runtime.)  The lines are kept in a deque,
// whose elements stay in place, and keyed by views of their names.
struct if_inet6_table {
    bool readable = false;
    std::deque<host_query::if_inet6_entry> lines;
    std::unordered_map<std::string_view, const host_query::if_inet6_entry *> first_lines;

    // Read once the containers are made.
    if_inet6_table() { readable = scan_if_inet6(take, this); }
    // The keys refer to the table's own lines.
    if_inet6_table(const if_inet6_table &) = delete;
    if_inet6_table &operator=(const if_inet6_table &) = delete;

    [[nodiscard]] const host_query::if_inet6_entry *first_line(const char *pif_name) const
    {
        auto found = first_lines.find(pif_name);
        return found == first_lines.end() ? nullptr : found->second;
    }

private:
    static bool take(const host_query::if_inet6_entry *pentry, void *pcontext)
    {
        auto *ptable = static_cast<if_inet6_table *>(pcontext);
        if (!ptable->first_lines.contains(pentry->if_name)) {
            const host_query::if_inet6_entry &kept = ptable->lines.emplace_back(*pentry);
            ptable->first_lines.emplace(kept.if_name, &kept);
        }
        return false;
    }
};

// get_interface_firmware_location for a program that has the interface's
// driver record already: the function at pbus_info (the driver's bus
// address) and, among its interfaces, pif_name's port.
int32_t get_interface_firmware_location_at(const char *pbus_info, const char *pif_name,
                                           firmware_location_t *plocation);

// get_permanent_mac_addr with the interface's driver record already made,
// so the driver is not asked again.
int32_t get_permanent_mac_addr_of(char *pif_name, const ethtool_info &driver, char **pppermanent_mac);

// A release file that is there but could not be opened or read; pfile is
// null when every file was either read or absent.
struct release_file_failure {
    const char *pfile = nullptr;
    int err = 0;
};
// detect_linux_distro (without the official name) that also tells of the
// first release file it could not read.
int32_t detect_linux_distro_checked(linux_distro_name_t *pname, linux_distro_type_t *ptype, int32_t *pversion,
                                    release_file_failure *pfailure);

#endif
