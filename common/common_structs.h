// SPDX-License-Identifier: MIT
/* Enumerations, their display tables and the records shared by the tarvex
 * family of tools.  Plain C so that C tools can include it as well. */
#ifndef TARVEX_COMMON_STRUCTS_H
#define TARVEX_COMMON_STRUCTS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The display tables are file-local on purpose: every module that includes
 * this header carries its own copy, and a module that does not use one must
 * not get a warning for it. */
#if defined(__GNUC__)
#define TARVEX_MAYBE_UNUSED __attribute__((unused))
#else
#define TARVEX_MAYBE_UNUSED
#endif

typedef enum {
    link_unknown = 0,
    link_up = 1,
    link_down = 2,
    link_failed = 3,
    link_degraded = 4
} link_status_t;

static const char *const link_status_text[] TARVEX_MAYBE_UNUSED = {
    "unknown", "up", "down", "failed", "degraded"};

typedef enum {
    ipv6_global_scope = 0,
    ipv6_link_scope = 1,
    ipv6_site_scope = 2,
    ipv6_v4compat_scope = 3,
    ipv6_host_scope = 4,
    ipv6_loopback_scope = 5,
    ipv6_unspecified_scope = 6
} ipv6_link_scope_t;

static const char *const ipv6_link_scope_text[] TARVEX_MAYBE_UNUSED = {
    "global", "link", "site", "v4compat", "host", "loopback", "unspecified"};

typedef enum {
    unknown_distro = 0,
    rh_distro = 1,
    suse_distro = 2,
    vmware_distro = 3,
    zen_distro = 4,
    fedora_core_distro = 5
} linux_distro_name_t;

static const char *const linux_distro_name[] TARVEX_MAYBE_UNUSED = {
    "unknown", "Red Hat", "SUSE", "Vmware", "Zen", "Fedora Core"};

typedef enum {
    unknown_distro_type = 0,
    rh_as = 1,
    rh_es = 2,
    rh_ws = 3,
    suse_es = 4
} linux_distro_type_t;

static const char *const linux_distro_type[] TARVEX_MAYBE_UNUSED = {
    "unknown", "AS", "ES", "WS", "ES"};

/* Driver record of one interface; every text is a heap copy owned by the
 * record and released by free_ethtool_info_members. */
typedef struct ethtool_info {
    char *pdriver_name;
    char *pdriver_version;
    char *pfirmware_version;
    char *pbus_info;
    link_status_t link_status;
} ethtool_info;

/* Longest model name the catalogue holds; inf_name keeps one byte more for
 * the terminating zero. */
#define NIC_HW_INF_NAME_MAX 59

/* One catalogue row.  In the built-in table inf_name is scrambled; in a copy
 * handed out by get_db_struct_info it is plain text. */
typedef struct nic_hw_db {
    int32_t pci_ven;
    int32_t pci_dev;
    int32_t pci_sub_ven;
    int32_t pci_sub_dev;
    char *poem;
    char *ppca_part_number;
    char *pspares_part_number;
    char *pboard_rev;
    char *pport_type;
    char *pbus_type;
    int32_t inf_name_len;
    char inf_name[NIC_HW_INF_NAME_MAX + 1];
} nic_hw_db_t;

/* Addresses, scope and state of one interface. */
typedef struct dynamic_interface_info {
    char *pip_addr;
    char *pnetmask;
    char *pbroadcast;
    char *pcurrent_mac;
    char *pipv6_addr;
    char *pipv6_shorthand_addr;
    uint32_t pipv6_refix_length;
    ipv6_link_scope_t ipv6_scope;
    link_status_t if_status;
} dynamic_interface_info_t;

/* Where a firmware table or the kernel's hotplug driver says a PCI slot sits. */
typedef enum {
    firmware_slot_none = 0,
    firmware_slot_smbios = 1,
    firmware_slot_hotplug = 2,
} firmware_slot_source_t;

static const char *const firmware_slot_source_text[] TARVEX_MAYBE_UNUSED = {"none", "smbios", "hotplug"};

/* Firmware location of one PCI function: the slot the firmware names for it
 * with the port within that slot, and the board's own index and label for a
 * port soldered on the board.  Both texts are heap copies owned by the record
 * and released by free_firmware_location_members. */
typedef struct {
    char *pslot_name;                   /* SMBIOS designation or hotplug slot name, trimmed; NULL: none */
    int32_t slot_port;                  /* port within the slot, from 1; -1 without a slot */
    firmware_slot_source_t slot_source; /* firmware_slot_none without a slot */
    int32_t onboard_index;              /* acpi_index, else index (none above 16383); -1: none */
    char *ponboard_label;               /* label, trimmed; NULL when absent or empty */
} firmware_location_t;

#ifdef __cplusplus
}
#endif

#endif
