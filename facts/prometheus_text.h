// SPDX-License-Identifier: MIT
// tarvex-facts' document as metrics in the Prometheus text exposition
// format, for node_exporter's textfile collector: one tarvex_port_info
// series per interface, one tarvex_lldp_neighbor_info series per LLDP
// neighbour, and tarvex_facts_success.  The series are made from each
// interface's finished JSON object, so the two formats cannot disagree.
#ifndef TARVEX_PROMETHEUS_TEXT_H
#define TARVEX_PROMETHEUS_TEXT_H

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// The series of the interfaces so far, per metric: a metric's lines must
// stand together, so the neighbours wait until every port is written.
struct prometheus_series {
    std::string ports;
    std::string neighbors;
};

// Adds one interface object of the document (its "name", "bus_address",
// "slot" ... "onboard", and "neighbors" where present).
void add_interface_series(prometheus_series &series, const nlohmann::ordered_json &interface);

// The whole text: every metric's HELP and TYPE lines, the series, and
// tarvex_facts_success 1, or 0 when the run obtained no document.
std::string prometheus_exposition(const prometheus_series &series, bool obtained);

// A label value as the format writes it between its quotes: backslash,
// double quote and line feed escaped, invalid UTF-8 replaced by U+FFFD.
void append_label_value(std::string &text, std::string_view value);

#endif
