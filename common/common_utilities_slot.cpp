// Presence of the management package and the slot/bay query by bus address.
#include <sys/stat.h>

#include "common_utilities.h"

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

// Slot and bay query by bus address.  The port map module is not built yet:
// until it is, every query reports failure and the report shows "n/a".
int32_t get_slot_info(char *pbus_info, int32_t *pslot, int32_t *pport, int32_t *pbay_slot, int32_t *pbay_port)
{
    (void)pbus_info;
    *pslot = -1;
    *pport = -1;
    *pbay_slot = -1;
    *pbay_port = -1;
    return 1;
}
