// SPDX-License-Identifier: MIT
// Reading the cabling plan and judging each planned port.
#include "cabling_plan.h"

#include <algorithm>
#include <optional>
#include <set>

namespace cabling {
namespace {

// The plan's fields
bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The fields of one line; nothing when a quote is left open.
std::optional<std::vector<std::string>> split_fields(std::string_view line)
{
    std::vector<std::string> fields;
    size_t i = 0;
    while (i < line.size()) {
        if (is_blank(line[i])) {
            i++;
            continue;
        }
        if (line[i] == '#') {
            break;
        }
        std::string field;
        bool quoted = false;
        for (; i < line.size() && (quoted || (!is_blank(line[i]) && line[i] != '#')); i++) {
            if (line[i] == '"') {
                quoted = !quoted;
            } else {
                field += line[i];
            }
        }
        if (quoted) {
            return std::nullopt;
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

plan failed(plan result, size_t line, std::string error)
{
    result.ports.clear();
    result.error_line = line;
    result.error = std::move(error);
    return result;
}

// Matching a neighbour
// MAC addresses are written in either case; other ids are compared as sent.
bool equal_ignoring_case(std::string_view left, std::string_view right)
{
    return std::ranges::equal(left, right, [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? a + 32 : a) == (b >= 'A' && b <= 'Z' ? b + 32 : b);
    });
}

bool same_text(const lldp::json &value, const std::string &planned)
{
    return value.is_string() && value.get_ref<const std::string &>() == planned;
}

bool same_id(const lldp::json &neighbor, const char *pid_key, const char *ptype_key, const std::string &planned)
{
    const lldp::json &id = neighbor[pid_key];
    if (!id.is_string()) {
        return false;
    }
    if (neighbor[ptype_key] == "mac") {
        return equal_ignoring_case(id.get_ref<const std::string &>(), planned);
    }
    return id.get_ref<const std::string &>() == planned;
}

// Switches name their ports differently: some send the port's MAC address
// as its id and its name only in the description, hence either matches.
bool matches(const planned_port &port, const lldp::json &neighbor)
{
    bool same_switch = same_text(neighbor["system_name"], port.switch_name) ||
                       same_id(neighbor, "chassis_id", "chassis_id_type", port.switch_name);
    bool same_port = same_id(neighbor, "port_id", "port_id_type", port.switch_port) ||
                     same_text(neighbor["port_description"], port.switch_port);
    return same_switch && same_port;
}

} // namespace

plan parse_plan(std::string_view text)
{
    plan result;
    std::set<std::string, std::less<>> planned;
    size_t number = 0;
    while (!text.empty()) {
        size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        number++;
        std::optional<std::vector<std::string>> fields = split_fields(line);
        if (!fields) {
            return failed(std::move(result), number, "a double quote is not closed");
        }
        if (fields->empty()) {
            continue;
        }
        if (fields->size() != 3) {
            return failed(std::move(result), number, "wants INTERFACE SWITCH SWITCH_PORT, has " +
                                                         std::to_string(fields->size()) + " fields");
        }
        if (!planned.insert((*fields)[0]).second) {
            return failed(std::move(result), number, "interface " + (*fields)[0] + " is planned twice");
        }
        result.ports.push_back({(*fields)[0], (*fields)[1], (*fields)[2]});
    }
    return result;
}

verdict judge(const planned_port &port, bool exists, const lldp::json &neighbors)
{
    if (!exists) {
        return verdict::absent;
    }
    if (neighbors.empty()) {
        return verdict::none;
    }
    bool any = std::ranges::any_of(neighbors, [&port](const lldp::json &neighbor) { return matches(port, neighbor); });
    return any ? verdict::ok : verdict::wrong;
}

} // namespace cabling
