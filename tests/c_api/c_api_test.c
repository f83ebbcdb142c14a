/* SPDX-License-Identifier: MIT */
/* The public headers from a C translation unit: all of them compile together
 * as C11, and a few operations called from C give the documented results.
 * Exit status 0 when every check holds. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common_structs.h"
#include "common_utilities.h"
#include "encode_string.h"
#include "nic_db.h"
#include "port_map.h"

static int failures = 0;

#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "c_api_test.c:%d: check failed: %s\n", __LINE__, #cond); \
            failures++;                                                              \
        }                                                                            \
    } while (0)

static void check_scrambling(void)
{
    char text[] = "round trip";
    encode_string(text, (int32_t)strlen(text));
    CHECK(strcmp(text, "round trip") != 0);
    decode_string(text, (int32_t)strlen(text));
    CHECK(strcmp(text, "round trip") == 0);
}

static void check_catalogue(void)
{
    /* The table itself is visible to C callers; its first row is found. */
    int32_t ven = nic_hw[0].pci_ven;
    int32_t dev = nic_hw[0].pci_dev;
    int32_t sub_ven = nic_hw[0].pci_sub_ven;
    int32_t sub_dev = nic_hw[0].pci_sub_dev;
    nic_hw_db_t *pdbs = NULL;
    CHECK(NIC_HW_ROW_COUNT == 100);
    CHECK(get_db_struct_info(&ven, &dev, &sub_ven, &sub_dev, &pdbs) == 0);
    CHECK(pdbs != NULL);
    if (pdbs != NULL) {
        CHECK((int32_t)strlen(pdbs->inf_name) == nic_hw[0].inf_name_len);
        CHECK(memcmp(pdbs->inf_name, nic_hw[0].inf_name, (size_t)nic_hw[0].inf_name_len) != 0);
        CHECK(strcmp(pdbs->pbus_type, nic_hw[0].pbus_type) == 0);
    }
    free_db_struct_info(&pdbs);
    CHECK(pdbs == NULL);
    CHECK(non_orv_nic(&ven, &dev, &sub_ven, &sub_dev) == 0);

    dev = 0x7FFF;
    pdbs = (nic_hw_db_t *)&ven;
    CHECK(get_db_struct_info(&ven, &dev, &sub_ven, &sub_dev, &pdbs) == 1);
    CHECK(pdbs == NULL);
    CHECK(non_orv_nic(&ven, &dev, &sub_ven, &sub_dev) == 1);
}

static void check_interface_list(void)
{
    char **ppif = NULL;
    int32_t count = -1;
    int32_t i;
    CHECK(get_interface_list(&ppif, NULL, &count) == 0);
    CHECK(count > 0); /* every Linux host has lo */
    if (ppif != NULL && count > 0) {
        CHECK(ppif[0] == (char *)(ppif + count));
        for (i = 0; i < count; i++) {
            CHECK(ppif[i][0] != '\0' && ppif[i][0] != '.');
        }
    }
    free(ppif);
}

static void check_structs(void)
{
    ethtool_info einfo;
    vrk_nic_port_map_info port_map;
    char too_long[] = "sixteen-chars-xy";
    firmware_location_t location;
    memset(&port_map, 0, sizeof(port_map));
    CHECK(strcmp(firmware_slot_source_text[firmware_slot_hotplug], "hotplug") == 0);
    location.pslot_name = too_long;
    CHECK(get_firmware_location(NULL, &location) == 1 && get_firmware_location(too_long, NULL) == 1);
    CHECK(get_firmware_location(too_long, &location) == 1);
    CHECK(get_interface_firmware_location(too_long, &location) == 1 && get_interface_firmware_location(too_long, NULL) == 1);
    CHECK(location.pslot_name == NULL && location.slot_port == -1 && location.slot_source == firmware_slot_none);
    free_firmware_location_members(&location);
    CHECK(strcmp(link_status_text[link_up], "up") == 0);
    CHECK(sizeof(((nic_hw_db_t *)0)->inf_name) == NIC_HW_INF_NAME_MAX + 1);
    CHECK(port_map.SWM_bay == 0);
    CHECK(get_ethtool_info(too_long, &einfo) == 1);
    CHECK(einfo.pbus_info == NULL);
    free_ethtool_info_members(&einfo);
}

int main(void)
{
    check_scrambling();
    check_catalogue();
    check_interface_list();
    check_structs();
    if (failures != 0) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    printf("all checks passed\n");
    return 0;
}
