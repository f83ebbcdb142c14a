// SPDX-License-Identifier: MIT
// The Ethernet ports of PCI adapters, whatever their names: on hosts with
// the kernel's predictable names (eno1, ens3f0, enp59s0f1) no name contains
// "eth", yet each such port is still a link of type Ethernet whose driver
// names a PCI function.  Internal to the family's programs; not installed.
#ifndef TARVEX_ETHERNET_PORTS_H
#define TARVEX_ETHERNET_PORTS_H

#include <string_view>

#include "common_structs.h"

// True when the text of /sys/class/net/NAME/type is the Ethernet link type
// (ARPHRD_ETHER, 1), with or without its newline.  Bridges, bonds, VLANs and
// taps are type 1 too; the loopback (772), tun (65534) and InfiniBand (32)
// are not.
bool is_ethernet_link_type(std::string_view type_text);

// An interface whose link type is Ethernet and whose driver record names a
// PCI function as the kernel writes it ("0000:0b:00.0"; a bridge says "N/A",
// tun "tun", a USB adapter "usb-0000:00:14.0-2", a veth nothing).  Reads the
// type attribute, and asks the driver (on fd, or a socket of its own when
// -1) only for a type 1 link; the record of a port is handed back in
// *pdriver (the caller frees its members), else *pdriver is left empty.  An
// interface gone by then is no port, and nothing is said.
bool probe_pci_ethernet_port(int fd, char *pif_name, ethtool_info *pdriver);

#endif
