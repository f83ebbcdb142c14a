// SPDX-License-Identifier: MIT
// The port within a slot, counted over the physical ports of the slot, not
// its PCI functions: an adapter may split one port into several functions
// (their interfaces share a phys_port_id) or carry several ports on one
// function (told apart by dev_port).  Plain logic over the host's PCI view;
// tests bring a view of their own.
#ifndef TARVEX_SLOT_PORTS_H
#define TARVEX_SLOT_PORTS_H

#include <cstdint>

#include "pci_host.h"

// Numbers the ports of every slot.  function_slots[f] is function f's slot
// (-1: none).  Each interface of a slotted function has a key: its
// phys_port_id where it has one, else (its function, its dev_port); a
// function without an interface is one port keyed (itself, 0).  A slot's
// ports are its distinct keys, ordered by the lowest (function address,
// dev_port) sharing each, numbered from 1.  Out: interface_ports[i] for
// every interface of a slotted function, and function_ports[f], the port of
// function f's first interface (lowest dev_port); others stay as they were.
void number_slot_ports(const pci_host &host, const int32_t *pfunction_slots, int32_t *pfunction_ports,
                       int32_t *pinterface_ports);

#endif
