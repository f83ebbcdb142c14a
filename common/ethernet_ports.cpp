// SPDX-License-Identifier: MIT
// The Ethernet ports of PCI adapters, whatever their names.
#include "ethernet_ports.h"

#include <cstddef>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include "char_class.h"
#include "common_utilities.h"
#include "number_scan.h"
#include "platform.h"

// Link type

static constexpr const char *sys_class_net = "/sys/class/net";

bool is_ethernet_link_type(std::string_view type_text)
{
    return type_text == "1\n" || type_text == "1";
}

// The attribute is a short decimal number; a longer text is no type 1.  A
// name too long for the kernel's field names no interface.  One read: this
// runs for every interface of the host.
static bool ethernet_link(const char *pif_name)
{
    char path[64];
    if (!fits_ifname(pif_name)) {
        return false;
    }
    // Fits: the directory, a name of at most 15 bytes and "/type".
    (void)std::snprintf(path, sizeof(path), "%s/%s/type", sys_class_net, pif_name);
    unique_fd file(open(path, O_RDONLY | O_CLOEXEC));
    if (!file.valid()) {
        return false;
    }
    char text[8];
    ssize_t length = read(file.get(), text, sizeof(text));
    return length > 0 && is_ethernet_link_type(std::string_view(text, static_cast<size_t>(length)));
}

// Bus address

// Exactly count hexadecimal digits from the front of the text.
static bool take_hex_digits(std::string_view *ptext, size_t count)
{
    if (ptext->size() < count) {
        return false;
    }
    for (size_t i = 0; i < count; i++) {
        if (!is_hex_digit((*ptext)[i])) {
            return false;
        }
    }
    ptext->remove_prefix(count);
    return true;
}

// The kernel writes "%04x:%02x:%02x.%d"; a domain beyond 0xffff (a volume
// management device's) has more digits.
bool is_pci_bus_address(std::string_view bus_info)
{
    size_t domain_digits = bus_info.find(':');
    if (domain_digits < 4 || domain_digits > 8 || !take_hex_digits(&bus_info, domain_digits)) {
        return false;
    }
    return scan_literal(&bus_info, ':') && take_hex_digits(&bus_info, 2) && scan_literal(&bus_info, ':') &&
           take_hex_digits(&bus_info, 2) && scan_literal(&bus_info, '.') && bus_info.size() == 1 &&
           bus_info[0] >= '0' && bus_info[0] <= '7';
}

// The port

bool is_pci_ethernet_port(char *pif_name)
{
    if (!ethernet_link(pif_name)) {
        return false;
    }
    ethtool_info driver{};
    get_ethtool_info(pif_name, &driver);
    bool pci = driver.pbus_info != nullptr && is_pci_bus_address(driver.pbus_info);
    free_ethtool_info_members(&driver);
    return pci;
}
