// SPDX-License-Identifier: MIT
// Interface addresses and administrative state: IPv4 and MAC values from
// interface ioctls on a raw socket (for a program that asks about many
// interfaces, the IPv4 values from one routing-message dump instead), the
// first IPv6 address from the kernel's /proc/net/if_inet6.
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "common_utilities.h"
#include "diag.h"
#include "host_queries.h"
#include "host_query_parse.h"
#include "platform.h"

static constexpr const char *proc_if_inet6 = "/proc/net/if_inet6";
static constexpr size_t ipv4_text_size = 57;
static constexpr size_t mac_text_size = 43;
static constexpr size_t ipv6_text_size = 323;

// The raw socket
// Both queries keep their descriptor in a function-static, as the interface
// documents; this owner closes it on every way out and marks it closed.
namespace {
class static_socket {
public:
    explicit static_socket(int32_t *psock) noexcept : psock_(psock)
    {
        *psock_ = open_interface_query_socket();
    }
    static_socket(const static_socket &) = delete;
    static_socket &operator=(const static_socket &) = delete;
    ~static_socket() { close(); }
    [[nodiscard]] bool valid() const noexcept { return *psock_ >= 0; }
    [[nodiscard]] int get() const noexcept { return *psock_; }
    void close() noexcept
    {
        if (*psock_ >= 0) {
            ::close(*psock_);
        }
        *psock_ = -1;
    }

private:
    int32_t *psock_;
};
}  // namespace

int open_interface_query_socket()
{
    return socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
}

// The texts are formatted addresses of at most 39 characters; every field
// size above is larger, so the copy is never cut (and is cut, not
// overrun, if one ever were).
static char *allocate_text(const char *ptext, size_t size)
{
    char *pcopy = static_cast<char *>(TARVEX_MALLOC(size));
    size_t length = strnlen(ptext, size - 1);
    std::memcpy(pcopy, ptext, length);
    pcopy[length] = '\0';
    return pcopy;
}

// Administrative state
static link_status_t query_interface_status(int fd, const char *pif_name)
{
    struct ifreq ifr;
    prepare_ifreq(&ifr, pif_name);
    ifr.ifr_flags = 0;
    if (tarvex_interface_ioctl(fd, SIOCGIFFLAGS, &ifr) != 0) {
        int err = errno;
        if (err != ENODEV) {
            TARVEX_MSG(stderr, "INFO: ioctl(SIOCGIFFLAGS) for %s: errno=%d, %s, %s,%d\n", pif_name, err,
                       std::strerror(err));
        }
        return link_unknown;
    }
    return (ifr.ifr_flags & IFF_UP) != 0 ? link_up : link_down;
}

link_status_t get_logical_interface_status(char *pif_name)
{
    if (!fits_ifname(pif_name)) {
        return link_unknown;
    }
    static int32_t sock = -1;
    static_socket owner(&sock);
    if (!owner.valid()) {
        return link_unknown;
    }
    return query_interface_status(owner.get(), pif_name);
}

// IPv4 and hardware addresses
struct ipv4_request {
    unsigned long request;
    const char *pname;
    char *dynamic_interface_info_t::*pfield;
};

static constexpr ipv4_request ipv4_requests[] = {
    {SIOCGIFADDR, "SIOCGIFADDR", &dynamic_interface_info_t::pip_addr},
    {SIOCGIFNETMASK, "SIOCGIFNETMASK", &dynamic_interface_info_t::pnetmask},
    {SIOCGIFBRDADDR, "SIOCGIFBRDADDR", &dynamic_interface_info_t::pbroadcast},
};

// The IPv4 address the kernel returned in the request, in network order.
static std::array<uint8_t, 4> returned_ipv4(const struct ifreq &ifr)
{
    struct sockaddr_in sin;
    std::memcpy(&sin, &ifr.ifr_addr, sizeof(sin));
    std::array<uint8_t, 4> bytes;
    std::memcpy(bytes.data(), &sin.sin_addr, bytes.size());
    return bytes;
}

// Fills the three IPv4 fields; true when a failure was reported.
static bool query_ipv4_addresses(int fd, struct ifreq *pifr, const char *pif_name, dynamic_interface_info_t *pif)
{
    bool reported = false;
    for (const ipv4_request &req : ipv4_requests) {
        if (tarvex_interface_ioctl(fd, req.request, pifr) == 0) {
            pif->*req.pfield = allocate_text(host_query::format_ipv4(returned_ipv4(*pifr)).data(), ipv4_text_size);
            continue;
        }
        // A missing interface or a missing address is no failure.
        int err = errno;
        if (err != ENODEV && err != EADDRNOTAVAIL) {
            TARVEX_MSG(stderr, "INFO: ioctl(%s) for %s: errno=%d, %s, %s,%d\n", req.pname, pif_name, err,
                       std::strerror(err));
            reported = true;
        }
    }
    return reported;
}

// Fills the current MAC address; true when a failure was reported.
static bool query_hardware_address(int fd, struct ifreq *pifr, const char *pif_name, dynamic_interface_info_t *pif)
{
    if (tarvex_interface_ioctl(fd, SIOCGIFHWADDR, pifr) == 0) {
        std::array<uint8_t, 6> bytes;
        std::memcpy(bytes.data(), pifr->ifr_hwaddr.sa_data, bytes.size());
        pif->pcurrent_mac = allocate_text(host_query::format_mac(bytes).data(), mac_text_size);
        return false;
    }
    int err = errno;
    if (err == ENODEV) {
        return false;
    }
    TARVEX_MSG(stderr, "ERROR: ioctl(SIOCGIFHWADDR) for %s: errno=%d, %s, %s,%d\n", pif_name, err,
               std::strerror(err));
    return true;
}

// The first IPv6 address
// Fills the IPv6 fields from a matching line; 0, or 1 when the address
// cannot be converted.
static int32_t fill_ipv6(const host_query::if_inet6_entry &entry, const char *pif_name,
                         dynamic_interface_info_t *pif)
{
    pif->pipv6_addr = allocate_text(host_query::format_ipv6_full(entry.address).data(), ipv6_text_size);
    struct in6_addr bytes;
    if (inet_pton(AF_INET6, pif->pipv6_addr, &bytes) <= 0) {
        TARVEX_MSG(stdout, "INFO: could not get ipv6 addr for %s: errno=%d, %s,%d\n", pif_name, errno);
        return 1;
    }
    std::array<uint8_t, 16> address;
    std::memcpy(address.data(), &bytes, address.size());
    pif->pipv6_shorthand_addr = allocate_text(host_query::format_ipv6(address).data(), ipv6_text_size);
    pif->pipv6_refix_length = entry.prefix_len;
    pif->ipv6_scope = host_query::map_ipv6_scope(entry.scope);
    return 0;
}

bool scan_if_inet6(bool (*ptake)(const host_query::if_inet6_entry *pentry, void *pcontext), void *pcontext)
{
    unique_file file(std::fopen(proc_if_inet6, "re"));
    if (!file) {
        return false;
    }
    char *pline = nullptr;
    size_t line_size = 0;
    ssize_t len;
    while ((len = getline(&pline, &line_size, file.get())) != -1) {
        host_query::if_inet6_entry entry;
        if (host_query::parse_if_inet6_line(std::string_view(pline, static_cast<size_t>(len)), &entry) &&
            ptake(&entry, pcontext)) {
            break;
        }
    }
    std::free(pline);
    return true;
}

// A search for one interface's first line.
namespace {
struct first_ipv6_search {
    const char *pif_name;
    dynamic_interface_info_t *pif;
    int32_t result;
};
} // namespace

static bool take_first_ipv6(const host_query::if_inet6_entry *pentry, void *pcontext)
{
    auto *psearch = static_cast<first_ipv6_search *>(pcontext);
    if (std::strcmp(pentry->if_name, psearch->pif_name) != 0) {
        return false;
    }
    psearch->result = fill_ipv6(*pentry, psearch->pif_name, psearch->pif);
    return true;
}

// The interface's first line in the file: -1 when the file cannot be
// opened, else the result of fill_ipv6, 0 without a line.
static int32_t query_first_ipv6(const char *pif_name, dynamic_interface_info_t *pif)
{
    first_ipv6_search search = {pif_name, pif, 0};
    return scan_if_inet6(take_first_ipv6, &search) ? search.result : -1;
}

// Clears the record; false for a name that cannot be an interface's (a
// longer name cannot be a kernel interface name, and a cut one would report
// another interface).
static bool start_record(const char *pif_name, dynamic_interface_info_t *pif)
{
    std::memset(pif, 0, sizeof(*pif));
    pif->ipv6_scope = ipv6_global_scope;
    pif->if_status = link_unknown;
    return fits_ifname(pif_name);
}

// The IPv4 and hardware addresses: 0, or 1 when a query failed.
static int32_t query_addresses(int fd, const char *pif_name, dynamic_interface_info_t *pif)
{
    struct ifreq ifr;
    prepare_ifreq(&ifr, pif_name);
    ifr.ifr_addr.sa_family = AF_INET;
    bool reported = query_ipv4_addresses(fd, &ifr, pif_name, pif);
    reported = query_hardware_address(fd, &ifr, pif_name, pif) || reported;
    return reported ? 1 : 0;
}

// The IPv4 fields from an address dump, for the interface of this index.
static void fill_dumped_ipv4(const ipv4_lookup &lookup, int32_t index, const char *pif_name,
                             dynamic_interface_info_t *pif)
{
    const host_query::ipv4_message *paddress = lookup.pfind(index, pif_name, lookup.pcontext);
    if (paddress == nullptr) {
        return;
    }
    pif->pip_addr = allocate_text(host_query::format_ipv4(paddress->local).data(), ipv4_text_size);
    pif->pnetmask = allocate_text(host_query::format_ipv4(paddress->netmask).data(), ipv4_text_size);
    pif->pbroadcast = allocate_text(host_query::format_ipv4(paddress->broadcast).data(), ipv4_text_size);
}

// query_addresses with the IPv4 fields from an address dump: only the
// interface's index is asked for (the kernel's own, not the IPv6 list's,
// which may be older); a failure to get it other than a missing interface
// falls back to the IPv4 ioctls.
static int32_t query_dumped_addresses(int fd, const char *pif_name, const ipv4_lookup &lookup,
                                      dynamic_interface_info_t *pif)
{
    struct ifreq ifr;
    prepare_ifreq(&ifr, pif_name);
    if (tarvex_interface_ioctl(fd, SIOCGIFINDEX, &ifr) != 0) {
        return errno == ENODEV ? 0 : query_addresses(fd, pif_name, pif);
    }
    fill_dumped_ipv4(lookup, ifr.ifr_ifindex, pif_name, pif);
    prepare_ifreq(&ifr, pif_name);
    return query_hardware_address(fd, &ifr, pif_name, pif) ? 1 : 0;
}

// A failed IPv6 query makes the whole query's result 1.
int32_t get_dynamic_interface_info(char *pif_name, dynamic_interface_info_t *pif)
{
    if (!start_record(pif_name, pif)) {
        return 1;
    }
    int32_t rc;
    {
        static int32_t sock = -1;
        static_socket owner(&sock);
        if (!owner.valid()) {
            return -1;
        }
        rc = query_addresses(owner.get(), pif_name, pif);
    }
    pif->if_status = get_logical_interface_status(pif_name);
    return query_first_ipv6(pif_name, pif) != 0 ? 1 : rc;
}

int32_t get_dynamic_interface_info_on(int raw_fd, char *pif_name, dynamic_interface_info_t *pif,
                                      const host_query::if_inet6_entry *pfirst_line, bool ipv6_readable,
                                      const ipv4_lookup *pipv4)
{
    if (!start_record(pif_name, pif)) {
        return 1;
    }
    if (raw_fd < 0) {
        return -1;
    }
    int32_t rc = pipv4 != nullptr ? query_dumped_addresses(raw_fd, pif_name, *pipv4, pif)
                                   : query_addresses(raw_fd, pif_name, pif);
    pif->if_status = query_interface_status(raw_fd, pif_name);
    int32_t ipv6_result = -1;
    if (ipv6_readable) {
        ipv6_result = pfirst_line == nullptr ? 0 : fill_ipv6(*pfirst_line, pif_name, pif);
    }
    return ipv6_result != 0 ? 1 : rc;
}

// The IPv4 address dump
namespace {
struct address_dump_request {
    struct nlmsghdr header;
    struct ifaddrmsg body;
};

struct batch_consumer {
    void (*ptake)(const host_query::ipv4_message *paddress, void *pcontext);
    void *pcontext;
};
}  // namespace

// What tarvex_route_dump wants of a batch's consumer: 0 read on, 1 done,
// -1 failed.
static int dump_step(host_query::dump_progress progress)
{
    switch (progress) {
    case host_query::dump_progress::more:
        return 0;
    case host_query::dump_progress::done:
        return 1;
    case host_query::dump_progress::failed:
        break;
    }
    return -1;
}

static int take_batch(const uint8_t *pbatch, size_t size, void *pcontext)
{
    const auto *pconsumer = static_cast<const batch_consumer *>(pcontext);
    return dump_step(host_query::parse_address_batch({pbatch, size}, pconsumer->ptake, pconsumer->pcontext));
}

// One address dump of the family (AF_UNSPEC: all) on a socket of its own.
static bool dump_addresses(uint8_t family, int (*ptake_batch)(const uint8_t *, size_t, void *), void *pcontext)
{
    unique_fd sock(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!sock.valid()) {
        return false;
    }
    address_dump_request request{};
    request.header = {.nlmsg_len = sizeof(request), .nlmsg_type = RTM_GETADDR,
                      .nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP, .nlmsg_seq = 1, .nlmsg_pid = 0};
    request.body.ifa_family = family;
    return tarvex_route_dump(sock.get(), &request, sizeof(request), ptake_batch, pcontext) == 0;
}

bool dump_ipv4_addresses(void (*ptake)(const host_query::ipv4_message *paddress, void *pcontext), void *pcontext)
{
    batch_consumer consumer = {ptake, pcontext};
    return dump_addresses(AF_INET, take_batch, &consumer);
}

namespace {
struct any_batch_consumer {
    void (*ptake)(const host_query::address_message *paddress, void *pcontext);
    void (*ptake_ipv4)(const host_query::ipv4_message *paddress, void *pcontext);
    void *pcontext;
};
}  // namespace

static int take_any_batch(const uint8_t *pbatch, size_t size, void *pcontext)
{
    const auto *pconsumer = static_cast<const any_batch_consumer *>(pcontext);
    return dump_step(host_query::parse_any_address_batch({pbatch, size}, pconsumer->ptake, pconsumer->ptake_ipv4,
                                                         pconsumer->pcontext));
}

bool dump_all_addresses(void (*ptake)(const host_query::address_message *paddress, void *pcontext),
                        void (*ptake_ipv4)(const host_query::ipv4_message *paddress, void *pcontext), void *pcontext)
{
    any_batch_consumer consumer = {ptake, ptake_ipv4, pcontext};
    return dump_addresses(AF_UNSPEC, take_any_batch, &consumer);
}

// Releasing a record
void free_dynamic_interface_info(dynamic_interface_info_t *pif)
{
    char **ppfields[] = {&pif->pip_addr,    &pif->pnetmask,   &pif->pbroadcast,
                         &pif->pcurrent_mac, &pif->pipv6_addr, &pif->pipv6_shorthand_addr};
    for (char **ppfield : ppfields) {
        std::free(*ppfield);
        *ppfield = nullptr;
    }
}
