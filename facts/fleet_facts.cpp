// SPDX-License-Identifier: MIT
// The operating system, the machine's identity, and each interface's
// addresses, link speed and duplex and PCI names, for tarvex-facts.
#include "fleet_facts.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <linux/ethtool.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include "diag.h"
#include "host_queries.h"
#include "json_text.h"
#include "pci_host.h"
#include "platform.h"

namespace fleet {

namespace {

// Where the system says what it is, and what the firmware says the machine
// is; the first os-release file that exists is read.
constexpr std::array<const char *, 2> os_release_files = {"/etc/os-release", "/usr/lib/os-release"};
constexpr const char *dmi_id_dir = "/sys/class/dmi/id";
// The PCI ID database, where the distributions install it.
constexpr std::array<const char *, 3> pci_ids_files = {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids",
                                                       "/usr/share/pci.ids"};

// The whole text of a small file; empty with errno when it could not be
// opened or read.
std::optional<std::string> read_text_file(const char *ppath)
{
    unique_file file(std::fopen(ppath, "re"));
    if (!file) {
        return std::nullopt;
    }
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file.get())) > 0) {
        text.append(chunk, got);
    }
    if (std::ferror(file.get()) != 0) {
        return std::nullopt;
    }
    return text;
}

json optional_text(const std::optional<std::string> &text)
{
    return text ? json(*text) : json(nullptr);
}

} // namespace

// The operating system

json os_facts()
{
    for (const char *ppath : os_release_files) {
        struct stat info;
        if (stat(ppath, &info) != 0 && errno == ENOENT) {
            continue;
        }
        std::optional<std::string> text = read_text_file(ppath);
        if (!text) {
            TARVEX_MSG(stderr, "WARNING: could not read %s (errno=%d), operating system unknown, %s,%d\n", ppath,
                       errno);
            return nullptr;
        }
        os_release release = parse_os_release(*text);
        return {{"id", optional_text(release.id)},
                {"version_id", optional_text(release.version_id)},
                {"name", optional_text(release.name)},
                {"pretty_name", optional_text(release.pretty_name)}};
    }
    return nullptr;
}

// The machine's identity

namespace {
json dmi_value(const char *pattribute)
{
    std::string path = std::string(dmi_id_dir) + "/" + pattribute;
    std::optional<std::string> text = read_text_file(path.c_str());
    return text ? optional_text(clean_dmi_value(*text)) : json(nullptr);
}
} // namespace

json system_facts()
{
    struct stat info;
    if (stat(dmi_id_dir, &info) != 0) {
        return nullptr;
    }
    return {{"vendor", dmi_value("sys_vendor")},
            {"product", dmi_value("product_name")},
            {"serial", dmi_value("product_serial")}};
}

// Every address of every interface, from one dump

interface_sources::interface_sources(ipv4_table *pipv4_table) : pipv4(pipv4_table)
{
    addresses_readable = dump_all_addresses(
        [](const host_query::address_message *paddress, void *pcontext) {
            static_cast<interface_sources *>(pcontext)->addresses.push_back(*paddress);
        },
        [](const host_query::ipv4_message *paddress, void *pcontext) {
            ipv4_table::take(paddress, static_cast<interface_sources *>(pcontext)->pipv4);
        },
        this);
    pipv4->readable = addresses_readable;
    std::stable_sort(addresses.begin(), addresses.end(),
                     [](const host_query::address_message &a, const host_query::address_message &b) {
                         return a.index < b.index;
                     });
    if (!addresses_readable) {
        tarvex_note_errno(errno);
    }
}

namespace {

// The scope as the kernel's tools name it, else its number.
std::string scope_text(uint8_t scope)
{
    switch (scope) {
    case RT_SCOPE_UNIVERSE:
        return "global";
    case RT_SCOPE_SITE:
        return "site";
    case RT_SCOPE_LINK:
        return "link";
    case RT_SCOPE_HOST:
        return "host";
    case RT_SCOPE_NOWHERE:
        return "nowhere";
    default:
        return std::to_string(scope);
    }
}

// Printed straight into the document's text, as the JSON library would
// print the object {"family", "address", "prefix_length", "scope"} indent
// spaces in: a thousand interfaces make thousands of these, and building
// them cost more than printing.
void append_address(std::string &text, const host_query::address_message &address, unsigned int indent)
{
    std::array<char, 46> printed{};
    if (address.family == AF_INET) {
        std::array<char, 16> ipv4 = host_query::format_ipv4({address.bytes[0], address.bytes[1], address.bytes[2],
                                                             address.bytes[3]});
        std::memcpy(printed.data(), ipv4.data(), ipv4.size());
    } else {
        printed = host_query::format_ipv6(address.bytes);
    }
    std::string member_indent(indent + json_text::indent_step, ' ');
    text += "{\n";
    text += member_indent;
    text += address.family == AF_INET ? "\"family\": \"inet\",\n" : "\"family\": \"inet6\",\n";
    text += member_indent;
    text += "\"address\": \"";
    text += printed.data();
    text += "\",\n";
    text += member_indent;
    text += "\"prefix_length\": ";
    text += std::to_string(address.prefix_length);
    text += ",\n";
    text += member_indent;
    text += "\"scope\": ";
    text += '"';
    text += scope_text(address.scope);
    text += '"';
    text += '\n';
    text.append(indent, ' ');
    text += '}';
}

int32_t index_of(int32_t index)
{
    return index;
}

int32_t index_of(const host_query::address_message &address)
{
    return address.index;
}

void append_addresses(std::string &text, int32_t index, const interface_sources &sources, unsigned int indent)
{
    if (!sources.addresses_readable || index < 0) {
        text += "null";
        return;
    }
    auto [first, last] = std::equal_range(sources.addresses.begin(), sources.addresses.end(), index,
                                          [](const auto &a, const auto &b) { return index_of(a) < index_of(b); });
    if (first == last) {
        text += "[]";
        return;
    }
    text += "[\n";
    for (auto address = first; address != last; ++address) {
        text += address == first ? "" : ",\n";
        text.append(indent + json_text::indent_step, ' ');
        append_address(text, *address, indent + json_text::indent_step);
    }
    text += '\n';
    text.append(indent, ' ');
    text += ']';
}

// Speed and duplex as sysfs shows them: only while the interface is
// administratively up, from the driver's link settings (ETHTOOL_GSET needs
// no privilege).
// Appends the values of speed_mbps and duplex, each after its member's
// start.
void append_link_settings(std::string &text, std::string_view member_start, int fd, const char *pif_name,
                          bool admin_up)
{
    std::string speed = "null";
    const char *pduplex = "null";
    struct ifreq ifr;
    if (admin_up && fits_ifname(pif_name)) {
        struct ethtool_cmd settings {};
        settings.cmd = ETHTOOL_GSET;
        prepare_ifreq(&ifr, pif_name);
        ifr.ifr_data = reinterpret_cast<char *>(&settings); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        if (tarvex_ethtool_request(fd, &ifr) == 0) {
            uint32_t mbps = ethtool_cmd_speed(&settings);
            if (mbps > 0 && mbps <= INT32_MAX) {
                speed = std::to_string(mbps);
            }
            if (settings.duplex == DUPLEX_FULL || settings.duplex == DUPLEX_HALF) {
                pduplex = settings.duplex == DUPLEX_FULL ? "\"full\"" : "\"half\"";
            }
        }
    }
    text += member_start;
    text += "\"speed_mbps\": ";
    text += speed;
    text += member_start;
    text += "\"duplex\": ";
    text += pduplex;
}

// PCI names: the identities of the host's PCI functions (from the run's one
// view of them) are what a run can ask for; the database is read once,
// keeping only their names.
void want_pci_functions(pci_names_reader *preader)
{
    const pci_host &host = pci_host_view();
    for (int32_t i = 0; i < host.function_count; i++) {
        const pci_function &function = host.pfunctions[i];
        if (function.ids_readable) {
            preader->wanted.insert(pci_key{function.ids[0], function.ids[1], function.ids[2], function.ids[3]});
        }
    }
}

// The database (about 1.3 MB) is mapped and read where it lies, its wanted
// names kept: reading it line by line, or copying it, cost a run on a small
// host more than all its interfaces' queries.
struct mapped_file {
    void *paddress = MAP_FAILED;
    size_t size = 0;
    explicit mapped_file(const char *ppath)
    {
        unique_fd fd(open(ppath, O_RDONLY | O_CLOEXEC));
        struct stat info;
        if (fd.valid() && fstat(fd.get(), &info) == 0 && info.st_size > 0) {
            size = static_cast<size_t>(info.st_size);
            paddress = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
        }
    }
    mapped_file(const mapped_file &) = delete;
    mapped_file &operator=(const mapped_file &) = delete;
    ~mapped_file()
    {
        if (paddress != MAP_FAILED) {
            munmap(paddress, size);
        }
    }
    [[nodiscard]] std::optional<std::string_view> text() const
    {
        if (paddress == MAP_FAILED) {
            return std::nullopt;
        }
        return std::string_view(static_cast<const char *>(paddress), size);
    }
};

bool read_pci_ids(pci_names_reader *preader)
{
    for (const char *ppath : pci_ids_files) {
        mapped_file file(ppath);
        std::optional<std::string_view> text = file.text();
        if (!text) {
            tarvex_note_errno(errno);
            continue;
        }
        std::string_view rest = *text;
        while (!rest.empty()) {
            size_t end = std::min(rest.find('\n'), rest.size());
            std::string_view line = rest.substr(0, end);
            preader->take_line(line.ends_with('\r') ? line.substr(0, line.size() - 1) : line);
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
        return true;
    }
    return false;
}

template <typename Map, typename Key> json name_in(const Map &names, const Key &key)
{
    auto found = names.find(key);
    return found == names.end() ? json(nullptr) : json(found->second);
}

json pci_names_facts(const pci_key *ppci, interface_sources &sources)
{
    if (ppci == nullptr) {
        return nullptr;
    }
    if (!sources.pci_names) {
        pci_names_reader &reader = sources.pci_names.emplace();
        want_pci_functions(&reader);
        reader.wanted.insert(*ppci);
        sources.pci_names_readable = read_pci_ids(&reader);
    }
    if (!sources.pci_names_readable) {
        return nullptr;
    }
    const pci_names_reader &reader = *sources.pci_names;
    return {{"vendor", name_in(reader.vendors, ppci->vendor)},
            {"device", name_in(reader.devices, uint64_t{ppci->vendor} << 16 | ppci->device)},
            {"subsystem", name_in(reader.subsystems, *ppci)}};
}

} // namespace

void append_interface_facts(std::string &text, unsigned int indent, const char *pif_name, int32_t index, int fd,
                            bool admin_up, const pci_key *ppci, interface_sources &sources)
{
    std::string member_start = ",\n" + std::string(indent, ' ');
    text += member_start;
    text += "\"addresses\": ";
    append_addresses(text, index, sources, indent);
    append_link_settings(text, member_start, fd, pif_name, admin_up);
    text += member_start;
    text += "\"pci_names\": ";
    json_text::append_pretty(text, pci_names_facts(ppci, sources), indent);
}

} // namespace fleet
