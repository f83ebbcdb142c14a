// SPDX-License-Identifier: MIT
// The queries the report and tarvex-facts make for each interface: driver
// record, PCI identity, catalogue entry, slot and bay, asked for in the
// report's order and released before the next interface.  Internal to the
// programs of the family; not installed.
#ifndef TARVEX_INTERFACE_WALK_H
#define TARVEX_INTERFACE_WALK_H

#include <cstdint>

#include "common_utilities.h"

// One interface while its records are held.  Past pdriver, the fields hold
// only when pci_rc, get_pci_info's result, is 0.
struct interface_hardware {
    char *pif_name;
    const ethtool_info *pdriver;
    int32_t pci_rc;
    int32_t pci_ids[4];        // vendor, device, subsystem vendor, subsystem device
    const nic_hw_db_t *pmodel; // the catalogue's entry; null when it has none
    int32_t place[4];          // slot, port, bay, bay port; -1 when unknown
};

// Releases the two records in the report's order, also when use throws.
struct interface_records {
    ethtool_info einfo{};
    nic_hw_db_t *pdbs = nullptr;
    interface_records() = default;
    interface_records(const interface_records &) = delete;
    interface_records &operator=(const interface_records &) = delete;
    ~interface_records()
    {
        free_db_struct_info(&pdbs);
        free_ethtool_info_members(&einfo);
    }
};

// Gathers one interface, hands it to use, then releases its records.  The
// slot and bay are asked for only with slot_lookup, and all four stay -1
// unless that lookup succeeds.
template <typename Use> void walk_interface(char *pif_name, bool slot_lookup, Use &&use)
{
    interface_records records;
    ethtool_info &einfo = records.einfo;
    nic_hw_db_t *&pdbs = records.pdbs;
    get_ethtool_info(pif_name, &einfo);
    interface_hardware hardware{pif_name, &einfo, 0, {0, 0, 0, 0}, nullptr, {-1, -1, -1, -1}};
    int32_t *pids = hardware.pci_ids;
    hardware.pci_rc = get_pci_info(einfo.pbus_info, &pids[0], &pids[1], &pids[2], &pids[3]);
    if (hardware.pci_rc == 0) {
        if (get_db_struct_info(&pids[0], &pids[1], &pids[2], &pids[3], &pdbs) == 0) {
            hardware.pmodel = pdbs;
        }
        int32_t *pplace = hardware.place;
        if (slot_lookup && get_slot_info(einfo.pbus_info, &pplace[0], &pplace[1], &pplace[2], &pplace[3]) != 0) {
            pplace[0] = pplace[1] = pplace[2] = pplace[3] = -1;
        }
    }
    use(static_cast<const interface_hardware &>(hardware));
}

#endif
