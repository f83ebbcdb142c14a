// SPDX-License-Identifier: MIT
// tarvex-facts: everything the tarvex library knows about this server's
// Ethernet interfaces, as one JSON document on standard output, for scripts,
// fleet automation and Ansible's local facts.  Interfaces are queried as the
// report does, plus the host queries the report leaves out (addresses,
// administrative state, factory MAC address, the firmware's slot and onboard
// identity, distribution); they are the report's interfaces plus every other
// Ethernet port of a PCI adapter, whatever its name.  --format prometheus
// prints the same facts as metrics for node_exporter's textfile collector,
// and --output writes either to a file that readers never see half-written.
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/socket.h>
#include <poll.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "bounded_run.h"
#include "common_utilities.h"
#include "diag.h"
#include "fleet_facts.h"
#include "host_queries.h"
#include "interface_walk.h"
#include "json_text.h"
#include "lldp_neighbors.h"
#include "platform.h"
#include "prometheus_text.h"

namespace {

// Keys keep the order of the documented layout.
using json = nlohmann::ordered_json;

constexpr int schema_version = 1;
constexpr uint32_t max_ipv6_prefix_length = 128;

struct free_deleter {
    void operator()(void *pblock) const { std::free(pblock); }
};
using heap_text = std::unique_ptr<char, free_deleter>;

// What the queries of every interface share, made once per run: asking
// for each interface anew (a socket, a reading of the kernel's IPv6
// address list) made the run grow with the square of their number, and
// the IPv4 ioctls, under the kernel's global routing lock, made it slow.
// Every interface request goes on the run's one datagram socket: the
// address, hardware address and flag requests answer on it as on the
// library's raw socket, without the privilege that one needs, so a user
// without root reads what root reads (as ip and sysfs show it to them).
// The LLDP agent is asked once for all interfaces.
struct run_sources {
    int request_fd; // the run's datagram socket, owned by the run
    if_inet6_table ipv6;
    ipv4_table ipv4{false};
    mutable fleet::interface_sources fleet{&ipv4}; // its PCI names are read on first use
    lldp::answer lldp_heard;
    run_sources(int fd, int lldp_timeout_seconds) : request_fd(fd), lldp_heard(lldp::query(lldp_timeout_seconds)) {}
    run_sources(const run_sources &) = delete;
    run_sources &operator=(const run_sources &) = delete;
};

// The library asks the IPv4 lookup with the interface's kernel index, which
// it has just asked for; kept, it finds the interface's other addresses
// without asking again.  -1 when the lookup was not asked (no such
// interface, or the index could not be had).
struct index_keeping_lookup {
    ipv4_lookup lookup{find, this};
    const ipv4_lookup *pinner;
    mutable int32_t index = -1;

    explicit index_keeping_lookup(const ipv4_lookup *pinner_lookup) : pinner(pinner_lookup) {}
    index_keeping_lookup(const index_keeping_lookup &) = delete;
    index_keeping_lookup &operator=(const index_keeping_lookup &) = delete;

    static const host_query::ipv4_message *find(int32_t index, const char *pif_name, const void *pcontext)
    {
        const auto *pself = static_cast<const index_keeping_lookup *>(pcontext);
        pself->index = index;
        return pself->pinner->pfind(index, pif_name, pself->pinner->pcontext);
    }
};

// Owner of the library's address record, released with the library's own
// call.
struct address_record {
    dynamic_interface_info_t info{};
    address_record(const address_record &) = delete;
    address_record &operator=(const address_record &) = delete;
    int32_t index = -1; // the interface's kernel index, when the IPv4 table was asked
    address_record(char *pif_name, const run_sources &sources)
    {
        const ipv4_lookup *pipv4 = sources.ipv4.lookup();
        index_keeping_lookup keeping(pipv4);
        get_dynamic_interface_info_on(sources.request_fd, pif_name, &info, sources.ipv6.first_line(pif_name),
                                      sources.ipv6.readable, pipv4 != nullptr ? &keeping.lookup : nullptr);
        index = keeping.index;
    }
    ~address_record() { free_dynamic_interface_info(&info); }
};

// Owner of the library's firmware location record.
struct firmware_record {
    firmware_location_t location{};
    int32_t rc = 1;
    firmware_record(const firmware_record &) = delete;
    firmware_record &operator=(const firmware_record &) = delete;
    firmware_record(const char *pbus_info, const char *pif_name)
    {
        if (pbus_info != nullptr) {
            rc = get_interface_firmware_location_at(pbus_info, pif_name, &location);
        }
    }
    ~firmware_record() { free_firmware_location_members(&location); }
};

// Objects are built member by member in the documented order, each key
// once: appending skips the search through every earlier member that
// ordered_json's operator[] makes, and the room is made once.  With a
// thousand interfaces, building the document cost more than querying.
json object_with_room(size_t members)
{
    json object = json::object();
    object.get_ref<json::object_t &>().reserve(members);
    return object;
}

void put(json &object, const char *pkey, json value)
{
    object.get_ref<json::object_t &>().emplace_back(pkey, std::move(value));
}

// Values: what the library could not obtain is null, never "" or -1.
json text_or_null(const char *ptext)
{
    if (ptext == nullptr || *ptext == '\0') {
        return nullptr;
    }
    return ptext;
}

json number_or_null(int32_t value)
{
    if (value < 0) {
        return nullptr;
    }
    return value;
}

template <size_t N> json table_text(const char *const (&table)[N], int value)
{
    if (value < 0 || static_cast<size_t>(value) >= N) {
        return nullptr;
    }
    return table[value];
}

json pci_id(int32_t value)
{
    char text[16];
    int length = std::snprintf(text, sizeof(text), "0x%04x", static_cast<unsigned>(value));
    if (length < 0 || static_cast<size_t>(length) >= sizeof(text)) {
        return nullptr;
    }
    return text;
}

// PCI identity, catalogue model, slot and bay.  Without a PCI identity every
// one of these is null.
void add_hardware(json &facts, const interface_hardware &hardware)
{
    const pci_identity &pci = hardware.pci;
    bool identified = hardware.pci_rc == 0;
    json ids(nullptr);
    if (identified) {
        ids = object_with_room(4);
        put(ids, "vendor", pci_id(pci.vendor));
        put(ids, "device", pci_id(pci.device));
        put(ids, "subsystem_vendor", pci_id(pci.subsystem_vendor));
        put(ids, "subsystem_device", pci_id(pci.subsystem_device));
    }
    put(facts, "pci", std::move(ids));
    put(facts, "model", hardware.catalogued() ? text_or_null(hardware.pmodel->inf_name) : json(nullptr));
    put(facts, "slot", number_or_null(hardware.place.slot));
    put(facts, "port", number_or_null(hardware.place.port));
    put(facts, "bay", number_or_null(hardware.place.bay));
    put(facts, "bay_port", number_or_null(hardware.place.bay_port));
}

// The library hands back the kernel's all-zero answers where an interface
// has no such address: no broadcast address (a /32, a point-to-point link),
// no hardware address (a tun device).  Neither is a value anyone assigned.
json address_or_null(const char *ptext, const char *pnone)
{
    if (ptext != nullptr && std::strcmp(ptext, pnone) == 0) {
        return nullptr;
    }
    return text_or_null(ptext);
}

json ipv4_facts(const dynamic_interface_info_t &addresses)
{
    if (addresses.pip_addr == nullptr) {
        return nullptr;
    }
    json ipv4 = object_with_room(3);
    put(ipv4, "address", addresses.pip_addr);
    put(ipv4, "netmask", text_or_null(addresses.pnetmask));
    put(ipv4, "broadcast", address_or_null(addresses.pbroadcast, "0.0.0.0"));
    return ipv4;
}

// The compressed form is the one people type; without it the address is
// not usable, so the whole entry is null.  So it is when the kernel's list
// gave a prefix length no IPv6 address can have.
json ipv6_facts(const char *pif_name, const dynamic_interface_info_t &addresses)
{
    if (addresses.pipv6_addr == nullptr || addresses.pipv6_shorthand_addr == nullptr) {
        return nullptr;
    }
    uint32_t prefix_length = addresses.pipv6_refix_length;
    if (prefix_length > max_ipv6_prefix_length) {
        TARVEX_MSG(stderr, "INFO: IPv6 address of %s left out: prefix length %u is outside 0..128, %s,%d\n",
                   pif_name, prefix_length);
        return nullptr;
    }
    json ipv6 = object_with_room(3);
    put(ipv6, "address", addresses.pipv6_shorthand_addr);
    put(ipv6, "prefix_length", prefix_length);
    put(ipv6, "scope", table_text(ipv6_link_scope_text, addresses.ipv6_scope));
    return ipv6;
}

// Addresses, administrative state and the factory MAC address; only the
// last needs a privilege (CAP_NET_ADMIN), without which it stays null.  The
// EEPROM is read only for catalogued adapters, the only ones the library
// reads it for: asking for others would repeat the driver and PCI queries
// and their diagnostics for a certain null.  Returns the interface's kernel
// index (-1: unknown).
int32_t add_host_state(json &facts, char *pif_name, const interface_hardware &hardware, const run_sources &sources)
{
    address_record addresses(pif_name, sources);
    put(facts, "admin_state", table_text(link_status_text, addresses.info.if_status));
    put(facts, "mac", address_or_null(addresses.info.pcurrent_mac, "00:00:00:00:00:00"));
    char *ppermanent = nullptr;
    if (hardware.catalogued() && get_permanent_mac_addr_of(pif_name, hardware.driver, &ppermanent) == 0) {
        heap_text permanent(ppermanent);
        put(facts, "permanent_mac", permanent.get());
    } else {
        put(facts, "permanent_mac", nullptr);
    }
    put(facts, "ipv4", ipv4_facts(addresses.info));
    put(facts, "ipv6", ipv6_facts(pif_name, addresses.info));
    return addresses.index;
}

// Where the firmware says the port sits: its function's slot (SMBIOS or
// hotplug) and the interface's port within it, and the board's own index
// and label.  They stand beside the management tools' slot and port, never
// replace them.
void add_firmware_location(json &facts, const char *pbus_info, const char *pif_name)
{
    firmware_record record(pbus_info, pif_name);
    const firmware_location_t &location = record.location;
    bool slotted = record.rc == 0 && location.slot_source != firmware_slot_none && location.pslot_name != nullptr;
    put(facts, "firmware_slot",
        slotted ? json{{"name", location.pslot_name},
                       {"port", number_or_null(location.slot_port)},
                       {"source", table_text(firmware_slot_source_text, location.slot_source)}}
                : json(nullptr));
    bool onboard = record.rc == 0 && (location.onboard_index >= 0 || location.ponboard_label != nullptr);
    put(facts, "onboard",
        onboard ? json{{"index", number_or_null(location.onboard_index)}, {"label", text_or_null(location.ponboard_label)}}
                : json(nullptr));
}

// name, driver ... neighbors: the layout's members of an interface that
// its object holds.
constexpr size_t interface_members = 20;
// An interface stands two levels into the document, its members three.
constexpr unsigned int interface_indent = 4;
constexpr unsigned int interface_member_indent = interface_indent + json_text::indent_step;
// About what one interface's object takes in the text, with an IPv4, a
// global IPv6 and a link-local address (1,258 bytes on the benchmark's
// fake host): room made once, not copied when it runs out.
constexpr size_t bytes_per_interface = 1400;
// About what one interface's tarvex_port_info series takes.
constexpr size_t bytes_per_series = 300;

// Fills facts, an object the caller reuses from one interface to the next
// (its room for the members is then made once per run), with the members
// from name to neighbors, and puts the members after them (addresses,
// speed_mbps, duplex, pci_names) into *ptail_text as they stand in the
// document.  Without ptail_text (the metrics, which show none of them)
// they are not asked for at all.
void interface_facts(json &facts, std::string *ptail_text, char *pif_name, ethtool_info *pprobed,
                     bool management_package, const run_sources &sources)
{
    auto &members = facts.get_ref<json::object_t &>();
    members.clear();
    members.reserve(interface_members);
    put(facts, "name", pif_name);
    interface_hardware hardware(pif_name, management_package, sources.request_fd, pprobed, true);
    const ethtool_info &driver = hardware.driver;
    put(facts, "driver", text_or_null(driver.pdriver_name));
    put(facts, "driver_version", text_or_null(driver.pdriver_version));
    put(facts, "firmware_version", text_or_null(driver.pfirmware_version));
    put(facts, "bus_address", text_or_null(driver.pbus_info));
    put(facts, "link", table_text(link_status_text, driver.link_status));
    add_hardware(facts, hardware);
    int32_t index = add_host_state(facts, pif_name, hardware, sources);
    add_firmware_location(facts, driver.pbus_info, pif_name);
    put(facts, "neighbors", lldp::neighbors_of(sources.lldp_heard, pif_name));
    if (ptail_text == nullptr) {
        return;
    }
    const pci_identity &pci = hardware.pci;
    fleet::pci_key key{static_cast<uint32_t>(pci.vendor), static_cast<uint32_t>(pci.device),
                       static_cast<uint32_t>(pci.subsystem_vendor), static_cast<uint32_t>(pci.subsystem_device)};
    ptail_text->clear();
    fleet::append_interface_facts(*ptail_text, interface_member_indent, pif_name, index, sources.request_fd,
                                  facts.value("admin_state", json(nullptr)) == "up",
                                  hardware.pci_rc == 0 ? &key : nullptr, sources.fleet);
}

// Only a recognised distribution is described; an edition or version the
// release line does not name is null.  A release file that is there but
// cannot be read (no descriptor left, no permission) leaves the
// distribution unknown, not unrecognised: null, and a warning that says so.
json distribution_facts()
{
    linux_distro_name_t name = unknown_distro;
    linux_distro_type_t edition = unknown_distro_type;
    int32_t version = 0;
    release_file_failure failure;
    int32_t rc = detect_linux_distro_checked(&name, &edition, &version, &failure);
    if (failure.err == ENOMEM) {
        TARVEX_MALLOC_FAILED();
    }
    if (failure.pfile != nullptr) {
        TARVEX_MSG(stderr, "WARNING: could not read %s (errno=%d), distribution unknown, %s,%d\n", failure.pfile,
                   failure.err);
        return nullptr;
    }
    if (rc != 0) {
        return nullptr;
    }
    return {{"name", table_text(linux_distro_name, name)},
            {"edition", edition == unknown_distro_type ? json(nullptr) : table_text(linux_distro_type, edition)},
            {"version", version > 0 ? json(version) : json(nullptr)}};
}

// The document gets its own descriptor; descriptor 1 then leads to standard
// error, so whatever the library prints on standard output reaches standard
// error unchanged and never mixes into the document.  With standard error
// closed, such lines are dropped instead.  Returns -1 when standard output
// is not open.
// Descriptor 1 leads to standard error, or to /dev/null when that is
// closed; false when neither could be had.
bool divert_standard_output()
{
    if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        unique_fd null_device(open("/dev/null", O_WRONLY | O_CLOEXEC));
        if (!null_device.valid() || dup2(null_device.get(), STDOUT_FILENO) < 0) {
            return false;
        }
    }
    // Unbuffered, so those lines keep their place among standard error's.
    // It cannot fail before the stream's first use, and would only cost the
    // order of lines.
    static_cast<void>(std::setvbuf(stdout, nullptr, _IONBF, 0));
    return true;
}

int take_document_descriptor()
{
    int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (fd < 0) {
        return -1;
    }
    if (!divert_standard_output()) {
        close(fd);
        return -1;
    }
    return fd;
}

// A descriptor in non-blocking mode (a pipe its reader set so) refuses
// while a slow reader has not caught up: wait until it takes more.  False
// when waiting itself failed, errno then poll's.
bool await_writable(int fd)
{
    struct pollfd ready = {fd, POLLOUT, 0};
    int rc;
    do {
        rc = poll(&ready, 1, -1);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

// Writes the whole text; false when any of it failed (a full disk, a
// closed pipe), errno then write's.
bool write_all(int fd, const std::string &text)
{
    // A reader that went away is a write error here, not a silent death.
    // (SIG_ERR would only mean an invalid signal number.)  The tools have
    // all run by now, so none of them inherits this.
    static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
    size_t done = 0;
    while (done < text.size()) {
        ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && await_writable(fd)) {
            continue;
        }
        if (written < 0) {
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

// Writes the whole text and closes the descriptor; false when any of it
// failed, also an error reported at close.
bool write_document(unique_fd &out, const std::string &text)
{
    return write_all(out.get(), text) && (close(out.release()) == 0 || errno == EINTR);
}

// Pretty-printed as the whole document prints it; names may hold any bytes:
// invalid UTF-8 becomes U+FFFD.
std::string pretty_text(const json &value)
{
    return value.dump(2, ' ', false, json::error_handler_t::replace);
}

// One interface's text as it stands in the document's array, two levels
// in, printed straight into the document's text as the whole tree's
// printing prints it there: its object's members, then the members after
// them, already text, before the object's closing brace.
void append_array_member(std::string &text, const json &member, std::string_view tail_text)
{
    const std::string closing = "\n" + std::string(interface_indent, ' ') + "}";
    text.append(interface_indent, ' ');
    json_text::append_pretty(text, member, interface_indent);
    text.resize(text.size() - closing.size());
    text += tail_text;
    text += closing;
}

// The members after the interfaces: what runs where.
json trailing_facts()
{
    json facts = object_with_room(4);
    put(facts, "tarvex_version", TARVEX_VERSION);
    put(facts, "privileged", geteuid() == 0);
    put(facts, "os", fleet::os_facts());
    put(facts, "system", fleet::system_facts());
    return facts;
}

// The document's text, one interface at a time: each interface's object is
// printed as soon as it is made and emptied for the next, so a run holds the
// text and one interface's facts rather than the tree of thousands (whose
// building, paging in and release cost more than the queries).  The text
// is what printing the whole tree gives, byte for byte: the members before
// the array, the array, then the members after it (their object's text
// without its opening brace).
std::string document_text(bool management_package, const interface_selection &selection, int request_fd,
                          int lldp_timeout_seconds)
{
    std::span<char *const> names = selection.names();
    json doc = object_with_room(4);
    put(doc, "schema_version", schema_version);
    put(doc, "management_package", management_package);
    put(doc, "distribution", distribution_facts());
    put(doc, "interfaces", json::array());
    constexpr std::string_view empty_tail = "[]\n}";
    std::string text = pretty_text(doc);
    text.resize(text.size() - empty_tail.size());
    text.reserve(text.size() + names.size() * bytes_per_interface);
    text += names.empty() ? "[]" : "[\n";
    if (!names.empty()) {
        run_sources sources(request_fd, lldp_timeout_seconds);
        json facts = json::object();
        std::string tail_text;
        for (size_t i = 0; i < names.size(); i++) {
            interface_facts(facts, &tail_text, names[i], selection.probed(i), management_package, sources);
            append_array_member(text, facts, tail_text);
            text += i + 1 < names.size() ? ",\n" : "\n  ]";
        }
    }
    constexpr std::string_view opening = "{\n";
    text += ",\n";
    text += std::string_view(pretty_text(trailing_facts())).substr(opening.size());
    text += '\n';
    return text;
}

// The same interfaces as metrics: each interface's object, made as for the
// document, becomes its series and is emptied for the next.
std::string metrics_text(bool management_package, const interface_selection &selection, int request_fd,
                         int lldp_timeout_seconds)
{
    std::span<char *const> names = selection.names();
    prometheus_series series;
    if (names.empty()) {
        return prometheus_exposition(series, true);
    }
    series.ports.reserve(names.size() * bytes_per_series);
    run_sources sources(request_fd, lldp_timeout_seconds);
    json facts = json::object();
    for (size_t i = 0; i < names.size(); i++) {
        interface_facts(facts, nullptr, names[i], selection.probed(i), management_package, sources);
        add_interface_series(series, facts);
    }
    return prometheus_exposition(series, true);
}

enum class output_format { document, prometheus };

// What the command line asks for: the format, the file to write in place
// of standard output (empty: standard output) and the time limit of every
// external run.
struct run_options {
    output_format format = output_format::document;
    std::string output;
    int time_limit = default_tool_time_limit;
};

// --output FILE: the text goes to FILE.tmp.<pid>, reaches the disk, and
// only then takes FILE's name, so that a reader (node_exporter's textfile
// collector) sees the old file or the new one, never a part.  On any
// failure FILE stays as it was and the temporary file goes.
bool write_file_atomically(const std::string &path, const std::string &text)
{
    std::string temporary = path + ".tmp." + std::to_string(getpid());
    unique_fd out(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!out.valid()) {
        return false;
    }
    bool written = write_all(out.get(), text) && fsync(out.get()) == 0 && close(out.release()) == 0 &&
                   rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) {
        int err = errno;
        unlink(temporary.c_str());
        errno = err;
    }
    return written;
}

// Writes the text where the options say; the message names the place.
int put_text(const run_options &options, unique_fd &out, const std::string &text)
{
    if (options.output.empty() && !write_document(out, text)) {
        TARVEX_MSG(stderr, "ERROR: could not write the document to standard output (errno=%d), %s,%d\n", errno);
        return 1;
    }
    if (!options.output.empty() && !write_file_atomically(options.output, text)) {
        TARVEX_MSG(stderr, "ERROR: could not write %s (errno=%d), %s,%d\n", options.output.c_str(), errno);
        return 1;
    }
    return 0;
}

// A run that gives no document: with --output, the metrics file says so,
// for the alert that watches it.
int fail_run(const run_options &options, unique_fd &out)
{
    if (options.format == output_format::prometheus && !options.output.empty()) {
        put_text(options, out, prometheus_exposition({}, false));
    }
    return 1;
}

// A run needs a few descriptors at a time (sockets, a file, a tool's pipe);
// with fewer than this many free at the start, some request would fail for
// want of one, and the run gives no document rather than a document of
// nulls.  Holding them all once shows they are there.
constexpr int descriptors_needed = 16;

bool descriptors_available()
{
    std::array<int, descriptors_needed> held;
    held.fill(-1);
    bool available = true;
    for (int &fd : held) {
        fd = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            available = false;
            break;
        }
    }
    int err = errno;
    for (int fd : held) {
        if (fd >= 0) {
            close(fd);
        }
    }
    errno = err;
    return available;
}

int run(const run_options &options)
{
    set_tool_environment();
    set_tool_time_limit(options.time_limit);
    bool to_stdout = options.output.empty();
    unique_fd out(to_stdout ? take_document_descriptor() : -1);
    if (to_stdout && !out.valid()) {
        TARVEX_MSG(stderr, "ERROR: standard output is not open (errno=%d), %s,%d\n", errno);
        return 1;
    }
    // With --output, standard output carries nothing: what the library
    // prints there goes to standard error.
    if (!to_stdout) {
        divert_standard_output();
    }
    if (!descriptors_available()) {
        TARVEX_MSG(stderr, "ERROR: too few descriptors for a run (errno=%d), %s,%d\n", errno);
        return 1;
    }
    bool management_package = tolmar_installed() != 0;
    // One socket carries every interface request of the run.
    unique_fd request_socket(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    interface_selection selection(interface_choice::ethernet_ports, request_socket.get());
    if (selection.rc != 0) {
        TARVEX_MSG(stderr, "ERROR: get_interface_list failed RC = %d, %s,%d\n", selection.rc);
        return fail_run(options, out);
    }
    std::string text = options.format == output_format::prometheus
                           ? metrics_text(management_package, selection, request_socket.get(), options.time_limit)
                           : document_text(management_package, selection, request_socket.get(), options.time_limit);
    if (tarvex_run_failed()) {
        TARVEX_MSG(stderr, "ERROR: the run could not obtain what it needed (%s); no document, %s,%d\n",
                   "see the messages above");
        return fail_run(options, out);
    }
    return put_text(options, out, text);
}

// Answers for automation that checks what is deployed, without querying
// anything: no tool starts because someone asked for help.
constexpr const char *usage_text =
    "Usage: tarvex-facts [--format json|prometheus] [--output FILE] [--timeout SECONDS]\n"
    "       tarvex-facts --help | --version\n"
    "Prints what the tarvex library knows about this server's Ethernet\n"
    "interfaces as one JSON document on standard output, or as metrics\n"
    "for node_exporter's textfile collector; --output writes FILE whole.\n"
    "--timeout bounds each run of an external program (1 to 3600 s, default 5).\n"
    "See the manual page tarvex-facts(8).\n";

int print_and_exit_status(FILE *pstream, const char *ptext, int status)
{
    bool written = std::fputs(ptext, pstream) >= 0;
    written = std::fflush(pstream) == 0 && written;
    return written ? status : 1;
}

// The options that take a value, "--name VALUE" or "--name=VALUE"; each
// setter says whether it takes the value.
bool set_format(run_options &options, std::string_view value)
{
    options.format = value == "prometheus" ? output_format::prometheus : output_format::document;
    return value == "json" || value == "prometheus";
}

bool set_output(run_options &options, std::string_view value)
{
    options.output = value;
    return !value.empty();
}

constexpr int min_time_limit = 1;
constexpr int max_time_limit = 3600;

// Whole decimal seconds within the limits.
bool set_time_limit(run_options &options, std::string_view value)
{
    int seconds = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || seconds < min_time_limit ||
        seconds > max_time_limit) {
        return false;
    }
    options.time_limit = seconds;
    return true;
}

struct value_option {
    std::string_view name;
    bool (*set)(run_options &options, std::string_view value);
};

constexpr value_option value_options[] = {
    {"--format", set_format},
    {"--output", set_output},
    {"--timeout", set_time_limit},
};

// Sets the option that argv[*pindex] names from its value (the next
// argument unless given with "=").  Nothing when taken; else the argument
// not taken, for the usage error: the option itself when it is unknown or
// lacks its value, the value when the option refuses it.
std::optional<std::string_view> refused_argument(run_options &options, int argc, char **argv, int *pindex)
{
    std::string_view argument = argv[*pindex];
    std::string_view name = argument.substr(0, argument.find('='));
    for (const value_option &option : value_options) {
        if (option.name != name) {
            continue;
        }
        std::string_view value;
        if (name.size() < argument.size()) {
            value = argument.substr(name.size() + 1);
        } else if (*pindex + 1 < argc) {
            value = argv[++*pindex];
        } else {
            return argument;
        }
        return option.set(options, value) ? std::nullopt : std::optional<std::string_view>(value);
    }
    return argument;
}

// --help and --version stand alone; the options may come in any order, the
// last of each counting.  -1 when the run goes ahead with the options,
// else the exit status.
int answer_arguments(int argc, char **argv, run_options &options)
{
    std::string_view first = argc > 1 ? argv[1] : "";
    if (argc == 2 && first == "--version") {
        return print_and_exit_status(stdout, "tarvex-facts " TARVEX_VERSION "\n", 0);
    }
    if (argc == 2 && first == "--help") {
        return print_and_exit_status(stdout, usage_text, 0);
    }
    for (int i = 1; i < argc; i++) {
        std::optional<std::string_view> refused = refused_argument(options, argc, argv, &i);
        if (refused) {
            std::fprintf(stderr, "tarvex-facts: argument not taken: '%.*s'\n", static_cast<int>(refused->size()),
                         refused->data());
            print_and_exit_status(stderr, usage_text, 2);
            return 2;
        }
    }
    return -1;
}

// Every allocation that fails ends with the family's line, also where no
// exception may pass (the document's destruction).
void allocation_failed()
{
    TARVEX_MALLOC_FAILED();
}

} // namespace

int main(int argc, char **argv)
{
    run_options options;
    int status = answer_arguments(argc, argv, options);
    if (status >= 0) {
        return status;
    }
    std::set_new_handler(allocation_failed);
    try {
        return run(options);
    } catch (const std::bad_alloc &) {
        TARVEX_MALLOC_FAILED();
    } catch (const std::exception &error) {
        TARVEX_MSG(stderr, "ERROR: %s, %s,%d\n", error.what());
    }
    return 1;
}
