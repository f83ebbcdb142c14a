// SPDX-License-Identifier: MIT
// Seams to the platform and small owners for its handles.  Each kind of
// platform access goes through one function here, so tests can replace a
// seam (link their own definition) or script it (LD_PRELOAD), and the rest of
// the code stays plain logic over the results.
#ifndef TARVEX_PLATFORM_H
#define TARVEX_PLATFORM_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>

#include <dirent.h>
#include <net/if.h>
#include <unistd.h>

extern "C" {
// SIOCETHTOOL on fd with pifr->ifr_data pointing at the ethtool command.
int tarvex_ethtool_request(int fd, struct ifreq *pifr);
// Any other interface ioctl (SIOCGIFFLAGS, SIOCGIFADDR, ...).
int tarvex_interface_ioctl(int fd, unsigned long request, struct ifreq *pifr);
// One rtnetlink dump on fd, a NETLINK_ROUTE socket: sends the request, then
// hands each batch of the reply to ptake, which gives 0 to read on, 1 when
// the dump is complete and -1 when it failed.  0 for a complete dump, -1
// otherwise.
int tarvex_route_dump(int fd, const void *prequest, size_t request_size,
                      int (*ptake)(const uint8_t *pbatch, size_t size, void *pcontext), void *pcontext);
}

struct file_closer {
    void operator()(FILE *pfile) const noexcept { std::fclose(pfile); }
};
using unique_file = std::unique_ptr<FILE, file_closer>;

struct pipe_closer {
    void operator()(FILE *pfile) const noexcept { pclose(pfile); }
};
using unique_pipe = std::unique_ptr<FILE, pipe_closer>;

// Owns a socket or file descriptor; closes it when it goes out of scope.
class unique_fd {
public:
    explicit unique_fd(int fd) noexcept : fd_(fd) {}
    unique_fd(const unique_fd &) = delete;
    unique_fd &operator=(const unique_fd &) = delete;
    ~unique_fd()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    [[nodiscard]] int get() const noexcept { return fd_; }
    [[nodiscard]] bool valid() const noexcept { return fd_ >= 0; }
    [[nodiscard]] int release() noexcept { return std::exchange(fd_, -1); }
    // Closes what it held and takes fd.
    void reset(int fd = -1) noexcept
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

// Replaces the whole environment by PATH=/usr/sbin:/usr/bin:/sbin:/bin,
// the system's own directories, for every command a program of the family
// starts: the management tools and the shell and awk of their command lines
// then see nothing the caller exported (no PATH of its own, no shell
// functions, SHELLOPTS or BASHOPTS for a /bin/sh that is bash), as the
// programs run as root.  The programs call it first thing; the library's
// queries never touch the environment, so a caller that does not call it
// keeps its own.
void set_tool_environment();

// Releases a scandir() listing: every entry and the array.
void free_dir_listing(struct dirent **ppentries, int count);

// A kernel interface name fits the 16-byte ifr_name field with its terminator.
bool fits_ifname(const char *pif_name);
// Clears *pifr and copies the name; the caller has checked fits_ifname.
void prepare_ifreq(struct ifreq *pifr, const char *pif_name);

// Prepares *pifr for pif_name (which fits_ifname) and opens the datagram
// socket that carries its ethtool requests.  On failure it reports "could
// not open socket" citing the caller's file and line, and gives -1.
int open_ethtool_request_at(struct ifreq *pifr, const char *pif_name, const char *pfile, int line);
#define TARVEX_OPEN_ETHTOOL_REQUEST(pifr, name) open_ethtool_request_at((pifr), (name), __FILE_NAME__, __LINE__)

// Reads a sysfs hex attribute file.  false when it cannot be opened (errno
// is then the open's); otherwise true and *pvalue read from its start as
// "%x" reads it ("0x8086\n" gives 0x8086; scan_x_wrapping).
bool read_hex_attribute(const char *ppath, uint32_t *pvalue);

#endif
