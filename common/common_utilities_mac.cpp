// SPDX-License-Identifier: MIT
// The permanent (factory) MAC address of a catalogued adapter, read from its
// EEPROM through the driver's ethtool EEPROM request.
#include <array>
#include <cerrno>
#include <cstring>

#include <linux/ethtool.h>
#include <net/if.h>

#include "common_utilities.h"
#include "diag.h"
#include "host_queries.h"
#include "host_query_parse.h"
#include "platform.h"

static constexpr size_t max_eelen = 8;
static constexpr size_t permanent_mac_text_size = 19;

// The EEPROM request: the kernel's header, then the bytes it reads back.
struct eeprom_buffer {
    alignas(struct ethtool_eeprom) unsigned char bytes[sizeof(struct ethtool_eeprom) + max_eelen];
};

// Issues ETHTOOL_GEEPROM for the place; the request's result, and the data
// bytes in *pdata on success.
static int read_eeprom(int fd, struct ifreq *pifr, const host_query::eeprom_place &place,
                       std::array<uint8_t, max_eelen> *pdata)
{
    eeprom_buffer buffer{};
    struct ethtool_eeprom header;
    std::memset(&header, 0, sizeof(header));
    header.cmd = ETHTOOL_GEEPROM;
    header.offset = place.offset;
    header.len = place.length;
    std::memcpy(buffer.bytes, &header, sizeof(header));
    pifr->ifr_data = reinterpret_cast<char *>(buffer.bytes);
    int rc = tarvex_ethtool_request(fd, pifr);
    std::memcpy(pdata->data(), buffer.bytes + sizeof(header), pdata->size());
    return rc;
}

// Steps after the driver record: PCI identity, catalogue, the EEPROM read.
static int32_t read_permanent_mac(char *pif_name, const ethtool_info &et_info, char **pppermanent_mac)
{
    int32_t pci_ven = 0;
    int32_t pci_dev = 0;
    int32_t pci_sub_ven = 0;
    int32_t pci_sub_dev = 0;
    if (get_pci_info(et_info.pbus_info, &pci_ven, &pci_dev, &pci_sub_ven, &pci_sub_dev) != 0 ||
        non_orv_nic(&pci_ven, &pci_dev, &pci_sub_ven, &pci_sub_dev) != 0) {
        return 1;
    }
    struct ifreq ifr;
    unique_fd sock(TARVEX_OPEN_ETHTOOL_REQUEST(&ifr, pif_name));
    if (!sock.valid()) {
        return 1;
    }
    const host_query::eeprom_rule *prule = host_query::find_eeprom_rule(
        pci_ven, pci_dev, pci_sub_dev, host_query::pci_function_from_bus(et_info.pbus_info));
    if (prule == nullptr) {
        return 1;
    }
    const host_query::eeprom_place &place = prule->place;
    std::array<uint8_t, max_eelen> data{};
    int rc = read_eeprom(sock.get(), &ifr, place, &data);
    if (rc != 0) {
        int err = errno;
        // Intel drivers without EEPROM access are expected; not an error.
        if (!(place.quiet_eopnotsupp && err == EOPNOTSUPP)) {
            TARVEX_MSG(stderr, "ERROR: ETHTOOL_GEEPROM ioctl to %s failed, (errno=%d, %d), %s,%d\n", pif_name, err,
                       rc);
        }
        return 1;
    }
    std::array<uint8_t, 6> mac = host_query::mac_from_eeprom_data(data, place.move_mac);
    if (place.add_one) {
        mac = host_query::increment_mac(mac);
    }
    char *ptext = static_cast<char *>(TARVEX_MALLOC(permanent_mac_text_size));
    // 17 characters and the terminator fit the 19 bytes.
    (void)std::snprintf(ptext, permanent_mac_text_size, "%s", host_query::format_mac(mac).data());
    *pppermanent_mac = ptext;
    return 0;
}

int32_t get_permanent_mac_addr_of(char *pif_name, const ethtool_info &driver, char **pppermanent_mac)
{
    return fits_ifname(pif_name) ? read_permanent_mac(pif_name, driver, pppermanent_mac) : 1;
}

int32_t get_permanent_mac_addr(char *pif_name, char **pppermanent_mac)
{
    // A longer name cannot be a kernel interface name; refuse it before any
    // request is made.
    if (!fits_ifname(pif_name)) {
        return 1;
    }
    ethtool_info et_info;
    int32_t result = 1;
    if (get_ethtool_info(pif_name, &et_info) == 0) {
        result = read_permanent_mac(pif_name, et_info, pppermanent_mac);
    }
    free_ethtool_info_members(&et_info);
    return result;
}
