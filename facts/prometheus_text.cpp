// SPDX-License-Identifier: MIT
// The metrics text of tarvex-facts (prometheus_text.h).  Metric and label
// names are an interface of their own: dashboards and alert rules join on
// them, so they never change meaning.
#include "prometheus_text.h"

#include <cstdint>
#include <span>
#include <string>

namespace {

using json = nlohmann::ordered_json;

constexpr std::string_view port_header =
    "# HELP tarvex_port_info Where an Ethernet port sits: slot and port from the management tools and from the "
    "firmware, enclosure bay, model.\n"
    "# TYPE tarvex_port_info gauge\n";
constexpr std::string_view neighbor_header =
    "# HELP tarvex_lldp_neighbor_info The switch and switch port an Ethernet port's cable reaches, as LLDP "
    "announces them.\n"
    "# TYPE tarvex_lldp_neighbor_info gauge\n";
constexpr std::string_view success_header =
    "# HELP tarvex_facts_success Whether the last tarvex-facts run obtained its document (1) or failed (0).\n"
    "# TYPE tarvex_facts_success gauge\n";
constexpr std::string_view replacement_character = "\xef\xbf\xbd";

// Length of the well-formed UTF-8 sequence that starts the text (RFC 3629:
// no overlong forms, no surrogates, nothing past U+10FFFF), 0 if none does.
size_t utf8_sequence_length(std::string_view text)
{
    auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    size_t length = lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (lead < 0xc2 || lead > 0xf4) {
        return 0;
    }
    if (lead == 0xe0) {
        low = 0xa0;
    } else if (lead == 0xed) {
        high = 0x9f;
    } else if (lead == 0xf0) {
        low = 0x90;
    } else if (lead == 0xf4) {
        high = 0x8f;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (size_t i = 2; i < length; i++) {
        if (byte(i) < 0x80 || byte(i) > 0xbf) {
            return 0;
        }
    }
    return length;
}

// A value of the document as label text: a string as it is, a number in
// decimal, anything else (null: not obtained) the empty value, which
// Prometheus takes for no label.
void append_json_label(std::string &text, const json &value)
{
    if (value.is_string()) {
        append_label_value(text, value.get_ref<const json::string_t &>());
    } else if (value.is_number_integer()) {
        text += std::to_string(value.get<int64_t>());
    }
}

const json &member(const json &object, const char *pkey)
{
    static const json absent;
    if (!object.is_object()) {
        return absent;
    }
    auto found = object.find(pkey);
    return found == object.end() ? absent : *found;
}

struct label {
    const char *pname;
    const char *pkey;       // member of the object, or of its sub-object
    const char *psub = nullptr;
};

void append_series(std::string &text, std::string_view metric, const json &object, std::span<const label> labels,
                   const json &device)
{
    text += metric;
    text += "{device=\"";
    append_json_label(text, device);
    for (const label &each : labels) {
        text += "\",";
        text += each.pname;
        text += "=\"";
        const json &value = member(object, each.pkey);
        append_json_label(text, each.psub == nullptr ? value : member(value, each.psub));
    }
    text += "\"} 1\n";
}

constexpr label port_labels[] = {
    {"bus_address", "bus_address"},
    {"slot", "slot"},
    {"port", "port"},
    {"bay", "bay"},
    {"bay_port", "bay_port"},
    {"firmware_slot", "firmware_slot", "name"},
    {"firmware_port", "firmware_slot", "port"},
    {"onboard_label", "onboard", "label"},
    {"model", "model"},
    {"permanent_mac", "permanent_mac"},
};

constexpr label neighbor_labels[] = {
    {"chassis_id", "chassis_id"},
    {"system_name", "system_name"},
    {"port_id", "port_id"},
    {"port_description", "port_description"},
};

} // namespace

void append_label_value(std::string &text, std::string_view value)
{
    while (!value.empty()) {
        char c = value.front();
        size_t length = 1;
        if (c == '\\' || c == '"') {
            text += '\\';
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x80) {
            text += c;
        } else if ((length = utf8_sequence_length(value)) > 0) {
            text.append(value.substr(0, length));
        } else {
            text += replacement_character;
            length = 1;
        }
        value.remove_prefix(length);
    }
}

void add_interface_series(prometheus_series &series, const json &interface)
{
    const json &device = member(interface, "name");
    append_series(series.ports, "tarvex_port_info", interface, port_labels, device);
    const json &neighbors = member(interface, "neighbors");
    if (!neighbors.is_array()) {
        return;
    }
    for (const json &neighbor : neighbors) {
        if (neighbor.is_object()) {
            append_series(series.neighbors, "tarvex_lldp_neighbor_info", neighbor, neighbor_labels, device);
        }
    }
}

std::string prometheus_exposition(const prometheus_series &series, bool obtained)
{
    std::string text;
    text.reserve(port_header.size() + series.ports.size() + neighbor_header.size() + series.neighbors.size() +
                 success_header.size() + 32);
    text += port_header;
    text += series.ports;
    text += neighbor_header;
    text += series.neighbors;
    text += success_header;
    text += obtained ? "tarvex_facts_success 1\n" : "tarvex_facts_success 0\n";
    return text;
}
