// SPDX-License-Identifier: MIT
/* Ethernet PCI functions of the host with their slot, port and bay, learnt
 * once per run from the management package's tools. */
#ifndef TARVEX_PORT_MAP_H
#define TARVEX_PORT_MAP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct vrk_nic_port_map_info {
    int32_t slot;
    int32_t slot_port;
    int32_t SWM_bay;
    int32_t SWM_bay_port;
} vrk_nic_port_map_info, *vrk_nic_port_map_info_p;

typedef struct vrk_network_adapter {
    int32_t slot;
    int32_t slot_port;
    uint32_t bus;
    uint32_t device;
    uint32_t function;
    vrk_nic_port_map_info_p nic_port_map;
    struct vrk_network_adapter *prev;
    struct vrk_network_adapter *next;
} vrk_network_adapter, *vrk_network_adapter_p;

/* Slot, port (from 1), bay, bay port (-1: unknown) of an Ethernet PCI function; nothing to free.
 * Returns 0 found with a slot, -2 found without one, -1 no such function (outputs untouched). */
int32_t get_slot_bay_info(int32_t bus, int32_t device, int32_t function, int32_t *slot,
                          int32_t *slot_port, int32_t *bay, int32_t *bay_port);

#ifdef __cplusplus
}
#endif

#endif
