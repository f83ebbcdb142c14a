// SPDX-License-Identifier: MIT
// The pure parts of the LLDP neighbours and the cabling check: json0 shapes
// lldpd may print beyond what the lab's daemons send (VLANs, absent or empty
// texts, another release's forms), the plan's fields and the matching
// rules.  The lab (checks.sh) covers the rest against real daemons.
#include <string>

#include <gtest/gtest.h>

#include "cabling_plan.h"
#include "lldp_neighbors.h"

using lldp::json;

namespace {

std::string neighbors_text(const char *pdocument, const char *pif_name)
{
    auto table = lldp::parse_json0(pdocument);
    if (!table) {
        return "unreadable";
    }
    return lldp::neighbors_of(lldp::answer{true, *table}, pif_name).dump();
}

constexpr const char *chassis = R"("chassis":[{"id":[{"type":"mac","value":"0c:29:ef:00:00:01"}]}])";
constexpr const char *port = R"("port":[{"id":[{"type":"ifname","value":"Ethernet7"}],"descr":[{"value":""}]}])";

} // namespace

TEST(Json0, ShapesGiveEntriesOrNothing)
{
    std::string one = std::string(R"({"lldp":[{"interface":[{"name":"eno1",)") + chassis + "," + port;
    struct {
        std::string document;
        const char *pexpected;
    } cases[] = {
        {R"({"lldp":[{}]})", "[]"},
        {one + "}]}]}",
         R"([{"chassis_id":"0c:29:ef:00:00:01","chassis_id_type":"mac","system_name":null,"port_id":"Ethernet7",)"
         R"("port_id_type":"ifname","port_description":null,"management_addresses":[],"vlans":[]}])"},
        {one + R"(,"vlan":[{"vlan-id":"100","pvid":true,"value":"prod"},{"vlan-id":"1","pvid":true},)"
               R"({"vlan-id":20,"value":""}]}]}]})",
         nullptr},
        {one + R"(,"vlan":[{"vlan-id":"x"}]}]}]})", "unreadable"},
        {R"({"lldp":[{"interface":[{"name":"eno1",)" + std::string(port) + "}]}]}", "unreadable"},
        {R"({"lldp":{}})", "unreadable"},
        {"lldp", "unreadable"},
    };
    for (const auto &row : cases) {
        std::string got = neighbors_text(row.document.c_str(), "eno1");
        if (row.pexpected != nullptr) {
            EXPECT_EQ(got, row.pexpected) << row.document;
            continue;
        }
        EXPECT_EQ(json::parse(got)[0]["vlans"].dump(),
                  R"([{"id":100,"name":"prod","pvid":true},{"id":1,"name":null,"pvid":true},)"
                  R"({"id":20,"name":null,"pvid":false}])");
    }
}

TEST(Cabling, PlanFieldsQuotesAndComments)
{
    cabling::plan good = cabling::parse_plan("# rack\n  eno1\t\"leaf #1\" Ethernet7 # cabled 2024\n\n"
                                             "eno2 leaf-\"a 1\" x\r\n");
    ASSERT_EQ(good.error_line, 0u) << good.error;
    ASSERT_EQ(good.ports.size(), 2u);
    EXPECT_EQ(good.ports[0].switch_name, "leaf #1");
    EXPECT_EQ(good.ports[1].switch_name, "leaf-a 1");
    EXPECT_EQ(good.ports[1].switch_port, "x");
}

// The lab checks MAC ids in either case; other ids and texts are compared
// byte for byte.
TEST(Cabling, OnlyMacAddressesIgnoreCase)
{
    json neighbors = json::parse(
        R"([{"chassis_id":"Leaf-B","chassis_id_type":"local","system_name":"spine","port_id":"Gi0/1",)"
        R"("port_id_type":"local","port_description":"Uplink","management_addresses":[],"vlans":[]}])");
    EXPECT_EQ(cabling::judge({"eno1", "Leaf-B", "Uplink"}, true, neighbors), cabling::verdict::ok);
    EXPECT_EQ(cabling::judge({"eno1", "leaf-b", "Gi0/1"}, true, neighbors), cabling::verdict::wrong);
    EXPECT_EQ(cabling::judge({"eno1", "spine", "gi0/1"}, true, neighbors), cabling::verdict::wrong);
}
