// SPDX-License-Identifier: MIT
// The slot and bay decisions as plain logic over the adapter list and the
// tools' lines; port_map.cpp runs the tools, tests bring lists and lines.
#ifndef TARVEX_SLOT_NUMBERING_H
#define TARVEX_SLOT_NUMBERING_H

#include <optional>
#include <string_view>

#include "port_map.h"
#include "port_map_parse.h"

// The first node of the circular list from phead for which matches(node)
// holds; none when the list is empty or no node does.
template <typename match_fn> vrk_network_adapter_p first_adapter(vrk_network_adapter_p phead, match_fn matches)
{
    for (vrk_network_adapter_p p = phead; p != nullptr; p = p->next == phead ? nullptr : p->next) {
        if (matches(p)) {
            return p;
        }
    }
    return nullptr;
}

// A PCI device's slot: that of the first inventory line naming its bus and
// device, as parsed (a slot too wide to hold reads -1, yet is found); none
// when no line does.  Every function of the device shares it.  next_line
// hands over the lines, false at their end; none is asked for after a match.
template <typename line_fn> std::optional<int32_t> device_slot(line_fn next_line, uint32_t bus, uint32_t device)
{
    std::string_view line;
    inventory_entry entry{};
    while (next_line(&line)) {
        if (parse_inventory_line(line, &entry) && entry.bus == bus && entry.device == device) {
            return entry.slot;
        }
    }
    return std::nullopt;
}

// A node's port in its slot, from 0 in list order, that is in PCI address
// order across all devices of the slot; -1 without a slot.  Counting earlier
// nodes, not indexing a table of counters, serves any slot the tool gives.
inline int32_t port_in_slot(vrk_network_adapter_p phead, vrk_network_adapter_p padapter)
{
    int32_t count = 0;
    for (vrk_network_adapter_p pearlier = phead; pearlier != padapter; pearlier = pearlier->next) {
        count += pearlier->slot == padapter->slot ? 1 : 0;
    }
    return padapter->slot < 0 ? -1 : count;
}

// The node a port map line names.  The CLI's port is compared as printed
// with the node's zero-based port: the CLI numbers its ports from 0.
inline vrk_network_adapter_p adapter_at_port(vrk_network_adapter_p phead, int32_t slot, int32_t slot_port)
{
    return first_adapter(phead, [=](vrk_network_adapter_p p) { return p->slot == slot && p->slot_port == slot_port; });
}

// The named node takes a line's bay record unless it holds one already (the
// first line wins); a line naming no node is dropped.
inline bool takes_bay_record(const vrk_network_adapter *pnamed)
{
    return pnamed != nullptr && pnamed->nic_port_map == nullptr;
}

#endif
