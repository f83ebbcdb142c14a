// SPDX-License-Identifier: MIT
// Presence of the management package and the slot/bay query by bus address.
#include <string_view>

#include <sys/stat.h>

#include "common_utilities.h"
#include "diag.h"
#include "port_map.h"
#include "pci_host.h"

// Management package presence
static constexpr const char *tolmar_tool_paths[] = {
    "/opt/vantor/utils/tessio",
    "/sbin/tessio",
    "/opt/vantor/utils/tolmarcli",
    "/sbin/tolmarcli",
};

int32_t tolmar_installed(void)
{
    struct stat info;
    for (const char *ppath : tolmar_tool_paths) {
        if (stat(ppath, &info) == 0) {
            return 1;
        }
    }
    return 0;
}

// Slot and bay query by bus address
int32_t get_slot_info(char *pbus_info, int32_t *pslot, int32_t *pport, int32_t *pbay_slot, int32_t *pbay_port)
{
    *pslot = -1;
    *pport = -1;
    *pbay_slot = -1;
    *pbay_port = -1;
    pci_address address{};
    pci_address_form form = read_pci_address(pbus_info != nullptr ? std::string_view(pbus_info) : std::string_view(),
                                             pci_address_mode::lenient, &address);
    if (form == pci_address_form::too_many_colons) {
        TARVEX_MSG(stdout, "WARNING: unable to parse \"%s\", %s,%d\n", pbus_info);
        return 1;
    }
    if (form != pci_address_form::parsed) {
        return 1;
    }
    // Numbers beyond int32_t pass through the signed interface as negative
    // values and come back whole in the adapter list's unsigned lookup.
    int32_t rc = get_slot_bay_info(static_cast<int32_t>(address.bus), static_cast<int32_t>(address.device),
                                   static_cast<int32_t>(address.function), pslot, pport, pbay_slot, pbay_port);
    return rc == 0 ? 0 : 1;
}
