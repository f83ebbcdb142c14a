// SPDX-License-Identifier: MIT
// Catalogue lookups with arbitrary keys: 16 input bytes are the four PCI
// identifiers.  Properties: get_db_struct_info and non_orv_nic agree, a copy
// carries the key it was asked for, its model name is terminated at its
// length and printable, and the scrambling round trip restores any bytes.
#include "common_utilities.h"
#include "encode_string.h"
#include "fuzz_check.h"

#include <cstring>
#include <vector>

static void check_lookup(int32_t (&key)[4])
{
    nic_hw_db_t *pdbs = nullptr;
    int32_t found = get_db_struct_info(&key[0], &key[1], &key[2], &key[3], &pdbs);
    int32_t member = non_orv_nic(&key[0], &key[1], &key[2], &key[3]);
    FUZZ_CHECK(found == 0 || found == 1);
    FUZZ_CHECK(member == found);
    if (found == 1) {
        FUZZ_CHECK(pdbs == nullptr);
        return;
    }
    FUZZ_CHECK(pdbs != nullptr);
    FUZZ_CHECK(pdbs->pci_ven == key[0] && pdbs->pci_dev == key[1] && pdbs->pci_sub_ven == key[2] &&
               pdbs->pci_sub_dev == key[3]);
    FUZZ_CHECK(pdbs->inf_name_len >= 0 && pdbs->inf_name_len <= NIC_HW_INF_NAME_MAX);
    FUZZ_CHECK(std::strlen(pdbs->inf_name) == static_cast<size_t>(pdbs->inf_name_len));
    for (int32_t i = 0; i < pdbs->inf_name_len; i++) {
        FUZZ_CHECK(pdbs->inf_name[i] >= 0x20 && pdbs->inf_name[i] < 0x7f);
    }
    free_db_struct_info(&pdbs);
    FUZZ_CHECK(pdbs == nullptr);
}

static void check_scrambling(const uint8_t *pdata, size_t size)
{
    std::vector<char> text(pdata, pdata + size);
    std::vector<char> original = text;
    encode_string(text.data(), static_cast<int32_t>(text.size()));
    decode_string(text.data(), static_cast<int32_t>(text.size()));
    FUZZ_CHECK(text == original);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pdata, size_t size)
{
    if (size >= sizeof(int32_t[4])) {
        int32_t key[4];
        std::memcpy(key, pdata, sizeof key);
        check_lookup(key);
    }
    check_scrambling(pdata, size);
    return 0;
}
