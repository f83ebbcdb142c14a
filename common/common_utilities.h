// SPDX-License-Identifier: MIT
/* Host queries of the tarvex tool family: interfaces, PCI identity, the
 * adapter catalogue, management-package presence, slot lookup, addresses,
 * permanent MAC, text reading and distribution detection.  Plain C. */
#ifndef TARVEX_COMMON_UTILITIES_H
#define TARVEX_COMMON_UTILITIES_H

#include <stdint.h>
#include <stdio.h>
#include <sys/types.h>

#include "common_structs.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Interface enumeration and driver/PCI queries */

/* Names in /sys/class/net that contain pmatch_pattern (NULL: all but dot names), sorted.
 * Returns 0; *pppif is one block the caller frees with free(), NULL when *pif_count is 0.
 * Returns 1, with no block, count 0 and one ERROR line carrying errno on standard error, when
 * the directory cannot be listed (no sysfs, no descriptor left, no permission). */
int32_t get_interface_list(char ***pppif, char *pmatch_pattern, int32_t *pif_count);
/* Clears and fills the caller's record (driver, versions, bus address, link).  Returns 0,
 * or 1 without a socket; check the fields needed, release with free_ethtool_info_members. */
int32_t get_ethtool_info(char *pif_name, ethtool_info *pet_info);
/* Frees the record's four texts and sets them to NULL; the record stays the
 * caller's.  Safe to call twice. */
void free_ethtool_info_members(ethtool_info *pet_info);
/* Vendor, device, subsystem vendor and device of a PCI bus address from sysfs.
 * Returns 0 with all four written, or 1 with none written. */
int32_t get_pci_info(char *pbus_info, int32_t *ppci_ven, int32_t *ppci_dev,
                     int32_t *ppci_sub_ven, int32_t *ppci_sub_dev);

/* Interface addresses and state */

/* Clears and fills the caller's record (needs CAP_NET_RAW).  Returns 0; 1 when a query or
 * the IPv6 address failed; -1 without a socket.  Release with free_dynamic_interface_info. */
int32_t get_dynamic_interface_info(char *pif_name, dynamic_interface_info_t *pif);
/* link_up or link_down from the interface flags; link_unknown when the
 * interface or the raw socket is not available. */
link_status_t get_logical_interface_status(char *pif_name);
/* Frees the record's six texts and sets them to NULL; the record stays the
 * caller's.  Safe to call twice. */
void free_dynamic_interface_info(dynamic_interface_info_t *pif);

/* Permanent MAC address from the adapter's EEPROM */

/* Factory address "XX:XX:XX:XX:XX:XX" of a catalogued Intel or Broadcom adapter.  Returns 0
 * with *pppermanent_mac a new text the caller frees with free(), or 1 with it not written. */
int32_t get_permanent_mac_addr(char *pif_name, char **pppermanent_mac);

/* Adapter catalogue */

/* Returns 0 with *ppdbs pointing at the catalogue's own row (name scrambled;
 * never change or free it), or 1 with *ppdbs untouched. */
int32_t get_nic_hw_info(int32_t *pci_ven, int32_t *pci_dev, int32_t *pci_sub_ven,
                        int32_t *pci_sub_dev, nic_hw_db_t **ppdbs);
/* Returns 0 with *ppdbs a new copy of the row, model name in plain text, that
 * the caller releases with free_db_struct_info; 1 with *ppdbs NULL. */
int32_t get_db_struct_info(int32_t *ppci_ven, int32_t *ppci_dev, int32_t *ppci_sub_ven,
                           int32_t *ppci_sub_dev, nic_hw_db_t **ppdbs);
/* Frees a copy from get_db_struct_info and sets *ppdbs to NULL; NULL is a no-op. */
void free_db_struct_info(nic_hw_db_t **ppdbs);
/* Returns 0 when the four identifiers are in the catalogue, 1 when not. */
int32_t non_orv_nic(int32_t *ppci_ven, int32_t *ppci_dev, int32_t *ppci_sub_ven,
                    int32_t *ppci_sub_dev);
/* Unscrambles len bytes in place and writes a NUL at index len (the buffer
 * holds len + 1 bytes); len 0 or less changes nothing. */
void decode_inf_string(char *encoded_inf_name, int32_t len);

/* Management package and slot/bay lookup */

/* Returns 1 when one of the management tools' four paths exists, else 0. */
int32_t tolmar_installed(void);
/* Slot, port (from 1), bay and bay port of a PCI bus address, each -1 when unknown.
 * Returns 0, or 1 when the address does not parse or the function has no slot. */
int32_t get_slot_info(char *pbus_info, int32_t *pslot, int32_t *pport, int32_t *pbay_slot,
                      int32_t *pbay_port);

/* Firmware location */

/* Slot, port within the slot and onboard identity that the firmware gives the PCI function
 * at pbus_info ("0000:0b:00.0"), from the SMBIOS slot table, the hotplug slots and the
 * function's sysfs attributes.  Only an Ethernet function (class 0x020000) or a virtual
 * function of one gets a slot.  Ports count the slot's physical ports: interfaces that share a
 * phys_port_id are one port, and one function may carry several (dev_port); the port given
 * here is that of the function's first interface (lowest dev_port), and a virtual function's
 * that of its physical function.  The record is cleared first (texts NULL, numbers -1, source
 * firmware_slot_none).  Returns 0 when the function is there, whether or not the firmware
 * names anything for it; 1 when pbus_info is NULL, not the kernel's name of a PCI function
 * or names none.  The caller releases the texts with free_firmware_location_members.  The
 * slots and the PCI functions are learnt on the first call (of this or of
 * get_interface_firmware_location) and kept for the process; a malformed SMBIOS table is
 * said once, in an INFO line on standard error.  Safe to call from several threads. */
int32_t get_firmware_location(char *pbus_info, firmware_location_t *plocation);
/* The same for the network interface pif_name ("eno1") of a PCI function: the slot of its
 * function and the port of the interface itself within that slot.  Returns 1 when the name
 * is not the interface of a PCI function the kernel lists. */
int32_t get_interface_firmware_location(char *pif_name, firmware_location_t *plocation);
/* Frees the record's two texts and sets them to NULL; the record stays the
 * caller's.  Safe to call twice. */
void free_firmware_location_members(firmware_location_t *plocation);

/* Line and token reading */

/* Strips every character of the set ptrim from both ends of pstring, in place. */
void trim_chars(char *pstring, char *ptrim);
/* Starts a reading triple (stream, line buffer, size) empty; allocates nothing. */
void alloc_read_a_line_vars(FILE **ppfile, char **ppa_line, size_t *pline_len);
/* Opens pfile_name when no stream is open (else it is ignored) and returns the next line's
 * length as getline does; -1 at end, on error or when the file cannot be opened. */
ssize_t read_a_line(char *pfile_name, FILE **ppfile, char **ppa_line, size_t *pline_len);
/* Closes the triple's stream, frees its buffer and empties it again. */
void free_read_a_line_vars(FILE **ppfile, char **ppa_line, size_t *pline_len);
/* Copies of the lines that, after leading spaces, begin with the token.  Returns the
 * count (also in *ptoken_count); the caller releases them with free_read_tokens. */
int32_t read_tokens(char *pfile_name, char *ptoken_to_match, int32_t remove_nl,
                    char ***ppptokens_found, int32_t *ptoken_count);
/* Frees count lines and their array from read_tokens and sets *ppplines to NULL. */
void free_read_tokens(char ***ppplines, int32_t count);

/* Distribution detection */

/* Distribution, edition and version from /etc's release file: 0 recognised, else 1.  Once a
 * line was read, *ppofficial_distro_name (if given) is its trimmed copy; the caller free()s it. */
int32_t detect_linux_distro(linux_distro_name_t *pname, linux_distro_type_t *ptype,
                            int32_t *pversion, char **ppofficial_distro_name);

#ifdef __cplusplus
}
#endif

#endif
