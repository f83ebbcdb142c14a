// SPDX-License-Identifier: MIT
// Batches of an rtnetlink IPv4 address dump.  Properties: the parser reads
// nothing outside the batch (the sanitizers watch), every address it hands
// on has a terminated label of at most 16 characters and a netmask of
// leading ones, and a batch that fails or ends hands on only the addresses
// before the failure or the end.
#include "fuzz_check.h"
#include "host_query_parse.h"

#include <cstring>

namespace {
struct taken_addresses {
    size_t count = 0;
};

void take(const host_query::ipv4_message *paddress, void *pcontext)
{
    FUZZ_CHECK(strnlen(paddress->label, sizeof paddress->label) < sizeof paddress->label);
    uint32_t mask = 0;
    for (uint8_t byte : paddress->netmask) {
        mask = mask << 8 | byte;
    }
    FUZZ_CHECK((~mask & (~mask + 1)) == 0);  // ones, then only zeros
    static_cast<taken_addresses *>(pcontext)->count++;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pdata, size_t size)
{
    taken_addresses taken;
    host_query::dump_progress progress = host_query::parse_address_batch({pdata, size}, take, &taken);
    FUZZ_CHECK(progress == host_query::dump_progress::more || progress == host_query::dump_progress::done ||
               progress == host_query::dump_progress::failed);
    // Each address takes a header (16 bytes) and its fixed part (8 bytes).
    FUZZ_CHECK(taken.count * 24 <= size);
    return 0;
}
