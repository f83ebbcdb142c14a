/* SPDX-License-Identifier: MIT */
/* A tool of the family as an outside developer writes it: built only from
 * the installed headers and library (through pkg-config), as C and as C++,
 * it calls the library's host queries on this host and checks the answers
 * against what the kernel shows in /proc and /sys.
 *
 * Arguments: a scratch directory, then the key and model name of one
 * catalogue row (vendor device subvendor subdevice "name"). */
/* realpath, PATH_MAX and unlink beside strict C11 */
#define _DEFAULT_SOURCE
#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <tarvex/common_utilities.h>
#include <tarvex/encode_string.h>
#include <tarvex/port_map.h>

static int failures = 0;

#define CHECK(cond)                                                          \
    do {                                                                     \
        if (!(cond)) {                                                       \
            fprintf(stderr, "consumer.c:%d: check failed: %s\n", __LINE__, #cond); \
            failures++;                                                      \
        }                                                                    \
    } while (0)

/* The first line of a small text file, without its newline; "" when none. */
static void read_first_line(const char *ppath, char *pbuf, size_t size)
{
    FILE *pfile = fopen(ppath, "r");
    pbuf[0] = '\0';
    if (pfile == NULL) {
        return;
    }
    if (fgets(pbuf, (int)size, pfile) == NULL) {
        pbuf[0] = '\0';
    }
    pbuf[strcspn(pbuf, "\n")] = '\0';
    fclose(pfile);
}

/* The PCI function directory of an interface, found through the
 * interface's own "device" link rather than the bus address: the link leads
 * to the PCI function itself or, for virtio, to a child of it. */
static int find_pci_dir(const char *pif_name, const char *pbus_info, char *pdir, size_t size)
{
    char link[256];
    char resolved[PATH_MAX];
    snprintf(link, sizeof link, "/sys/class/net/%s/device", pif_name);
    if (realpath(link, resolved) == NULL) {
        return 0;
    }
    for (int up = 0; up < 2; up++) {
        char *pslash = strrchr(resolved, '/');
        if (pslash == NULL) {
            return 0;
        }
        if (strcmp(pslash + 1, pbus_info) == 0) {
            snprintf(pdir, size, "%s", resolved);
            return 1;
        }
        *pslash = '\0';
    }
    return 0;
}

static int32_t read_sysfs_hex(const char *pdir, const char *pattr)
{
    char path[PATH_MAX + 32];
    char text[64];
    snprintf(path, sizeof path, "%s/%s", pdir, pattr);
    read_first_line(path, text, sizeof text);
    return (int32_t)strtol(text, NULL, 16);
}

/* The whole list: sorted in byte order, "lo" among it, one block whose
 * pointers lead into the block itself. */
static void check_interface_list(void)
{
    char **ppif = NULL;
    int32_t count = -1;
    CHECK(get_interface_list(&ppif, NULL, &count) == 0);
    CHECK(count > 0 && ppif != NULL);
    int found_lo = 0;
    char *pnames = (char *)(ppif + count);
    for (int32_t i = 0; ppif != NULL && i < count; i++) {
        CHECK(ppif[i] == pnames);
        pnames += strlen(pnames) + 1;
        if (i > 0) {
            CHECK(strcmp(ppif[i - 1], ppif[i]) < 0);
        }
        found_lo |= strcmp(ppif[i], "lo") == 0;
    }
    CHECK(found_lo);
    free(ppif);

    char no_match[] = "no interface has this name";
    ppif = (char **)&count; /* must be reset to none */
    CHECK(get_interface_list(&ppif, no_match, &count) == 0);
    CHECK(ppif == NULL && count == 0);
}

/* The loopback driver offers no driver information but always has link. */
static void check_loopback_driver(void)
{
    ethtool_info einfo;
    char lo[] = "lo";
    CHECK(get_ethtool_info(lo, &einfo) == 0);
    CHECK(einfo.pbus_info == NULL);
    CHECK(einfo.link_status == link_up);
    free_ethtool_info_members(&einfo);
    free_ethtool_info_members(&einfo);
}

/* Every PCI-backed interface: the library's identity equals sysfs's. */
static void check_pci_identities(void)
{
    char **ppif = NULL;
    int32_t count = 0;
    int32_t checked_pci = 0;
    CHECK(get_interface_list(&ppif, NULL, &count) == 0);
    for (int32_t i = 0; i < count; i++) {
        ethtool_info einfo;
        get_ethtool_info(ppif[i], &einfo);
        char dir[PATH_MAX];
        if (einfo.pbus_info != NULL && find_pci_dir(ppif[i], einfo.pbus_info, dir, sizeof dir)) {
            int32_t ven = -1, dev = -1, sub_ven = -1, sub_dev = -1;
            CHECK(get_pci_info(einfo.pbus_info, &ven, &dev, &sub_ven, &sub_dev) == 0);
            CHECK(ven == read_sysfs_hex(dir, "vendor"));
            CHECK(dev == read_sysfs_hex(dir, "device"));
            CHECK(sub_ven == read_sysfs_hex(dir, "subsystem_vendor"));
            CHECK(sub_dev == read_sysfs_hex(dir, "subsystem_device"));
            checked_pci++;
        }
        free_ethtool_info_members(&einfo);
    }
    free(ppif);
    printf("consumer: PCI identity of %d interface(s) matches sysfs\n", checked_pci);

    int32_t untouched = 7;
    char empty[] = "";
    CHECK(get_pci_info(empty, &untouched, &untouched, &untouched, &untouched) == 1);
    CHECK(untouched == 7);
}

static void check_catalogue(char **ppkey, const char *pmodel_name)
{
    int32_t ven = (int32_t)strtol(ppkey[0], NULL, 16);
    int32_t dev = (int32_t)strtol(ppkey[1], NULL, 16);
    int32_t sub_ven = (int32_t)strtol(ppkey[2], NULL, 16);
    int32_t sub_dev = (int32_t)strtol(ppkey[3], NULL, 16);
    nic_hw_db_t *pdbs = NULL;
    CHECK(get_db_struct_info(&ven, &dev, &sub_ven, &sub_dev, &pdbs) == 0);
    CHECK(pdbs != NULL && strcmp(pdbs->inf_name, pmodel_name) == 0);
    CHECK(pdbs != NULL && pdbs->inf_name_len == (int32_t)strlen(pmodel_name));
    free_db_struct_info(&pdbs);
    CHECK(pdbs == NULL);
    CHECK(non_orv_nic(&ven, &dev, &sub_ven, &sub_dev) == 0);

    int32_t zero = 0;
    pdbs = (nic_hw_db_t *)&zero; /* a miss must set it to none */
    CHECK(get_db_struct_info(&zero, &zero, &zero, &zero, &pdbs) == 1);
    CHECK(pdbs == NULL);
    CHECK(non_orv_nic(&zero, &zero, &zero, &zero) == 1);
}

static void check_scrambling(void)
{
    char plain[255];
    char text[255];
    for (int i = 0; i < 255; i++) {
        plain[i] = (char)(i + 1);
    }
    memcpy(text, plain, sizeof text);
    encode_string(text, (int32_t)sizeof text);
    CHECK(memcmp(text, plain, sizeof text) != 0);
    decode_string(text, (int32_t)sizeof text);
    CHECK(memcmp(text, plain, sizeof text) == 0);
}

static void check_slot_lookup_without_address(void)
{
    int32_t slot = 5, port = 5, bay = 5, bay_port = 5;
    char empty[] = "";
    CHECK(get_slot_info(empty, &slot, &port, &bay, &bay_port) == 1);
    CHECK(slot == -1 && port == -1 && bay == -1 && bay_port == -1);
}

static void check_text_reading(const char *pdir)
{
    char path[512];
    snprintf(path, sizeof path, "%s/consumer-tokens.txt", pdir);
    FILE *pfile = fopen(path, "w");
    CHECK(pfile != NULL);
    if (pfile == NULL) {
        return;
    }
    fputs("# NAME=commented\n  NAME=first\n\tNAME=tab\nNAMES=second # note\nother\nNAME=last", pfile);
    fclose(pfile);

    char token[] = "NAME";
    char **pplines = NULL;
    int32_t count = -1;
    CHECK(read_tokens(path, token, 1, &pplines, &count) == 3);
    CHECK(count == 3);
    if (count == 3 && pplines != NULL) {
        CHECK(strcmp(pplines[0], "  NAME=first") == 0);
        CHECK(strcmp(pplines[1], "NAMES=second # note") == 0);
        CHECK(strcmp(pplines[2], "NAME=last") == 0);
    }
    free_read_tokens(&pplines, count);
    CHECK(pplines == NULL);

    FILE *pstream = NULL;
    char *pline = NULL;
    size_t line_size = 0;
    alloc_read_a_line_vars(&pstream, &pline, &line_size);
    int32_t lines = 0;
    while (read_a_line(path, &pstream, &pline, &line_size) != -1) {
        lines++;
    }
    CHECK(lines == 6);
    free_read_a_line_vars(&pstream, &pline, &line_size);
    CHECK(pstream == NULL && pline == NULL && line_size == 0);
    unlink(path);

    char padded[] = " \t abc def \n\n";
    char set[] = " \t\n";
    trim_chars(padded, set);
    CHECK(strcmp(padded, "abc def") == 0);
}

/* On a host without any of the three release files the answer is "not
 * recognised" and the name pointer is left alone. */
static void check_distribution(void)
{
    linux_distro_name_t name = rh_distro;
    linux_distro_type_t type = rh_as;
    int32_t version = 99;
    char sentinel[] = "untouched";
    char *pofficial = sentinel;
    int32_t rc = detect_linux_distro(&name, &type, &version, &pofficial);
    int any_release_file = access("/etc/redhat-release", F_OK) == 0 ||
                           access("/etc/SuSE-release", F_OK) == 0 ||
                           access("/etc/SUSE-release", F_OK) == 0;
    if (!any_release_file) {
        CHECK(rc == 1);
        CHECK(name == unknown_distro && type == unknown_distro_type && version == 0);
        CHECK(pofficial == sentinel);
    } else if (pofficial != sentinel) {
        free(pofficial);
    }
}

static int loopback_has_ipv6(void)
{
    FILE *pfile = fopen("/proc/net/if_inet6", "r");
    char line[256];
    int found = 0;
    while (pfile != NULL && fgets(line, sizeof line, pfile) != NULL) {
        found |= strstr(line, " lo\n") != NULL;
    }
    if (pfile != NULL) {
        fclose(pfile);
    }
    return found;
}

/* The loopback interface's addresses as the kernel configures it.  Both
 * queries need the raw-socket privilege; without it they answer quietly
 * with -1 and link_unknown. */
static void check_loopback_addresses(void)
{
    char lo[] = "lo";
    char missing[] = "no-such-if0";
    dynamic_interface_info_t info;
    int32_t rc = get_dynamic_interface_info(lo, &info);
    if (geteuid() != 0) {
        fprintf(stderr, "consumer: not root, only the unprivileged answers checked\n");
        CHECK(rc == -1 && info.pip_addr == NULL);
        CHECK(get_logical_interface_status(lo) == link_unknown);
        return;
    }
    CHECK(rc == 0);
    CHECK(info.pip_addr != NULL && strcmp(info.pip_addr, "127.0.0.1") == 0);
    CHECK(info.pnetmask != NULL && strcmp(info.pnetmask, "255.0.0.0") == 0);
    CHECK(info.pcurrent_mac != NULL && strcmp(info.pcurrent_mac, "00:00:00:00:00:00") == 0);
    CHECK(info.if_status == link_up);
    if (loopback_has_ipv6()) {
        CHECK(info.pipv6_shorthand_addr != NULL && strcmp(info.pipv6_shorthand_addr, "::1") == 0);
        CHECK(info.pipv6_addr != NULL &&
              strcmp(info.pipv6_addr, "0000:0000:0000:0000:0000:0000:0000:0001") == 0);
        CHECK(info.pipv6_refix_length == 128);
        CHECK(info.ipv6_scope == ipv6_loopback_scope);
    }
    free_dynamic_interface_info(&info);
    CHECK(info.pip_addr == NULL && info.pnetmask == NULL && info.pipv6_addr == NULL);
    CHECK(get_logical_interface_status(lo) == link_up);
    CHECK(get_logical_interface_status(missing) == link_unknown);
}

int main(int argc, char **argv)
{
    if (argc != 7) {
        fprintf(stderr, "usage: %s DIR VEN DEV SUBVEN SUBDEV MODEL\n", argv[0]);
        return 2;
    }
    check_interface_list();
    check_loopback_driver();
    check_pci_identities();
    check_catalogue(argv + 2, argv[6]);
    check_scrambling();
    check_slot_lookup_without_address();
    check_text_reading(argv[1]);
    check_distribution();
    check_loopback_addresses();
    if (failures != 0) {
        fprintf(stderr, "consumer: %d check(s) failed\n", failures);
        return 1;
    }
    printf("consumer: all checks passed\n");
    return 0;
}
