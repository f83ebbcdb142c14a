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
int32_t get_interface_list(char ***pppif, char *pmatch_pattern, int32_t *pif_count);
int32_t get_ethtool_info(char *pif_name, ethtool_info *pet_info);
void free_ethtool_info_members(ethtool_info *pet_info);
int32_t get_pci_info(char *pbus_info, int32_t *ppci_ven, int32_t *ppci_dev,
                     int32_t *ppci_sub_ven, int32_t *ppci_sub_dev);

/* Interface addresses and state */
int32_t get_dynamic_interface_info(char *pif_name, dynamic_interface_info_t *pif);
link_status_t get_logical_interface_status(char *pif_name);
void free_dynamic_interface_info(dynamic_interface_info_t *pif);

/* Permanent MAC address from the adapter's EEPROM */
int32_t get_permanent_mac_addr(char *pif_name, char **pppermanent_mac);

/* Adapter catalogue */
int32_t get_nic_hw_info(int32_t *pci_ven, int32_t *pci_dev, int32_t *pci_sub_ven,
                        int32_t *pci_sub_dev, nic_hw_db_t **ppdbs);
int32_t get_db_struct_info(int32_t *ppci_ven, int32_t *ppci_dev, int32_t *ppci_sub_ven,
                           int32_t *ppci_sub_dev, nic_hw_db_t **ppdbs);
void free_db_struct_info(nic_hw_db_t **ppdbs);
int32_t non_orv_nic(int32_t *ppci_ven, int32_t *ppci_dev, int32_t *ppci_sub_ven,
                    int32_t *ppci_sub_dev);
void decode_inf_string(char *encoded_inf_name, int32_t len);

/* Management package and slot/bay lookup */
int32_t tolmar_installed(void);
int32_t get_slot_info(char *pbus_info, int32_t *pslot, int32_t *pport, int32_t *pbay_slot,
                      int32_t *pbay_port);

/* Line and token reading */
void trim_chars(char *pstring, char *ptrim);
void alloc_read_a_line_vars(FILE **ppfile, char **ppa_line, size_t *pline_len);
ssize_t read_a_line(char *pfile_name, FILE **ppfile, char **ppa_line, size_t *pline_len);
void free_read_a_line_vars(FILE **ppfile, char **ppa_line, size_t *pline_len);
int32_t read_tokens(char *pfile_name, char *ptoken_to_match, int32_t remove_nl,
                    char ***ppptokens_found, int32_t *ptoken_count);
void free_read_tokens(char ***ppplines, int32_t count);

/* Distribution detection */
int32_t detect_linux_distro(linux_distro_name_t *pname, linux_distro_type_t *ptype,
                            int32_t *pversion, char **ppofficial_distro_name);

#ifdef __cplusplus
}
#endif

#endif
