// SPDX-License-Identifier: MIT
// PCI address texts in every mode of the one reader.  Properties: the form
// follows from the colon count, a parsed address prints back to the
// kernel's text, which parses to the same function in every mode that takes
// a function, and the PCI function taken for the EEPROM place agrees.
#include "fuzz_check.h"
#include "host_query_parse.h"
#include "pci_host.h"

#include <algorithm>
#include <cstdio>

static void check_mode(std::string_view text, pci_address_mode mode)
{
    pci_address address{};
    pci_address_form form = read_pci_address(text, mode, &address);
    // The address is a C string: it ends at its first NUL byte.
    std::string_view c_text = text.substr(0, text.find('\0'));
    size_t colons = static_cast<size_t>(std::count(c_text.begin(), c_text.end(), ':'));
    if (colons == 0) {
        FUZZ_CHECK(form == pci_address_form::no_colon);
    } else if (colons >= 3) {
        FUZZ_CHECK(form == pci_address_form::too_many_colons);
    } else {
        FUZZ_CHECK(form == pci_address_form::parsed || form == pci_address_form::unparsable);
    }
    if (form != pci_address_form::parsed || mode == pci_address_mode::slot_device || address.function > 7 ||
        address.device > 0xff || address.bus > 0xff) {
        return;
    }
    char kernel_form[64];
    std::snprintf(kernel_form, sizeof kernel_form, "%04x:%02x:%02x.%x", address.segment, address.bus,
                  address.device, address.function);
    for (auto again_mode : {pci_address_mode::entry_name, pci_address_mode::driver_record, pci_address_mode::lenient}) {
        pci_address again{};
        FUZZ_CHECK(read_pci_address(kernel_form, again_mode, &again) == pci_address_form::parsed);
        FUZZ_CHECK(same_pci_function(again, address));
    }
    FUZZ_CHECK(host_query::pci_function_from_bus(kernel_form) == address.function);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pdata, size_t size)
{
    std::string_view text = as_text(pdata, size);
    for (auto mode : {pci_address_mode::entry_name, pci_address_mode::driver_record, pci_address_mode::lenient,
                      pci_address_mode::slot_device}) {
        check_mode(text, mode);
    }
    (void)host_query::pci_function_from_bus(text);
    return 0;
}
