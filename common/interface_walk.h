// SPDX-License-Identifier: MIT
// The interfaces the report and tarvex-facts describe, and the queries they
// make for each, in the report's order, with the records released before the
// next interface.  Internal to the family's programs; not installed.
#ifndef TARVEX_INTERFACE_WALK_H
#define TARVEX_INTERFACE_WALK_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "common_utilities.h"
#include "diag.h"
#include "ethernet_ports.h"
#include "pci_host.h"

// get_ethtool_info on fd, a datagram socket the caller holds for many
// interfaces (one socket a run rather than one an interface); with fd -1,
// get_ethtool_info itself.
int32_t get_ethtool_info_on(int fd, char *pif_name, ethtool_info *pet_info);
// The same on fd (-1: a socket of its own); with probe, an interface gone
// (ENODEV) gives 1 with nothing said.
int32_t probe_ethtool_info_on(int fd, char *pif_name, ethtool_info *pet_info, bool probe);

// Which interfaces a program describes: the report those whose kernel name
// contains "eth"; tarvex-facts those and every other Ethernet port of a PCI
// adapter, whatever its name (eno1, ens3f0), each probed once.
enum class interface_choice { eth_names, ethernet_ports };

// The chosen interfaces, in the listing's order (byte order of names).  Owns
// the listing's name block, and the driver record of each port found by
// probing (on ethtool_fd), so that the driver is asked once an interface.
struct interface_selection {
    static inline char eth_pattern[] = "eth";
    char **ppif = nullptr;
    int32_t if_count = 0;
    int32_t rc;  // get_interface_list's result; 0: the names are listed
    ethtool_info *pprobed = nullptr;  // per kept name; all null for an "eth" name
    explicit interface_selection(interface_choice choice = interface_choice::eth_names, int ethtool_fd = -1)
        : rc(get_interface_list(&ppif, choice == interface_choice::eth_names ? eth_pattern : nullptr, &if_count))
    {
        if (rc == 0 && choice == interface_choice::ethernet_ports) {
            keep_ethernet_ports(ethtool_fd);
        }
    }
    interface_selection(const interface_selection &) = delete;
    interface_selection &operator=(const interface_selection &) = delete;
    ~interface_selection()
    {
        for (int32_t i = 0; pprobed != nullptr && i < if_count; i++) {
            free_ethtool_info_members(&pprobed[i]);
        }
        std::free(pprobed);
        std::free(ppif);
    }
    [[nodiscard]] std::span<char *const> names() const { return {ppif, static_cast<size_t>(if_count)}; }
    // The probe's record of name i, taken over by the caller; null when the
    // name was not probed.
    [[nodiscard]] ethtool_info *probed(size_t i) const
    {
        return pprobed != nullptr && pprobed[i].pbus_info != nullptr ? &pprobed[i] : nullptr;
    }

private:
    // Drops, in place, the names that are neither "eth" names nor Ethernet
    // ports of a PCI adapter; the names stay in the block, in order.
    void keep_ethernet_ports(int ethtool_fd)
    {
        pprobed = static_cast<ethtool_info *>(std::calloc(static_cast<size_t>(if_count) + 1, sizeof(ethtool_info)));
        if (pprobed == nullptr) {
            TARVEX_MALLOC_FAILED();
        }
        int32_t kept = 0;
        for (int32_t i = 0; i < if_count; i++) {
            if (std::strstr(ppif[i], eth_pattern) != nullptr ||
                probe_pci_ethernet_port(ethtool_fd, ppif[i], &pprobed[kept])) {
                ppif[kept++] = ppif[i];
            }
        }
        if_count = kept;
    }
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

    // pprobed: the interface's driver record made already, taken over
    // (null: asked here).
    // With host_view, the PCI identity comes from the host's PCI view
    // (pci_host.h) where it holds the function's.
    interface_hardware(char *pif_name, bool slot_lookup, int ethtool_fd = -1, ethtool_info *pprobed = nullptr,
                       bool host_view = false)
    {
        if (pprobed != nullptr) {
            driver = *pprobed;
            *pprobed = ethtool_info{};
        } else {
            get_ethtool_info_on(ethtool_fd, pif_name, &driver);
        }
        pci_rc = host_view && identity_from_view() ? 0
                                                   : get_pci_info(driver.pbus_info, &pci.vendor, &pci.device,
                                                                  &pci.subsystem_vendor, &pci.subsystem_device);
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

private:
    bool identity_from_view()
    {
        pci_address at{};
        const pci_function *pfunction =
            driver.pbus_info != nullptr &&
                    read_pci_address(driver.pbus_info, pci_address_mode::entry_name, &at) == pci_address_form::parsed
                ? find_pci_function(pci_host_view(), at)
                : nullptr;
        if (pfunction == nullptr || !pfunction->ids_readable) {
            return false;
        }
        pci = {static_cast<int32_t>(pfunction->ids[0]), static_cast<int32_t>(pfunction->ids[1]),
               static_cast<int32_t>(pfunction->ids[2]), static_cast<int32_t>(pfunction->ids[3])};
        return true;
    }
};

#endif
