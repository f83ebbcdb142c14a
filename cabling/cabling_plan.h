// SPDX-License-Identifier: MIT
// tarvex-cabling's plan and verdicts as plain logic over text and
// neighbour entries, apart from the host and the agent.
#ifndef TARVEX_CABLING_PLAN_H
#define TARVEX_CABLING_PLAN_H

#include <string>
#include <string_view>
#include <vector>

#include "lldp_neighbors.h"

namespace cabling {

// One planned cable: the server's interface and the switch and switch port
// its far end must reach.
struct planned_port {
    std::string interface;
    std::string switch_name;
    std::string switch_port;
};

struct plan {
    std::vector<planned_port> ports;  // in the plan's order
    size_t error_line = 0;            // 0: the plan is sound
    std::string error;                // what is wrong on error_line
};

// Lines of INTERFACE SWITCH SWITCH_PORT, fields separated by blanks, a
// field with blanks in double quotes, "#" to the end of a line a comment
// outside quotes.  A line of another number of fields, an unterminated
// quote or an interface planned twice is an error of that line.
plan parse_plan(std::string_view text);

enum class verdict { ok, wrong, none, absent };
inline constexpr const char *verdict_text[] = {"ok", "wrong", "none", "absent"};

// The verdict on one planned port, given whether the interface exists and
// the neighbours heard on it (a list of neighbour entries).
verdict judge(const planned_port &port, bool exists, const lldp::json &neighbors);

} // namespace cabling

#endif
