// SPDX-License-Identifier: MIT
// Ports within a slot, by physical port.
#include "slot_ports.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "diag.h"

namespace {

// One interface of a slotted function (interface -1: the function's own
// port, for a function without interfaces), in (slot, address, dev_port)
// order once sorted.
struct port_member {
    int32_t slot;
    int32_t order;
    int32_t function;
    int32_t interface;
};

bool same_key(const pci_host &host, const port_member &a, const port_member &b)
{
    const pci_interface *pa = a.interface >= 0 ? &host.pinterfaces[a.interface] : nullptr;
    const pci_interface *pb = b.interface >= 0 ? &host.pinterfaces[b.interface] : nullptr;
    const char *pid_a = pa != nullptr ? pa->phys_port_id : "";
    const char *pid_b = pb != nullptr ? pb->phys_port_id : "";
    if (pid_a[0] != '\0' || pid_b[0] != '\0') {
        return std::strcmp(pid_a, pid_b) == 0;
    }
    return a.function == b.function && (pa != nullptr ? pa->dev_port : 0) == (pb != nullptr ? pb->dev_port : 0);
}

} // namespace

void number_slot_ports(const pci_host &host, const int32_t *pfunction_slots, int32_t *pfunction_ports,
                       int32_t *pinterface_ports)
{
    auto *pmembers = static_cast<port_member *>(
        TARVEX_CALLOC(static_cast<size_t>(host.function_count + host.interface_count) + 1, sizeof(port_member)));
    int32_t count = 0;
    for (int32_t f = 0; f < host.function_count; f++) {
        const pci_function &function = host.pfunctions[f];
        if (pfunction_slots[f] < 0) {
            continue;
        }
        for (int32_t i = 0; i < std::max(function.interface_count, 1); i++) {
            pmembers[count] = {pfunction_slots[f], count, f,
                               function.interface_count > 0 ? function.first_interface + i : -1};
            count++;
        }
    }
    // Functions come in address order and each one's interfaces by dev_port:
    // within a slot, that order is kept.  (A sort that needs no allocation.)
    std::sort(pmembers, pmembers + count, [](const port_member &a, const port_member &b) {
        return a.slot != b.slot ? a.slot < b.slot : a.order < b.order;
    });
    int32_t group_start = 0;
    int32_t ports = 0;
    auto *pport_of = static_cast<int32_t *>(TARVEX_CALLOC(static_cast<size_t>(count) + 1, sizeof(int32_t)));
    for (int32_t m = 0; m < count; m++) {
        if (pmembers[m].slot != pmembers[group_start].slot) {
            group_start = m;
            ports = 0;
        }
        int32_t earlier = group_start;
        while (earlier < m && !same_key(host, pmembers[earlier], pmembers[m])) {
            earlier++;
        }
        pport_of[m] = earlier < m ? pport_of[earlier] : ++ports;
        const port_member &member = pmembers[m];
        if (member.interface >= 0) {
            pinterface_ports[member.interface] = pport_of[m];
        }
        if (member.interface < 0 || member.interface == host.pfunctions[member.function].first_interface) {
            pfunction_ports[member.function] = pport_of[m];
        }
    }
    std::free(pport_of);
    std::free(pmembers);
}
