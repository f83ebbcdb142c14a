// SPDX-License-Identifier: MIT
// The adapter catalogue: lookups in the built-in table and the plain-text
// copies handed to callers.
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "common_utilities.h"
#include "diag.h"
#include "encode_string.h"
#include "nic_db.h"

// Catalogue lookups
int32_t get_nic_hw_info(int32_t *pci_ven, int32_t *pci_dev, int32_t *pci_sub_ven, int32_t *pci_sub_dev,
                        nic_hw_db_t **ppdbs)
{
    for (const nic_hw_db_t &row : nic_hw) {
        if (row.pci_ven == *pci_ven && row.pci_dev == *pci_dev && row.pci_sub_ven == *pci_sub_ven &&
            row.pci_sub_dev == *pci_sub_dev) {
            // The table is never written; callers only read the row.
            *ppdbs = const_cast<nic_hw_db_t *>(&row);
            return 0;
        }
    }
    return 1;
}

int32_t non_orv_nic(int32_t *ppci_ven, int32_t *ppci_dev, int32_t *ppci_sub_ven, int32_t *ppci_sub_dev)
{
    nic_hw_db_t *prow = nullptr;
    return get_nic_hw_info(ppci_ven, ppci_dev, ppci_sub_ven, ppci_sub_dev, &prow);
}

// Copies for callers
void decode_inf_string(char *encoded_inf_name, int32_t len)
{
    if (len <= 0) {
        return;
    }
    encoded_inf_name[len] = '\0';
    decode_string(encoded_inf_name, len);
}

int32_t get_db_struct_info(int32_t *ppci_ven, int32_t *ppci_dev, int32_t *ppci_sub_ven, int32_t *ppci_sub_dev,
                           nic_hw_db_t **ppdbs)
{
    nic_hw_db_t *prow = nullptr;
    if (get_nic_hw_info(ppci_ven, ppci_dev, ppci_sub_ven, ppci_sub_dev, &prow) != 0) {
        *ppdbs = nullptr;
        return 1;
    }
    auto *pcopy = static_cast<nic_hw_db_t *>(TARVEX_MALLOC(sizeof(nic_hw_db_t)));
    std::memcpy(pcopy, prow, sizeof(*pcopy));
    pcopy->poem = TARVEX_STRDUP(prow->poem);
    pcopy->ppca_part_number = TARVEX_STRDUP(prow->ppca_part_number);
    pcopy->pspares_part_number = TARVEX_STRDUP(prow->pspares_part_number);
    pcopy->pboard_rev = TARVEX_STRDUP(prow->pboard_rev);
    pcopy->pport_type = TARVEX_STRDUP(prow->pport_type);
    pcopy->pbus_type = TARVEX_STRDUP(prow->pbus_type);
    decode_inf_string(pcopy->inf_name, pcopy->inf_name_len);
    *ppdbs = pcopy;
    return 0;
}

void free_db_struct_info(nic_hw_db_t **ppdbs)
{
    if (ppdbs == nullptr || *ppdbs == nullptr) {
        return;
    }
    nic_hw_db_t *pdbs = *ppdbs;
    char **ptexts[] = {&pdbs->poem,       &pdbs->ppca_part_number, &pdbs->pspares_part_number,
                       &pdbs->pboard_rev, &pdbs->pport_type,       &pdbs->pbus_type};
    for (char **pptext : ptexts) {
        std::free(*pptext);
        *pptext = nullptr;
    }
    std::free(pdbs);
    *ppdbs = nullptr;
}
