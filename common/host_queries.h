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

// One reading of /proc/net/if_inet6: each interface's first line, by name.
// readable is false when the file could not be opened.
struct if_inet6_table {
    bool readable = false;
    std::unordered_map<std::string, host_query::if_inet6_entry> first_lines;
};
if_inet6_table read_if_inet6_table();

// get_dynamic_interface_info with its IPv6 address taken from ipv6_table
// instead of a reading of its own: the same record, messages and result.
int32_t get_dynamic_interface_info_from(char *pif_name, dynamic_interface_info_t *pif,
                                        const if_inet6_table &ipv6_table);

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
