// SPDX-License-Identifier: MIT
// The Ethernet ports of PCI adapters, whatever their names.
#include "ethernet_ports.h"

#include <cstddef>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include "common_utilities.h"
#include "interface_walk.h"
#include "pci_host.h"
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

// The port

bool probe_pci_ethernet_port(int fd, char *pif_name, ethtool_info *pdriver)
{
    *pdriver = ethtool_info{};
    if (!ethernet_link(pif_name)) {
        return false;
    }
    pci_address at{};
    bool pci = probe_ethtool_info_on(fd, pif_name, pdriver, true) == 0 && pdriver->pbus_info != nullptr &&
               read_pci_address(pdriver->pbus_info, pci_address_mode::driver_record, &at) == pci_address_form::parsed;
    if (!pci) {
        free_ethtool_info_members(pdriver);
    }
    return pci;
}
