// SPDX-License-Identifier: MIT
// tarvex-facts' metrics text from hand-made interface objects: labels from
// the document's keys, absent values empty, neighbour series after every
// port series, label values escaped and made valid UTF-8.
#include <gtest/gtest.h>

#include "prometheus_text.h"

namespace {

using json = nlohmann::ordered_json;

const char *const port_meta = "# HELP tarvex_port_info Where an Ethernet port sits: slot and port from the management "
                              "tools and from the firmware, enclosure bay, model.\n"
                              "# TYPE tarvex_port_info gauge\n";
const char *const neighbor_meta = "# HELP tarvex_lldp_neighbor_info The switch and switch port an Ethernet port's "
                                  "cable reaches, as LLDP announces them.\n"
                                  "# TYPE tarvex_lldp_neighbor_info gauge\n";
const char *const success_meta = "# HELP tarvex_facts_success Whether the last tarvex-facts run obtained its "
                                 "document (1) or failed (0).\n"
                                 "# TYPE tarvex_facts_success gauge\n";

TEST(PrometheusText, PortsThenNeighboursFromTheInterfaceObjects)
{
    json cabled = json::parse(R"({"name": "ens3f1", "driver": "ixgbe", "bus_address": "0000:3b:00.1",
        "slot": 3, "port": 2, "bay": 5, "bay_port": 1, "model": "KV10G \"SFP+\"", "permanent_mac": "00:1C:5E:0A:0B:10",
        "firmware_slot": {"name": "PCIe Slot 3", "port": 2, "source": "smbios"},
        "onboard": {"index": null, "label": "NIC\\1"},
        "neighbors": [{"chassis_id": "00:11:22:33:44:55", "chassis_id_type": "mac", "system_name": "leaf-a1",
                       "port_id": "swp7", "port_id_type": "ifname", "port_description": "to \"db1\"\nrack 4\\b"},
                      {"chassis_id": "x", "system_name": "", "port_id": "1", "port_description": null}]})");
    json bare = json::parse(R"({"name": "eth0", "bus_address": null, "slot": null, "port": null, "bay": null,
        "bay_port": null, "model": null, "permanent_mac": null, "firmware_slot": null, "onboard": null,
        "neighbors": null})");
    json no_neighbours = bare;
    no_neighbours["name"] = "eth1";
    no_neighbours["neighbors"] = json::array();
    no_neighbours["firmware_slot"] = {{"name", "Slot \xff"}, {"port", nullptr}};
    cabled["neighbors"][1]["system_name"] = "sw\xfe";

    prometheus_series series;
    for (const json *pinterface : {&cabled, &bare, &no_neighbours}) {
        add_interface_series(series, *pinterface);
    }
    std::string want = std::string(port_meta) +
        "tarvex_port_info{device=\"ens3f1\",bus_address=\"0000:3b:00.1\",slot=\"3\",port=\"2\",bay=\"5\","
        "bay_port=\"1\",firmware_slot=\"PCIe Slot 3\",firmware_port=\"2\",onboard_label=\"NIC\\\\1\","
        "model=\"KV10G \\\"SFP+\\\"\",permanent_mac=\"00:1C:5E:0A:0B:10\"} 1\n"
        "tarvex_port_info{device=\"eth0\",bus_address=\"\",slot=\"\",port=\"\",bay=\"\",bay_port=\"\","
        "firmware_slot=\"\",firmware_port=\"\",onboard_label=\"\",model=\"\",permanent_mac=\"\"} 1\n"
        "tarvex_port_info{device=\"eth1\",bus_address=\"\",slot=\"\",port=\"\",bay=\"\",bay_port=\"\","
        "firmware_slot=\"Slot \xef\xbf\xbd\",firmware_port=\"\",onboard_label=\"\",model=\"\",permanent_mac=\"\"} 1\n" +
        neighbor_meta +
        "tarvex_lldp_neighbor_info{device=\"ens3f1\",chassis_id=\"00:11:22:33:44:55\",system_name=\"leaf-a1\","
        "port_id=\"swp7\",port_description=\"to \\\"db1\\\"\\nrack 4\\\\b\"} 1\n"
        "tarvex_lldp_neighbor_info{device=\"ens3f1\",chassis_id=\"x\",system_name=\"sw\xef\xbf\xbd\",port_id=\"1\","
        "port_description=\"\"} 1\n" +
        success_meta + "tarvex_facts_success 1\n";
    EXPECT_EQ(prometheus_exposition(series, true), want);
}

TEST(PrometheusText, FailedRunHasNoSeriesAndSuccessZero)
{
    EXPECT_EQ(prometheus_exposition({}, false),
              std::string(port_meta) + neighbor_meta + success_meta + "tarvex_facts_success 0\n");
}

// Well-formed UTF-8 passes whole; each byte of an ill-formed sequence
// becomes one U+FFFD.
TEST(PrometheusText, LabelValuesAreValidUtf8)
{
    const std::string fffd = "\xef\xbf\xbd";
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\x8c \xf4\x8f\xbf\xbf \x01\t", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\x8c \xf4\x8f\xbf\xbf \x01\t"},
        {"\x80x", fffd + "x"},                                 // lone continuation byte
        {"\xc0\xaf\xed\xa0\x80", fffd + fffd + fffd + fffd + fffd}, // overlong '/', a surrogate
        {"\xf4\x90\x80\x80", fffd + fffd + fffd + fffd},       // past U+10FFFF
        {"ab\xe2\x82\"", "ab" + fffd + fffd + "\\\""},        // cut short by a quote
    };
    for (const auto &each : cases) {
        std::string text;
        append_label_value(text, each.in);
        EXPECT_EQ(text, each.out) << each.in;
    }
}

} // namespace
