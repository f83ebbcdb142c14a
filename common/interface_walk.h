// SPDX-License-Identifier: MIT
// The queries the report and tarvex-facts make for each interface, in the
// report's order, with the records released before the next interface.
// Internal to the family's programs; not installed.
#ifndef TARVEX_INTERFACE_WALK_H
#define TARVEX_INTERFACE_WALK_H

#include <cstdint>

#include "common_utilities.h"

// One interface while its records are held.  pci_ids, pmodel and place hold
// only when pci_rc, get_pci_info's result, is 0; pmodel is null for an
// adapter the catalogue does not name, and place (slot, port, bay, bay
// port) is -1 where unknown.
struct interface_hardware {
    char *pif_name = nullptr;
    ethtool_info driver{};
    int32_t pci_rc = 0;
    int32_t pci_ids[4] = {0, 0, 0, 0};
    nic_hw_db_t *pmodel = nullptr;
    int32_t place[4] = {-1, -1, -1, -1};
    interface_hardware() = default;
    interface_hardware(const interface_hardware &) = delete;
    interface_hardware &operator=(const interface_hardware &) = delete;
    ~interface_hardware()
    {
        free_db_struct_info(&pmodel);
        free_ethtool_info_members(&driver);
    }
};

// Gathers one interface and hands it to use; the slot and bay are asked for
// only with slot_lookup, and all four stay -1 unless that lookup succeeds.
template <typename Use> void walk_interface(char *pif_name, bool slot_lookup, Use &&use)
{
    interface_hardware hw;
    hw.pif_name = pif_name;
    get_ethtool_info(pif_name, &hw.driver);
    int32_t *pids = hw.pci_ids;
    int32_t *pplace = hw.place;
    hw.pci_rc = get_pci_info(hw.driver.pbus_info, &pids[0], &pids[1], &pids[2], &pids[3]);
    if (hw.pci_rc == 0) {
        if (get_db_struct_info(&pids[0], &pids[1], &pids[2], &pids[3], &hw.pmodel) != 0) {
            free_db_struct_info(&hw.pmodel);
        }
        if (slot_lookup && get_slot_info(hw.driver.pbus_info, &pplace[0], &pplace[1], &pplace[2], &pplace[3]) != 0) {
            pplace[0] = pplace[1] = pplace[2] = pplace[3] = -1;
        }
    }
    use(static_cast<const interface_hardware &>(hw));
}

#endif
