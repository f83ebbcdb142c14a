// SPDX-License-Identifier: MIT
// The LLDP neighbours of this host's interfaces as the local agent (lldpd)
// hears them, read from one run of its client, lldpcli, in its stable JSON
// form.  Shared by tarvex-facts and tarvex-cabling; not part of the C
// library (it needs the JSON library).
#ifndef TARVEX_LLDP_NEIGHBORS_H
#define TARVEX_LLDP_NEIGHBORS_H

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace lldp {

using json = nlohmann::ordered_json;

// Each interface's neighbours in the agent's order, each an object with the
// keys chassis_id, chassis_id_type, system_name, port_id, port_id_type,
// port_description, management_addresses, vlans.
using neighbor_table = std::map<std::string, json, std::less<>>;

// The table from the text of "lldpcli -f json0 show neighbors details";
// nothing when the text is not such a document.
std::optional<neighbor_table> parse_json0(std::string_view text);

// How long lldpcli may take unless the caller says otherwise.
inline constexpr int default_timeout_seconds = 5;

struct answer {
    bool answered = false;  // the agent answered and its answer was read
    neighbor_table neighbors;
};

// Asks the agent once.  When it did not answer, one line on standard error
// says why: INFO when there is no agent (no lldpcli, no daemon on the
// default control socket), WARNING when it failed, timed out or answered
// something unreadable.
answer query(int timeout_seconds = default_timeout_seconds);

// An interface's neighbours: null when the agent did not answer, [] when it
// hears none there, else the list.
json neighbors_of(const answer &heard, std::string_view if_name);

} // namespace lldp

#endif
