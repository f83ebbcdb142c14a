// SPDX-License-Identifier: MIT
// The Ethernet ports of PCI adapters, whatever their names: on hosts with
// the kernel's predictable names (eno1, ens3f0, enp59s0f1) no name contains
// "eth", yet each such port is still a link of type Ethernet whose driver
// names a PCI function.  Internal to the family's programs; not installed.
#ifndef TARVEX_ETHERNET_PORTS_H
#define TARVEX_ETHERNET_PORTS_H

#include <string_view>

// True when the text of /sys/class/net/NAME/type is the Ethernet link type
// (ARPHRD_ETHER, 1), with or without its newline.  Bridges, bonds, VLANs and
// taps are type 1 too; the loopback (772), tun (65534) and InfiniBand (32)
// are not.
bool is_ethernet_link_type(std::string_view type_text);

// True when the driver record's bus address is the kernel's name of a PCI
// function ("0000:0b:00.0": domain, bus, device, function, hexadecimal but
// the function), as a PCI driver reports it; a bridge says "N/A", tun "tun",
// a USB adapter "usb-0000:00:14.0-2", a veth nothing.
bool is_pci_bus_address(std::string_view bus_info);

// An interface whose link type is Ethernet and whose driver record names a
// PCI function.  Reads the type attribute, and asks the driver only for a
// type 1 link.
bool is_pci_ethernet_port(char *pif_name);

#endif
