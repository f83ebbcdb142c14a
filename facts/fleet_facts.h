// SPDX-License-Identifier: MIT
// What tarvex-facts tells a fleet beyond the library's queries: the
// operating system, the machine's identity, and for each interface every
// address, the link's speed and duplex and the PCI ID database's names.
// All of it comes from sources that need no privilege.
#ifndef TARVEX_FLEET_FACTS_H
#define TARVEX_FLEET_FACTS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fleet_parse.h"
#include "host_queries.h"
#include "host_query_parse.h"

namespace fleet {

using json = nlohmann::ordered_json;

// {"id", "version_id", "name", "pretty_name"} from the first os-release
// file that exists; null when none does, or (after a warning) when it
// cannot be read.
json os_facts();

// {"vendor", "product", "serial"} from the firmware's machine identity;
// null without one.
json system_facts();

// What the interfaces' facts share, made once per run: every address of
// one address dump by interface index (which also fills the IPv4 table of
// the library's address queries: one dump, not two), and the PCI ID
// database's names, read on the first interface that has a PCI identity.
struct interface_sources {
    bool addresses_readable = false;
    // In the dump's order, then stably by interface index: one block for
    // all, each interface's in the kernel's order.
    std::vector<host_query::address_message> addresses;
    ipv4_table *pipv4;
    std::optional<pci_names_reader> pci_names; // empty until read
    bool pci_names_readable = false;

    explicit interface_sources(ipv4_table *pipv4_table);
};

// Appends an interface's last members, addresses, speed_mbps, duplex and
// pci_names, to the document's text as the JSON library prints an object's
// members indent spaces in, each after ",\n".  index is the interface's
// kernel index (-1: unknown); fd a datagram socket for its requests;
// admin_up whether it is administratively up; ppci its PCI identity (null:
// none).
void append_interface_facts(std::string &text, unsigned int indent, const char *pif_name, int32_t index, int fd,
                            bool admin_up, const pci_key *ppci, interface_sources &sources);

} // namespace fleet

#endif
