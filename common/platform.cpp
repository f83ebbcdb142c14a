// SPDX-License-Identifier: MIT
// Helpers around the platform seams: listings, interface names, sysfs
// attributes.
#include "platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>

#include "diag.h"
#include "number_scan.h"

// The tools' environment
static constexpr const char *tool_search_path = "/usr/sbin:/usr/bin:/sbin:/bin";

void set_tool_environment()
{
    // clearenv only drops the table (it cannot fail on glibc); setenv can,
    // for want of memory only.
    static_cast<void>(clearenv());
    if (setenv("PATH", tool_search_path, 1) != 0) {
        TARVEX_MALLOC_FAILED();
    }
}

// Directory listings
void free_dir_listing(struct dirent **ppentries, int count)
{
    if (ppentries == nullptr) {
        return;
    }
    for (int i = 0; i < count; i++) {
        std::free(ppentries[i]);
    }
    std::free(ppentries);
}

// Interface names
bool fits_ifname(const char *pif_name)
{
    return pif_name != nullptr && strnlen(pif_name, IFNAMSIZ) < IFNAMSIZ;
}

void prepare_ifreq(struct ifreq *pifr, const char *pif_name)
{
    std::memset(pifr, 0, sizeof(*pifr));
    std::memcpy(pifr->ifr_name, pif_name, std::strlen(pif_name) + 1);
}

// Ethtool requests
int open_ethtool_request_at(struct ifreq *pifr, const char *pif_name, const char *pfile, int line)
{
    prepare_ifreq(pifr, pif_name);
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        int err = errno;
        std::fprintf(stderr, "ERROR: could not open socket for %s, (errno=%d), %s,%d\n", pif_name, err, pfile, line);
    }
    return fd;
}

// Sysfs hexadecimal attributes
static constexpr size_t sysfs_page_bytes = 4096;

bool read_hex_attribute(const char *ppath, uint32_t *pvalue)
{
    unique_file file(std::fopen(ppath, "re"));
    if (!file) {
        return false;
    }
    // sysfs serves an attribute as at most one page; reading all of it lets
    // the number follow any run of blanks, as a "%x" scan allows.
    char text[sysfs_page_bytes];
    size_t got = std::fread(text, 1, sizeof(text), file.get());
    *pvalue = scan_x_wrapping(std::string_view(text, got));
    return true;
}
