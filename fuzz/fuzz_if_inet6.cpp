// SPDX-License-Identifier: MIT
// Lines of /proc/net/if_inet6.  Properties of an accepted line: 32
// non-blank address bytes, a full form of eight groups when they are hex
// digits, a name terminated inside its field, a scope inside the
// enumeration.  (A name column holding NUL bytes, which the kernel never
// writes, is accepted and reads as the C string before the first NUL.)
#include "fuzz_check.h"
#include "host_query_parse.h"

#include <cctype>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pdata, size_t size)
{
    host_query::if_inet6_entry entry;
    std::memset(&entry, 0x5a, sizeof entry);
    bool parsed = host_query::parse_if_inet6_line(as_text(pdata, size), &entry);
    ipv6_link_scope_t scope = host_query::map_ipv6_scope(entry.scope);
    FUZZ_CHECK(scope >= ipv6_global_scope && scope <= ipv6_unspecified_scope);
    if (!parsed) {
        FUZZ_CHECK(entry.address[0] == '\0' && entry.if_name[0] == '\0' && entry.prefix_len == 0);
        return 0;
    }
    // The address column is any 32 non-blank bytes; inet_pton judges them.
    bool hex_address = true;
    for (char c : std::string_view(entry.address, 32)) {
        FUZZ_CHECK(c == '\0' || std::isspace(static_cast<unsigned char>(c)) == 0);
        hex_address = hex_address && std::isxdigit(static_cast<unsigned char>(c)) != 0;
    }
    FUZZ_CHECK(entry.address[32] == '\0');
    size_t name_len = strnlen(entry.if_name, sizeof entry.if_name);
    FUZZ_CHECK(name_len < sizeof entry.if_name);
    std::array<char, 40> full = host_query::format_ipv6_full(entry.address);
    FUZZ_CHECK(std::strlen(full.data()) <= 39);
    if (hex_address) {
        FUZZ_CHECK(std::strlen(full.data()) == 39);
        for (size_t i = 0; i < 39; i++) {
            FUZZ_CHECK((i % 5 == 4) == (full[i] == ':'));
        }
    }
    return 0;
}
