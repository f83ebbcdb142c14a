/* SPDX-License-Identifier: MIT */
/* The system work of one report and nothing else: the lower bound that
 * tarvex's run time is measured against.  Lists /sys/class/net, and for
 * every name containing "eth": a datagram socket, the driver-information and
 * link ethtool requests, and, when the driver gives a bus address, the four
 * PCI identity attribute reads; one output line per interface.  No sorting,
 * no catalogue, no management package check.
 *
 *   minimal [-1]      -1: one socket for all interfaces instead of one each */
#define _GNU_SOURCE
#include <dirent.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

static unsigned read_attribute(const char *pbus, const char *pname)
{
    char path[128];
    snprintf(path, sizeof(path), "/sys/bus/pci/devices/%s/%s", pbus, pname);
    unsigned value = 0;
    FILE *pfile = fopen(path, "r");
    if (pfile != NULL) {
        if (fscanf(pfile, "%x", &value) != 1) {
            value = 0;
        }
        fclose(pfile);
    }
    return value;
}

static void query(int fd, const char *pname)
{
    struct ifreq ifr;
    memset(&ifr, 0, sizeof(ifr));
    strncpy(ifr.ifr_name, pname, IFNAMSIZ - 1);
    struct ethtool_drvinfo drvinfo = {.cmd = ETHTOOL_GDRVINFO};
    ifr.ifr_data = (char *)&drvinfo;
    int have_info = ioctl(fd, SIOCETHTOOL, &ifr) == 0;
    struct ethtool_value link = {.cmd = ETHTOOL_GLINK};
    ifr.ifr_data = (char *)&link;
    (void)ioctl(fd, SIOCETHTOOL, &ifr);
    if (!have_info || drvinfo.bus_info[0] == '\0') {
        printf("%s no bus address\n", pname);
        return;
    }
    unsigned ids[4];
    static const char *const files[4] = {"vendor", "device", "subsystem_vendor", "subsystem_device"};
    for (int i = 0; i < 4; i++) {
        ids[i] = read_attribute(drvinfo.bus_info, files[i]);
    }
    printf("%s %04x %04x %04x %04x link %u\n", pname, ids[0], ids[1], ids[2], ids[3], link.data);
}

int main(int argc, char **argv)
{
    int one_socket = argc > 1 && strcmp(argv[1], "-1") == 0;
    DIR *pdir = opendir("/sys/class/net");
    if (pdir == NULL) {
        return 1;
    }
    int shared_fd = one_socket ? socket(AF_INET, SOCK_DGRAM, 0) : -1;
    struct dirent *pentry;
    while ((pentry = readdir(pdir)) != NULL) {
        if (pentry->d_name[0] == '.' || strstr(pentry->d_name, "eth") == NULL) {
            continue;
        }
        int fd = one_socket ? shared_fd : socket(AF_INET, SOCK_DGRAM, 0);
        query(fd, pentry->d_name);
        if (!one_socket) {
            close(fd);
        }
    }
    if (one_socket) {
        close(shared_fd);
    }
    closedir(pdir);
    return 0;
}
