// SPDX-License-Identifier: MIT
// Bus addresses as drivers report them and PCI entry names as sysfs lists
// them.  Properties: the form follows from the colon count, a parsed address
// prints back to text that parses to the same function, and the PCI function
// taken for the EEPROM place agrees with the parsed one for a kernel-form
// address.
#include "fuzz_check.h"
#include "host_query_parse.h"
#include "port_map_parse.h"

#include <algorithm>

static bool same(const pci_function_address &a, const pci_function_address &b)
{
    return a.bus == b.bus && a.device == b.device && a.function == b.function;
}

static void check_bus_address(std::string_view text)
{
    pci_function_address address{};
    bus_address_form form = parse_bus_address(text, &address);
    // The address is a C string: it ends at its first NUL byte.
    std::string_view c_text = text.substr(0, text.find('\0'));
    size_t colons = static_cast<size_t>(std::count(c_text.begin(), c_text.end(), ':'));
    if (colons == 0) {
        FUZZ_CHECK(form == bus_address_form::no_colon);
    } else if (colons >= 3) {
        FUZZ_CHECK(form == bus_address_form::too_many_colons);
    } else {
        FUZZ_CHECK(form == bus_address_form::parsed || form == bus_address_form::unparsable);
    }
    if (form != bus_address_form::parsed) {
        return;
    }
    char short_form[64];
    char long_form[64];
    std::snprintf(short_form, sizeof short_form, "%x:%x.%x", address.bus, address.device, address.function);
    std::snprintf(long_form, sizeof long_form, "0000:%02x:%02x.%x", address.bus, address.device,
                  address.function);
    for (const char *pform : {short_form, long_form}) {
        pci_function_address again{};
        FUZZ_CHECK(parse_bus_address(pform, &again) == bus_address_form::parsed);
        FUZZ_CHECK(same(again, address));
    }
    // The permanent-MAC query reads the function as decimal digits after the
    // last '.'; for functions 0 to 9 hexadecimal and decimal agree.
    if (address.function <= 9) {
        FUZZ_CHECK(host_query::pci_function_from_bus(long_form) == address.function);
    }
}

static void check_entry_name(std::string_view name)
{
    pci_function_address address{};
    if (!parse_pci_entry_name(name, &address)) {
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "0000:%02x:%02x.%x", address.bus, address.device, address.function);
    pci_function_address again{};
    FUZZ_CHECK(parse_pci_entry_name(text, &again));
    FUZZ_CHECK(same(again, address));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pdata, size_t size)
{
    std::string_view text = as_text(pdata, size);
    check_bus_address(text);
    check_entry_name(text);
    (void)host_query::pci_function_from_bus(text);
    return 0;
}
