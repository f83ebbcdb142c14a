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
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/socket.h>
#include <poll.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "common_utilities.h"
#include "diag.h"
#include "host_queries.h"
#include "interface_walk.h"
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

// What the address queries of every interface share, made once per run:
// asking for each interface anew (a socket, a reading of the kernel's IPv6
// address list) made the run grow with the square of their number, and
// the IPv4 ioctls, under the kernel's global routing lock, made it slow.
// The raw socket stays the privilege the addresses need: without it the
// address dump (which needs none) is not made and the addresses stay null.
struct address_sources {
    unique_fd raw_socket{open_interface_query_socket()};
    if_inet6_table ipv6;
    ipv4_table ipv4{raw_socket.valid()};
};

// Owner of the library's address record, released with the library's own
// call.
struct address_record {
    dynamic_interface_info_t info{};
    address_record(const address_record &) = delete;
    address_record &operator=(const address_record &) = delete;
    address_record(char *pif_name, const address_sources &sources)
    {
        get_dynamic_interface_info_on(sources.raw_socket.get(), pif_name, &info, sources.ipv6.first_line(pif_name),
                                      sources.ipv6.readable, sources.ipv4.lookup());
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

// Addresses, administrative state and the factory MAC address: each needs a
// privilege (raw socket, CAP_NET_ADMIN) without which it stays null.  The
// EEPROM is read only for catalogued adapters, the only ones the library
// reads it for: asking for others would repeat the driver and PCI queries
// and their diagnostics for a certain null.
void add_host_state(json &facts, char *pif_name, const interface_hardware &hardware, const address_sources &sources)
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

// name, driver ... onboard, neighbors: the layout's members of an interface.
constexpr size_t interface_members = 20;
// About what one interface's object takes in the text, with its addresses.
constexpr size_t bytes_per_interface = 800;
// About what one interface's tarvex_port_info series takes.
constexpr size_t bytes_per_series = 300;

json interface_facts(char *pif_name, ethtool_info *pprobed, bool management_package, int ethtool_fd,
                     const address_sources &sources, const lldp::answer &lldp_heard)
{
    json facts = object_with_room(interface_members);
    put(facts, "name", pif_name);
    interface_hardware hardware(pif_name, management_package, ethtool_fd, pprobed, true);
    const ethtool_info &driver = hardware.driver;
    put(facts, "driver", text_or_null(driver.pdriver_name));
    put(facts, "driver_version", text_or_null(driver.pdriver_version));
    put(facts, "firmware_version", text_or_null(driver.pfirmware_version));
    put(facts, "bus_address", text_or_null(driver.pbus_info));
    put(facts, "link", table_text(link_status_text, driver.link_status));
    add_hardware(facts, hardware);
    add_host_state(facts, pif_name, hardware, sources);
    add_firmware_location(facts, driver.pbus_info, pif_name);
    put(facts, "neighbors", lldp::neighbors_of(lldp_heard, pif_name));
    return facts;
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

// One interface's text as it stands in the document's array: two levels
// in.  The serialiser writes no raw line break inside a value (a string's
// is escaped), so indenting every line is exact.
void append_array_member(std::string &text, const std::string &member)
{
    constexpr std::string_view indent = "    ";
    std::string_view rest = member;
    for (size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
        text += indent;
        text += rest.substr(0, end + 1);
        rest.remove_prefix(end + 1);
    }
    text += indent;
    text += rest;
}

// The document's text, one interface at a time: each interface's object is
// printed as soon as it is made and released with it, so a run holds the
// text and one interface's facts rather than the tree of thousands (whose
// building, paging in and release cost more than the queries).  The text
// is what printing the whole tree gives, byte for byte.
std::string document_text(bool management_package, const interface_selection &selection, int ethtool_fd,
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
    if (names.empty() || !text.ends_with(empty_tail)) {
        return text + '\n';
    }
    text.resize(text.size() - empty_tail.size());
    text.reserve(text.size() + names.size() * bytes_per_interface);
    text += "[\n";
    address_sources sources;
    // One question to the LLDP agent for all interfaces.
    lldp::answer lldp_heard = lldp::query(lldp_timeout_seconds);
    for (size_t i = 0; i < names.size(); i++) {
        append_array_member(text, pretty_text(interface_facts(names[i], selection.probed(i), management_package,
                                                              ethtool_fd, sources, lldp_heard)));
        text += i + 1 < names.size() ? ",\n" : "\n  ]\n}\n";
    }
    return text;
}

// The same interfaces as metrics: each interface's object, made as for the
// document, becomes its series and is released at once.
std::string metrics_text(bool management_package, const interface_selection &selection, int ethtool_fd,
                         int lldp_timeout_seconds)
{
    std::span<char *const> names = selection.names();
    prometheus_series series;
    series.ports.reserve(names.size() * bytes_per_series);
    address_sources sources;
    // One question to the LLDP agent for all interfaces, none without them.
    lldp::answer lldp_heard = names.empty() ? lldp::answer{} : lldp::query(lldp_timeout_seconds);
    for (size_t i = 0; i < names.size(); i++) {
        add_interface_series(series, interface_facts(names[i], selection.probed(i), management_package, ethtool_fd,
                                                     sources, lldp_heard));
    }
    return prometheus_exposition(series, true);
}

enum class output_format { document, prometheus };

// What the command line asks for: the format, and the file to write in
// place of standard output (empty: standard output).
struct run_options {
    output_format format = output_format::document;
    std::string output;
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

int run(const run_options &options)
{
    set_tool_environment();
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
    bool management_package = tolmar_installed() != 0;
    // One socket carries every ethtool request of the run.
    unique_fd ethtool_socket(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    interface_selection selection(interface_choice::ethernet_ports, ethtool_socket.get());
    bool metrics = options.format == output_format::prometheus;
    if (selection.rc != 0) {
        TARVEX_MSG(stderr, "ERROR: get_interface_list failed RC = %d, %s,%d\n", selection.rc);
        // The file says so, for the alert that watches it.
        if (metrics && !to_stdout) {
            put_text(options, out, prometheus_exposition({}, false));
        }
        return 1;
    }
    return put_text(options, out,
                    metrics ? metrics_text(management_package, selection, ethtool_socket.get(),
                                           lldp::default_timeout_seconds)
                            : document_text(management_package, selection, ethtool_socket.get(),
                                            lldp::default_timeout_seconds));
}

// Answers for automation that checks what is deployed, without querying
// anything: no tool starts because someone asked for help.
constexpr const char *usage_text = "Usage: tarvex-facts [--format json|prometheus] [--output FILE]\n"
                                   "       tarvex-facts --help | --version\n"
                                   "Prints what the tarvex library knows about this server's Ethernet\n"
                                   "interfaces as one JSON document on standard output, or as metrics\n"
                                   "for node_exporter's textfile collector; --output writes FILE whole.\n"
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

struct value_option {
    std::string_view name;
    bool (*set)(run_options &options, std::string_view value);
};

constexpr value_option value_options[] = {
    {"--format", set_format},
    {"--output", set_output},
};

// Sets the option that argv[*pindex] names from its value (the next
// argument unless given with "="); false for anything else.
bool take_option(run_options &options, int argc, char **argv, int *pindex)
{
    std::string_view argument = argv[*pindex];
    std::string_view name = argument.substr(0, argument.find('='));
    for (const value_option &option : value_options) {
        if (option.name != name) {
            continue;
        }
        if (name.size() < argument.size()) {
            return option.set(options, argument.substr(name.size() + 1));
        }
        return ++*pindex < argc && option.set(options, argv[*pindex]);
    }
    return false;
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
        if (!take_option(options, argc, argv, &i)) {
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
