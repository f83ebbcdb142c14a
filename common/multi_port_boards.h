// SPDX-License-Identifier: MIT
// The multi-port boards of the catalogue, known by their PCI subsystem device
// id.  Their ports share one address block in the EEPROM, so reading a
// port's permanent MAC address depends on whether the board is one of these.
// Each id names a row of common/nic_db.txt with the matching chip vendor.
#ifndef TARVEX_MULTI_PORT_BOARDS_H
#define TARVEX_MULTI_PORT_BOARDS_H

#include <cstdint>

// Intel-based (chip vendor 0x8086) dual and quad port boards.
inline constexpr int32_t intel_multi_port_sub_devices[3] = {0x7104, 0x7112, 0x7118};

// The Broadcom-based (chip vendor 0x14E4) dual port board; its chip keeps
// the default EEPROM layout.
inline constexpr int32_t broadcom_multi_port_sub_device = 0x7160;

#endif
