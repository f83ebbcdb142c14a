// SPDX-License-Identifier: MIT
// lldpcli's json0 answer and tarvex-cabling's plan.  The first byte picks
// the parser (even: json0).  Properties: an answer read gives, for every
// interface, a non-empty list of entries with exactly the eight keys, in
// their order and of their types; a plan either names the line of its
// error, within the text, or lists each interface once with three fields.
#include "fuzz_check.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "cabling_plan.h"
#include "lldp_neighbors.h"

namespace {

bool text_or_null(const lldp::json &value)
{
    return value.is_null() || (value.is_string() && !value.get_ref<const std::string &>().empty());
}

void check_entry(const lldp::json &entry)
{
    constexpr const char *keys[] = {"chassis_id", "chassis_id_type", "system_name", "port_id",
                                    "port_id_type", "port_description", "management_addresses", "vlans"};
    FUZZ_CHECK(entry.is_object() && entry.size() == std::size(keys));
    size_t i = 0;
    for (const auto &[key, value] : entry.items()) {
        FUZZ_CHECK(key == keys[i++]);
    }
    FUZZ_CHECK(entry["chassis_id"].is_string() && entry["chassis_id_type"].is_string());
    FUZZ_CHECK(entry["port_id"].is_string() && entry["port_id_type"].is_string());
    FUZZ_CHECK(text_or_null(entry["system_name"]) && text_or_null(entry["port_description"]));
    for (const lldp::json &address : entry["management_addresses"]) {
        FUZZ_CHECK(address.is_string());
    }
    for (const lldp::json &vlan : entry["vlans"]) {
        FUZZ_CHECK(vlan["id"].is_number_integer() && vlan["id"] >= 0 && vlan["id"] <= 4095);
        FUZZ_CHECK(text_or_null(vlan["name"]) && vlan["pvid"].is_boolean());
    }
}

void check_plan(std::string_view text)
{
    cabling::plan plan = cabling::parse_plan(text);
    size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (plan.error_line != 0) {
        FUZZ_CHECK(plan.error_line <= lines && plan.ports.empty() && !plan.error.empty());
        return;
    }
    std::set<std::string> seen;
    for (const cabling::planned_port &port : plan.ports) {
        FUZZ_CHECK(seen.insert(port.interface).second);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pdata, size_t size)
{
    if (size == 0) {
        return 0;
    }
    std::string_view text = as_text(pdata + 1, size - 1);
    if (pdata[0] % 2 != 0) {
        check_plan(text);
        return 0;
    }
    std::optional<lldp::neighbor_table> table = lldp::parse_json0(text);
    if (table) {
        for (const auto &[name, neighbors] : *table) {
            FUZZ_CHECK(neighbors.is_array() && !neighbors.empty());
            for (const lldp::json &entry : neighbors) {
                check_entry(entry);
            }
        }
    }
    return 0;
}
