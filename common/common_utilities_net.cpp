// SPDX-License-Identifier: MIT
// Interface enumeration, the driver and link query, and PCI identity.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <linux/ethtool.h>
#include <net/if.h>

#include "common_utilities.h"
#include "diag.h"
#include "interface_walk.h"
#include "platform.h"

// Interface enumeration
static constexpr const char *sys_class_net = "/sys/class/net";

// A name is selected unless it is hidden (".", ".." and dot names) or does
// not contain the pattern.
static bool interface_selected(const char *pname, const char *pmatch_pattern)
{
    if (pname[0] == '.') {
        return false;
    }
    return pmatch_pattern == nullptr || std::strstr(pname, pmatch_pattern) != nullptr;
}

int32_t get_interface_list(char ***pppif, char *pmatch_pattern, int32_t *pif_count)
{
    *pppif = nullptr;
    *pif_count = 0;
    struct dirent **filelist = nullptr;
    int file_count = scandir(sys_class_net, &filelist, nullptr, alphasort);
    if (file_count < 0) {
        // A listing that failed (no sysfs, no descriptor left, no permission)
        // says nothing about the host's interfaces: it must not pass for a
        // host without any.  Running out of memory is fatal as everywhere.
        int err = errno;
        if (err == ENOMEM) {
            TARVEX_MALLOC_FAILED();
        }
        TARVEX_MSG(stderr, "ERROR: could not list %s (errno=%d), %s,%d\n", sys_class_net, err);
        return 1;
    }
    size_t string_bytes = 0;
    int32_t string_count = 0;
    for (int i = 0; i < file_count; i++) {
        if (!interface_selected(filelist[i]->d_name, pmatch_pattern)) {
            std::free(filelist[i]);
            filelist[i] = nullptr;
            continue;
        }
        string_bytes += std::strlen(filelist[i]->d_name);
        string_count++;
    }
    // The block: string_count pointers, then the names with their terminators.
    size_t pointer_bytes = static_cast<size_t>(string_count) * sizeof(char *);
    size_t block_size = pointer_bytes + string_bytes + static_cast<size_t>(string_count);
    if (block_size == 0) {
        free_dir_listing(filelist, file_count);
        return 0;
    }
    char **ppif = static_cast<char **>(TARVEX_MALLOC(block_size));
    char *pif = reinterpret_cast<char *>(ppif) + pointer_bytes;
    int32_t index = 0;
    for (int i = 0; i < file_count; i++) {
        if (filelist[i] == nullptr) {
            continue;
        }
        size_t name_len = std::strlen(filelist[i]->d_name);
        std::memcpy(pif, filelist[i]->d_name, name_len + 1);
        ppif[index++] = pif;
        pif += name_len + 1;
    }
    free_dir_listing(filelist, file_count);
    *pppif = ppif;
    *pif_count = string_count;
    return 0;
}

// Driver and link query

// The kernel's text fields are fixed arrays that need not be terminated:
// copy at most all but their last byte.
template <size_t N>
static char *copy_kernel_text(const char (&field)[N])
{
    return TARVEX_STRNDUP(field, N - 1);
}

// Each request works on its own copy of the prepared ifreq, so no pointer to
// a local answer outlives the request.
// False, with nothing said, when a probe finds the interface gone.
static bool query_driver_info(int fd, const struct ifreq &request, const char *pif_name, ethtool_info *pet_info,
                              bool probe = false)
{
    struct ethtool_drvinfo drvinfo;
    std::memset(&drvinfo, 0, sizeof(drvinfo));
    drvinfo.cmd = ETHTOOL_GDRVINFO;
    struct ifreq ifr = request;
    ifr.ifr_data = reinterpret_cast<char *>(&drvinfo);
    int rc = tarvex_ethtool_request(fd, &ifr);
    if (rc == 0) {
        pet_info->pdriver_name = copy_kernel_text(drvinfo.driver);
        pet_info->pdriver_version = copy_kernel_text(drvinfo.version);
        pet_info->pfirmware_version = copy_kernel_text(drvinfo.fw_version);
        pet_info->pbus_info = copy_kernel_text(drvinfo.bus_info);
    } else if (rc < 0 && probe && errno == ENODEV) {
        return false;
    } else if (rc < 0 && errno != EOPNOTSUPP) {
        TARVEX_MSG(stderr, "ERROR: ETHTOOL_GDRVINFO ioctl to %s failed, (errno=%d, %d), %s,%d\n", pif_name,
                   errno, rc);
    }
    return true;
}

static void query_link_state(int fd, const struct ifreq &request, const char *pif_name, ethtool_info *pet_info)
{
    struct ethtool_value value;
    std::memset(&value, 0, sizeof(value));
    value.cmd = ETHTOOL_GLINK;
    struct ifreq ifr = request;
    ifr.ifr_data = reinterpret_cast<char *>(&value);
    int rc = tarvex_ethtool_request(fd, &ifr);
    if (rc == 0) {
        pet_info->link_status = value.data != 0 ? link_up : link_down;
    } else if (rc < 0 && errno != EOPNOTSUPP) {
        TARVEX_MSG(stderr, "ERROR: ETHTOOL_GLINK ioctl to %s failed, (errno=%d, %d), %s,%d\n", pif_name, errno,
                   rc);
        pet_info->link_status = link_unknown;
    }
}

int32_t get_ethtool_info(char *pif_name, ethtool_info *pet_info)
{
    std::memset(pet_info, 0, sizeof(*pet_info));
    pet_info->link_status = link_unknown;
    // A longer name cannot be a kernel interface name, and a cut one would
    // query another interface.
    if (!fits_ifname(pif_name)) {
        return 1;
    }
    struct ifreq ifr;
    unique_fd sock(TARVEX_OPEN_ETHTOOL_REQUEST(&ifr, pif_name));
    if (!sock.valid()) {
        return 1;
    }
    query_driver_info(sock.get(), ifr, pif_name, pet_info);
    query_link_state(sock.get(), ifr, pif_name, pet_info);
    return 0;
}

int32_t get_ethtool_info_on(int fd, char *pif_name, ethtool_info *pet_info)
{
    return fd < 0 ? get_ethtool_info(pif_name, pet_info) : probe_ethtool_info_on(fd, pif_name, pet_info, false);
}

int32_t probe_ethtool_info_on(int fd, char *pif_name, ethtool_info *pet_info, bool probe)
{
    std::memset(pet_info, 0, sizeof(*pet_info));
    pet_info->link_status = link_unknown;
    if (!fits_ifname(pif_name)) {
        return 1;
    }
    struct ifreq ifr;
    unique_fd own(fd < 0 ? TARVEX_OPEN_ETHTOOL_REQUEST(&ifr, pif_name) : -1);
    fd = fd < 0 ? own.get() : fd;
    if (fd < 0) {
        return 1;
    }
    prepare_ifreq(&ifr, pif_name);
    if (!query_driver_info(fd, ifr, pif_name, pet_info, probe)) {
        return 1;
    }
    query_link_state(fd, ifr, pif_name, pet_info);
    return 0;
}

static void free_and_clear(char **pptext)
{
    std::free(*pptext);
    *pptext = nullptr;
}

void free_ethtool_info_members(ethtool_info *pet_info)
{
    free_and_clear(&pet_info->pdriver_name);
    free_and_clear(&pet_info->pdriver_version);
    free_and_clear(&pet_info->pfirmware_version);
    free_and_clear(&pet_info->pbus_info);
}

// PCI identity
static constexpr const char *sys_path = "/sys/bus/pci/devices";
static constexpr const char *sys_file[] = {"vendor", "device", "subsystem_vendor", "subsystem_device"};
static constexpr size_t file_buff_size = 128;

// True when the path of every attribute file of pbus_info fits the buffer.
static bool pci_paths_fit(const char *pbus_info)
{
    char file_buff[file_buff_size];
    for (const char *pfile : sys_file) {
        int len = std::snprintf(file_buff, sizeof(file_buff), "%s/%s/%s", sys_path, pbus_info, pfile);
        if (len < 0 || static_cast<size_t>(len) >= sizeof(file_buff)) {
            return false;
        }
    }
    return true;
}

int32_t get_pci_info(char *pbus_info, int32_t *ppci_ven, int32_t *ppci_dev, int32_t *ppci_sub_ven,
                     int32_t *ppci_sub_dev)
{
    if (pbus_info == nullptr || pbus_info[0] == '\0' || !pci_paths_fit(pbus_info)) {
        return 1;
    }
    int32_t pci_val[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < std::size(sys_file); i++) {
        char file_buff[file_buff_size];
        // Fits: pci_paths_fit checked every path above.
        (void)std::snprintf(file_buff, sizeof(file_buff), "%s/%s/%s", sys_path, pbus_info, sys_file[i]);
        uint32_t value = 0;
        if (!read_hex_attribute(file_buff, &value)) {
            TARVEX_MSG(stderr, "ERROR: could not open %s (errno=%d), %s,%d\n", file_buff, errno);
            return 1;
        }
        pci_val[i] = static_cast<int32_t>(value);
    }
    *ppci_ven = pci_val[0];
    *ppci_dev = pci_val[1];
    *ppci_sub_ven = pci_val[2];
    *ppci_sub_dev = pci_val[3];
    return 0;
}
