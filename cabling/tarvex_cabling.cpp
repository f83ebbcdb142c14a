// SPDX-License-Identifier: MIT
// tarvex-cabling: checks this server's cabling against a plan.  Each planned
// interface gets a verdict from the LLDP neighbours the local agent hears on
// it (ok, wrong, none, absent), shown beside the slot and port the firmware
// names for it, so that a failing line says which physical port to
// re-cable.  Exit status 0 when every planned port is ok, 1 when some is
// not, 2 for a usage or plan error, 3 when no LLDP agent answered.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include <net/if.h>

#include "cabling_plan.h"
#include "common_utilities.h"
#include "diag.h"
#include "host_queries.h"
#include "lldp_neighbors.h"
#include "platform.h"

namespace {

using json = lldp::json;

constexpr int status_ok = 0;
constexpr int status_not_ok = 1;
constexpr int status_usage = 2;
constexpr int status_no_agent = 3;

constexpr const char *usage_text = "Usage: tarvex-cabling [--json] PLAN\n"
                                   "Checks the LLDP neighbour of each interface in PLAN (a file, or - for\n"
                                   "standard input; lines of INTERFACE SWITCH SWITCH_PORT) against the plan.\n"
                                   "See the manual page tarvex-cabling(8).\n";

// The firmware's slot of an interface's PCI function and the port of the
// interface itself within it, as tarvex-facts gives them: {"name", "port",
// "source"}, or null where the firmware names none.
json firmware_slot_of(const std::string &if_name)
{
    std::vector<char> name(if_name.begin(), if_name.end());
    name.push_back('\0');
    ethtool_info driver{};
    firmware_location_t location{};
    json slot(nullptr);
    if (get_ethtool_info(name.data(), &driver) == 0 && driver.pbus_info != nullptr &&
        get_interface_firmware_location_at(driver.pbus_info, name.data(), &location) == 0 && location.slot_source != firmware_slot_none &&
        location.pslot_name != nullptr) {
        slot = {{"name", location.pslot_name},
                {"port", location.slot_port >= 0 ? json(location.slot_port) : json(nullptr)},
                {"source", firmware_slot_source_text[location.slot_source]}};
    }
    free_firmware_location_members(&location);
    free_ethtool_info_members(&driver);
    return slot;
}

bool interface_exists(const std::string &if_name)
{
    return fits_ifname(if_name.c_str()) && if_nametoindex(if_name.c_str()) != 0;
}

// What the agent heard: the system name, else the chassis id, and the port id.
json seen_of(const json &neighbors)
{
    json seen = json::array();
    for (const json &neighbor : neighbors) {
        const json &system_name = neighbor["system_name"];
        seen.push_back({{"switch", system_name.is_string() ? system_name : neighbor["chassis_id"]},
                        {"port", neighbor["port_id"]}});
    }
    return seen;
}

json judged_port(const cabling::planned_port &port, const lldp::answer &heard)
{
    bool exists = interface_exists(port.interface);
    json neighbors = exists ? lldp::neighbors_of(heard, port.interface) : json::array();
    cabling::verdict verdict = cabling::judge(port, exists, neighbors);
    return {{"interface", port.interface},
            {"verdict", cabling::verdict_text[static_cast<int>(verdict)]},
            {"planned", {{"switch", port.switch_name}, {"port", port.switch_port}}},
            {"seen", seen_of(neighbors)},
            {"firmware_slot", exists ? firmware_slot_of(port.interface) : json(nullptr)}};
}

// Text output
std::string slot_text(const json &slot)
{
    if (slot.is_null()) {
        return "-";
    }
    std::string text = "slot " + slot["name"].get<std::string>();
    return slot["port"].is_null() ? text : text + " port " + std::to_string(slot["port"].get<int>());
}

std::string seen_text(const json &seen)
{
    std::string text;
    for (const json &neighbor : seen) {
        text += (text.empty() ? "" : ", ") + neighbor["switch"].get<std::string>() + " " +
                neighbor["port"].get<std::string>();
    }
    return text.empty() ? "-" : text;
}

// One row of columns per port, every column but the last padded to the
// widest of its column.
std::string table_text(const json &ports)
{
    std::vector<std::vector<std::string>> rows;
    for (const json &port : ports) {
        rows.push_back({port["interface"].get<std::string>(), slot_text(port["firmware_slot"]),
                        port["verdict"].get<std::string>(), port["planned"]["switch"].get<std::string>(),
                        port["planned"]["port"].get<std::string>(), seen_text(port["seen"])});
    }
    std::vector<size_t> widths(6, 0);
    for (const auto &row : rows) {
        for (size_t i = 0; i < row.size(); i++) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    std::string text;
    for (const auto &row : rows) {
        for (size_t i = 0; i + 1 < row.size(); i++) {
            text += row[i] + std::string(widths[i] - row[i].size() + 2, ' ');
        }
        text += row.back() + "\n";
    }
    return text;
}

// The plan: the whole file, or standard input for "-".  False when it
// cannot be opened or read (errno then says why).
bool read_plan(const std::string &path, std::string &text)
{
    unique_file opened(path == "-" ? nullptr : std::fopen(path.c_str(), "re"));
    FILE *pfile = path == "-" ? stdin : opened.get();
    if (pfile == nullptr) {
        return false;
    }
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), pfile)) > 0) {
        text.append(buffer, got);
    }
    return std::ferror(pfile) == 0;
}

int check(const std::string &path, bool as_json)
{
    std::string text;
    if (!read_plan(path, text)) {
        TARVEX_MSG(stderr, "ERROR: cannot read the plan %s (errno=%d), %s,%d\n", path.c_str(), errno);
        return status_usage;
    }
    cabling::plan plan = cabling::parse_plan(text);
    if (plan.error_line != 0) {
        TARVEX_MSG(stderr, "ERROR: %s:%zu: %s, %s,%d\n", path.c_str(), plan.error_line, plan.error.c_str());
        return status_usage;
    }
    if (plan.ports.empty()) {
        TARVEX_MSG(stderr, "ERROR: %s: the plan names no interface, %s,%d\n", path.c_str());
        return status_usage;
    }
    lldp::answer heard = lldp::query();
    if (!heard.answered) {
        TARVEX_MSG(stderr, "ERROR: no LLDP agent answered, no port was checked, %s,%d\n");
        return status_no_agent;
    }
    json ports = json::array();
    bool all_ok = true;
    for (const cabling::planned_port &port : plan.ports) {
        ports.push_back(judged_port(port, heard));
        all_ok = all_ok && ports.back()["verdict"] == "ok";
    }
    std::string output = as_json ? json{{"ports", ports}}.dump(2, ' ', false, json::error_handler_t::replace) + "\n"
                                 : table_text(ports);
    if (std::fputs(output.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        TARVEX_MSG(stderr, "ERROR: could not write the result to standard output (errno=%d), %s,%d\n", errno);
        return status_not_ok;
    }
    return all_ok ? status_ok : status_not_ok;
}

int answer_arguments(std::vector<std::string_view> arguments)
{
    if (arguments.size() == 1 && arguments[0] == "--version") {
        std::fputs("tarvex-cabling " TARVEX_VERSION "\n", stdout);
        return std::fflush(stdout) == 0 ? status_ok : status_not_ok;
    }
    if (arguments.size() == 1 && arguments[0] == "--help") {
        std::fputs(usage_text, stdout);
        return std::fflush(stdout) == 0 ? status_ok : status_not_ok;
    }
    bool as_json = !arguments.empty() && arguments[0] == "--json";
    if (as_json) {
        arguments.erase(arguments.begin());
    }
    if (arguments.size() != 1 || (arguments[0].starts_with("-") && arguments[0] != "-")) {
        std::fputs(usage_text, stderr);
        return status_usage;
    }
    set_tool_environment();
    return check(std::string(arguments[0]), as_json);
}

void allocation_failed()
{
    TARVEX_MALLOC_FAILED();
}

} // namespace

int main(int argc, char **argv)
{
    std::set_new_handler(allocation_failed);
    try {
        return answer_arguments(std::vector<std::string_view>(argv + 1, argv + argc));
    } catch (const std::bad_alloc &) {
        TARVEX_MALLOC_FAILED();
    } catch (const std::exception &error) {
        TARVEX_MSG(stderr, "ERROR: %s, %s,%d\n", error.what());
    }
    return status_not_ok;
}
