// SPDX-License-Identifier: MIT
// Host queries for the family's own programs, beside the public ones of
// common_utilities.h: the same queries and results, plus what a program
// that asks about many interfaces, or that must tell "unreadable" from
// "unrecognised", needs.  Internal; not installed.
#ifndef TARVEX_HOST_QUERIES_H
#define TARVEX_HOST_QUERIES_H

#include <cstdint>
#include <string>
#include <unordered_map>

#include "common_utilities.h"
#include "host_query_parse.h"

// Hands each parsed line of /proc/net/if_inet6, in the file's order, to
// ptake until it returns true.  false when the file cannot be opened.
bool scan_if_inet6(bool (*ptake)(const host_query::if_inet6_entry *pentry, void *pcontext), void *pcontext);

// The raw socket of the address queries (needs CAP_NET_RAW); -1 without.
int open_interface_query_socket();

// get_dynamic_interface_info for a program that asks about many interfaces:
// on raw_fd, a socket of open_interface_query_socket that the caller holds
// for all of them (-1: none could be opened), and with the IPv6 address
// taken from a reading of /proc/net/if_inet6 made before: pfirst_line is
// the interface's first line there (null: none), ipv6_readable false when
// the file could not be opened.  The same record, messages and result.
int32_t get_dynamic_interface_info_on(int raw_fd, char *pif_name, dynamic_interface_info_t *pif,
                                      const host_query::if_inet6_entry *pfirst_line, bool ipv6_readable);

// One reading of /proc/net/if_inet6 for a program that asks about many
// interfaces: each interface's first line, by name.  (Here, not in the
// library, which needs no C++ runtime.)
struct if_inet6_table {
    bool readable = false;
    std::unordered_map<std::string, host_query::if_inet6_entry> first_lines;

    static if_inet6_table read()
    {
        if_inet6_table table;
        table.readable = scan_if_inet6(
            [](const host_query::if_inet6_entry *pentry, void *pcontext) {
                static_cast<if_inet6_table *>(pcontext)->first_lines.try_emplace(pentry->if_name, *pentry);
                return false;
            },
            &table);
        return table;
    }

    [[nodiscard]] const host_query::if_inet6_entry *first_line(const char *pif_name) const
    {
        auto found = first_lines.find(pif_name);
        return found == first_lines.end() ? nullptr : &found->second;
    }
};

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
