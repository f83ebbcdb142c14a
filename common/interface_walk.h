// SPDX-License-Identifier: MIT
// The interfaces the report and tarvex-facts describe, and the queries they
// make for each, in the report's order, with the records released before the
// next interface.  Internal to the family's programs; not installed.
#ifndef TARVEX_INTERFACE_WALK_H
#define TARVEX_INTERFACE_WALK_H

#include <cstdint>
#include <cstdlib>
#include <span>

#include "common_utilities.h"

// get_ethtool_info on fd, a datagram socket the caller holds for many
// interfaces; with fd -1, get_ethtool_info itself.
int32_t get_ethtool_info_on(int fd, char *pif_name, ethtool_info *pet_info);

// The interfaces both programs describe: those whose kernel name contains
// "eth", in the listing's order.  Owns the listing's name block.
struct interface_selection {
    static inline char eth_pattern[] = "eth";
    char **ppif = nullptr;
    int32_t if_count = 0;
    int32_t rc;  // get_interface_list's result; 0: the names are listed
    interface_selection() : rc(get_interface_list(&ppif, eth_pattern, &if_count)) {}
    interface_selection(const interface_selection &) = delete;
    interface_selection &operator=(const interface_selection &) = delete;
    ~interface_selection() { std::free(ppif); }
    [[nodiscard]] std::span<char *const> names() const { return {ppif, static_cast<size_t>(if_count)}; }
};

// The four identifiers the catalogue is keyed by.
struct pci_identity {
    int32_t vendor = 0;
    int32_t device = 0;
    int32_t subsystem_vendor = 0;
    int32_t subsystem_device = 0;
};

// Where a port sits: its expansion slot, its port within the slot (from 1),
// and the interconnect bay and bay port it is wired to; -1 where unknown.
struct port_place {
    int32_t slot = -1;
    int32_t port = -1;
    int32_t bay = -1;
    int32_t bay_port = -1;
};

// One interface's records, gathered when it is made and released with it.
// pci, pmodel and place hold only when pci_rc (get_pci_info's result) is 0;
// pmodel is null for an adapter the catalogue does not name; place is asked
// for only with slot_lookup and stays all -1 unless that lookup succeeds.
struct interface_hardware {
    ethtool_info driver{};
    int32_t pci_rc;
    pci_identity pci;
    nic_hw_db_t *pmodel = nullptr;
    port_place place;

    interface_hardware(char *pif_name, bool slot_lookup, int ethtool_fd = -1)
    {
        get_ethtool_info_on(ethtool_fd, pif_name, &driver);
        pci_rc = get_pci_info(driver.pbus_info, &pci.vendor, &pci.device, &pci.subsystem_vendor, &pci.subsystem_device);
        if (pci_rc != 0) {
            return;
        }
        get_db_struct_info(&pci.vendor, &pci.device, &pci.subsystem_vendor, &pci.subsystem_device, &pmodel);
        if (slot_lookup &&
            get_slot_info(driver.pbus_info, &place.slot, &place.port, &place.bay, &place.bay_port) != 0) {
            place = port_place{};
        }
    }
    interface_hardware(const interface_hardware &) = delete;
    interface_hardware &operator=(const interface_hardware &) = delete;
    ~interface_hardware()
    {
        free_db_struct_info(&pmodel);
        free_ethtool_info_members(&driver);
    }
    [[nodiscard]] bool catalogued() const { return pmodel != nullptr; }
};

#endif
