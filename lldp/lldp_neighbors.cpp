// SPDX-License-Identifier: MIT
// lldpcli's stable JSON form ("json0") read into neighbour entries, and the
// one run of lldpcli that produces it.  In json0 every element is a list of
// objects, whatever the number of its members, and every text sits under
// "value"; attributes (an interface's name, an id's type) are plain
// members.  lldpd lists one entry per neighbour, so an interface heard from
// twice appears twice.
#include "lldp_neighbors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bounded_run.h"
#include "diag.h"
#include "platform.h"

namespace lldp {
namespace {

// Reading json0
// The first object of the list under key, or null.
const json *first_of(const json &element, const char *pkey)
{
    if (!element.is_object()) {
        return nullptr;
    }
    auto found = element.find(pkey);
    if (found == element.end() || !found->is_array() || found->empty() || !found->front().is_object()) {
        return nullptr;
    }
    return &found->front();
}

// A text member; nothing when absent or not a text.
std::optional<std::string> text_member(const json *pelement, const char *pkey)
{
    if (pelement == nullptr) {
        return std::nullopt;
    }
    auto found = pelement->find(pkey);
    if (found == pelement->end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

// The "value" of the first object under key; an empty text counts as none.
json value_or_null(const json &element, const char *pkey)
{
    std::optional<std::string> text = text_member(first_of(element, pkey), "value");
    if (!text || text->empty()) {
        return nullptr;
    }
    return *text;
}

// An id element ({"type": ..., "value": ...}) as its two keys; false when
// either is missing.
bool put_id(json &entry, const json &element, const char *pid_key, const char *ptype_key)
{
    const json *pid = first_of(element, "id");
    std::optional<std::string> value = text_member(pid, "value");
    std::optional<std::string> type = text_member(pid, "type");
    if (!value || !type) {
        return false;
    }
    entry[pid_key] = *value;
    entry[ptype_key] = *type;
    return true;
}

json management_addresses(const json &chassis)
{
    json addresses = json::array();
    auto found = chassis.find("mgmt-ip");
    if (found == chassis.end() || !found->is_array()) {
        return addresses;
    }
    for (const json &address : *found) {
        std::optional<std::string> text = text_member(&address, "value");
        if (text) {
            addresses.push_back(*text);
        }
    }
    return addresses;
}

// lldpd writes the VLAN id as a text; a number is taken too.
std::optional<int> vlan_id(const json &vlan)
{
    auto found = vlan.find("vlan-id");
    if (found == vlan.end()) {
        return std::nullopt;
    }
    if (found->is_number_integer()) {
        return found->get<int>();
    }
    if (!found->is_string()) {
        return std::nullopt;
    }
    const std::string &text = found->get_ref<const std::string &>();
    int id = 0;
    for (char digit : text) {
        if (digit < '0' || digit > '9' || id > 4095) {
            return std::nullopt;
        }
        id = id * 10 + (digit - '0');
    }
    return text.empty() || id > 4095 ? std::nullopt : std::optional<int>(id);
}

// A VLAN announced only as the port's PVID carries no name.
std::optional<json> vlans_of(const json &interface)
{
    json vlans = json::array();
    auto found = interface.find("vlan");
    if (found == interface.end()) {
        return vlans;
    }
    if (!found->is_array()) {
        return std::nullopt;
    }
    for (const json &vlan : *found) {
        std::optional<int> id = vlan.is_object() ? vlan_id(vlan) : std::nullopt;
        if (!id) {
            return std::nullopt;
        }
        std::optional<std::string> name = text_member(&vlan, "value");
        auto pvid = vlan.find("pvid");
        json entry;
        entry["id"] = *id;
        entry["name"] = name && !name->empty() ? json(*name) : json(nullptr);
        entry["pvid"] = pvid != vlan.end() && pvid->is_boolean() && pvid->get<bool>();
        vlans.push_back(std::move(entry));
    }
    return vlans;
}

// One neighbour in the document's key order; nothing when the agent's
// entry lacks what every neighbour has.
std::optional<json> neighbor_of(const json &interface)
{
    const json *pchassis = first_of(interface, "chassis");
    const json *pport = first_of(interface, "port");
    std::optional<json> vlans = vlans_of(interface);
    json entry = json::object();
    if (pchassis == nullptr || pport == nullptr || !vlans || !put_id(entry, *pchassis, "chassis_id", "chassis_id_type")) {
        return std::nullopt;
    }
    entry["system_name"] = value_or_null(*pchassis, "name");
    if (!put_id(entry, *pport, "port_id", "port_id_type")) {
        return std::nullopt;
    }
    entry["port_description"] = value_or_null(*pport, "descr");
    entry["management_addresses"] = management_addresses(*pchassis);
    entry["vlans"] = std::move(*vlans);
    return entry;
}

bool add_interfaces(const json &section, neighbor_table &table)
{
    auto found = section.find("interface");
    if (found == section.end()) {
        return true;
    }
    if (!found->is_array()) {
        return false;
    }
    for (const json &interface : *found) {
        std::optional<std::string> name = text_member(interface.is_object() ? &interface : nullptr, "name");
        std::optional<json> neighbor = name ? neighbor_of(interface) : std::nullopt;
        if (!neighbor) {
            return false;
        }
        auto [place, added] = table.try_emplace(*name, json::array());
        place->second.push_back(std::move(*neighbor));
    }
    return true;
}

} // namespace

std::optional<neighbor_table> parse_json0(std::string_view text)
{
    json document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return std::nullopt;
    }
    auto sections = document.find("lldp");
    if (sections == document.end() || !sections->is_array()) {
        return std::nullopt;
    }
    neighbor_table table;
    for (const json &section : *sections) {
        if (!section.is_object() || !add_interfaces(section, table)) {
            return std::nullopt;
        }
    }
    return table;
}

namespace {

// Asking the agent
// lldpd's default control socket, the one lldpcli uses unless told
// otherwise, and lldpcli on the programs' fixed search path.
constexpr const char *control_socket = "/run/lldpd.socket";
constexpr const char *lldpcli_paths[] = {"/usr/sbin/lldpcli", "/usr/bin/lldpcli", "/sbin/lldpcli", "/bin/lldpcli"};

// A daemon listens on the socket.  lldpcli says "unable to connect" both
// when there is none and when it failed; only this tells them apart.  A
// socket we may not open (lldpcli is set-uid to the daemon's user, and
// may) is left for lldpcli to try.
bool agent_listens()
{
    unique_fd probe(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!probe.valid()) {
        return true;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, control_socket, sizeof(address.sun_path) - 1);
    int rc;
    do {
        rc = connect(probe.get(), reinterpret_cast<const sockaddr *>(&address), sizeof(address));
    } while (rc != 0 && errno == EINTR);
    return rc == 0 || errno == EACCES || errno == EPERM;
}

const char *installed_lldpcli()
{
    for (const char *ppath : lldpcli_paths) {
        if (access(ppath, X_OK) == 0) {
            return ppath;
        }
    }
    return nullptr;
}

// True when lldpcli finished with status 0; otherwise says on standard
// error why its answer is not used.
bool run_succeeded(const bounded_result &run, int timeout_seconds)
{
    if (run.outcome == run_outcome::timed_out) {
        TARVEX_MSG(stderr, "WARNING: lldpcli did not answer within %d s and was stopped, LLDP neighbors unknown, %s,%d\n",
                   timeout_seconds);
    } else if (run.outcome == run_outcome::not_started) {
        TARVEX_MSG(stderr, "WARNING: lldpcli could not be started, LLDP neighbors unknown, %s,%d\n");
    } else if (!WIFEXITED(run.wait_status) || WEXITSTATUS(run.wait_status) != 0) {
        int status = WIFEXITED(run.wait_status) ? WEXITSTATUS(run.wait_status) : 128 + WTERMSIG(run.wait_status);
        TARVEX_MSG(stderr, "WARNING: lldpcli failed with status %d, LLDP neighbors unknown, %s,%d\n", status);
    } else {
        return true;
    }
    return false;
}

} // namespace

answer query(int timeout_seconds)
{
    answer heard;
    const char *plldpcli = installed_lldpcli();
    if (plldpcli == nullptr) {
        TARVEX_MSG(stderr, "INFO: lldpcli is not installed, LLDP neighbors unknown, %s,%d\n");
        return heard;
    }
    if (!agent_listens()) {
        TARVEX_MSG(stderr, "INFO: no LLDP agent listens on %s, LLDP neighbors unknown, %s,%d\n", control_socket);
        return heard;
    }
    const char *const argv[] = {plldpcli, "-f", "json0", "show", "neighbors", "details", nullptr};
    bounded_result run = run_bounded(argv, timeout_seconds);
    if (!run_succeeded(run, timeout_seconds)) {
        return heard;
    }
    std::optional<neighbor_table> table = parse_json0(run.output);
    if (!table) {
        TARVEX_MSG(stderr, "WARNING: lldpcli's answer is not the expected JSON, LLDP neighbors unknown, %s,%d\n");
        return heard;
    }
    heard.answered = true;
    heard.neighbors = std::move(*table);
    return heard;
}

json neighbors_of(const answer &heard, std::string_view if_name)
{
    if (!heard.answered) {
        return nullptr;
    }
    auto found = heard.neighbors.find(if_name);
    return found == heard.neighbors.end() ? json::array() : found->second;
}

} // namespace lldp
