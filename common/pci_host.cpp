// SPDX-License-Identifier: MIT
// The host's PCI functions for a run, and the one reader of a PCI address
// text.  The view is learnt in two steps, each once per process
// (pthread_once, the C library's call_once, so threaded callers of the
// library are safe and the library needs no C++ runtime): the
// functions with their classes, which is all the report's port map needs,
// then the details the firmware location and tarvex-facts need.
#include "pci_host.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "char_class.h"
#include "diag.h"
#include "number_scan.h"
#include "platform.h"

static constexpr const char *pci_devices_dir = "/sys/bus/pci/devices";
static constexpr const char *pci_slots_dir = "/sys/bus/pci/slots";
static constexpr const char *vendor_attributes[] = {"vendor", "device", "subsystem_vendor", "subsystem_device"};
// PCI-to-PCI bridges nest at most as deep as there are bus numbers.
static constexpr int max_chain_nodes = 256;
static constexpr size_t attribute_bytes = 128;

// The reader

// Exactly count hexadecimal digits, lower case only when asked, from the front.
static bool take_digits(std::string_view *ptext, size_t count, bool lower_only, uint32_t *pvalue)
{
    if (ptext->size() < count) {
        return false;
    }
    for (size_t i = 0; i < count; i++) {
        char c = (*ptext)[i];
        if (!is_hex_digit(c) || (lower_only && c >= 'A' && c <= 'F')) {
            return false;
        }
    }
    digit_run run = scan_digits(ptext->substr(0, count), 16);
    ptext->remove_prefix(count);
    *pvalue = run.value;
    return run.fits;
}

// The kernel's "%04x:%02x:%02x.%d": a domain of 4 digits, or more without a
// leading zero; the function 0 to 7; nothing after it.
static bool read_kernel_form(std::string_view text, bool lower_only, pci_address *paddress)
{
    size_t domain_digits = text.find(':');
    if (domain_digits < 4 || domain_digits > 8 || (domain_digits > 4 && text[0] == '0')) {
        return false;
    }
    pci_address at{};
    if (!take_digits(&text, domain_digits, lower_only, &at.segment) || !scan_literal(&text, ':') ||
        !take_digits(&text, 2, lower_only, &at.bus) || !scan_literal(&text, ':') ||
        !take_digits(&text, 2, lower_only, &at.device) || !scan_literal(&text, '.') || text.size() != 1 ||
        text[0] < '0' || text[0] > '7') {
        return false;
    }
    at.function = static_cast<uint32_t>(text[0] - '0');
    *paddress = at;
    return true;
}

// "bus:device.function" as "%x:%x.%x" reads it, from the front of the text.
static bool scan_bus_device_function(std::string_view *ptext, pci_address *pat)
{
    return scan_x_u32(ptext, &pat->bus) && scan_literal(ptext, ':') && scan_x_u32(ptext, &pat->device) &&
           scan_literal(ptext, '.') && scan_x_u32(ptext, &pat->function);
}

static bool read_lenient(std::string_view text, long colons, pci_address *paddress)
{
    pci_address at{};
    if (colons == 2 && (!scan_x_u32(&text, &at.segment) || !scan_literal(&text, ':'))) {
        return false;
    }
    if (!scan_bus_device_function(&text, &at)) {
        return false;
    }
    *paddress = at;
    return true;
}

// "dddd:bb:dd" and white space; a slot whose address names no device
// ("dddd:bb") does not read.
static bool read_slot_device(std::string_view text, pci_address *paddress)
{
    pci_address at{};
    if (!scan_x_u32(&text, &at.segment) || !scan_literal(&text, ':') || !scan_x_u32(&text, &at.bus) ||
        !scan_literal(&text, ':') || !scan_x_u32(&text, &at.device) ||
        !std::all_of(text.begin(), text.end(), is_c_space)) {
        return false;
    }
    *paddress = at;
    return true;
}

// Only the function: what follows the last '.', read as decimal digits.
static void read_function_after_last_dot(std::string_view text, pci_address *paddress)
{
    size_t dot = text.rfind('.');
    *paddress = pci_address{};
    if (dot != std::string_view::npos) {
        text.remove_prefix(dot + 1);
        paddress->function = strtoul_digits_saturated(text);
    }
}

pci_address_form read_pci_address(std::string_view text, pci_address_mode mode, pci_address *paddress)
{
    text = text.substr(0, text.find('\0'));
    if (mode == pci_address_mode::function_after_last_dot) {
        read_function_after_last_dot(text, paddress);
        return pci_address_form::parsed;
    }
    long colons = std::count(text.begin(), text.end(), ':');
    if (colons == 0) {
        return pci_address_form::no_colon;
    }
    if (colons > 2) {
        return pci_address_form::too_many_colons;
    }
    bool parsed = false;
    switch (mode) {
    case pci_address_mode::entry_name: parsed = read_kernel_form(text, true, paddress); break;
    case pci_address_mode::driver_record: parsed = read_kernel_form(text, false, paddress); break;
    case pci_address_mode::lenient: parsed = read_lenient(text, colons, paddress); break;
    case pci_address_mode::slot_device: parsed = read_slot_device(text, paddress); break;
    case pci_address_mode::function_after_last_dot: break;
    }
    return parsed ? pci_address_form::parsed : pci_address_form::unparsable;
}

bool pci_address_before(const pci_address &a, const pci_address &b)
{
    if (a.segment != b.segment) {
        return a.segment < b.segment;
    }
    if (a.bus != b.bus) {
        return a.bus < b.bus;
    }
    return a.device != b.device ? a.device < b.device : a.function < b.function;
}

pci_address slot_device_of(const pci_function &function)
{
    pci_address at = function.at;
    if (function.ari_enabled) {
        at.device = 0;
    }
    return at;
}

// Growing arrays: doubling, so thousands of entries cost a few allocations.

template <typename T> static T *append(T **ppentries, int32_t *pcount)
{
    int32_t count = *pcount;
    if (count == 0 || (count >= 16 && (count & (count - 1)) == 0)) {
        size_t room = count == 0 ? 16 : static_cast<size_t>(count) * 2;
        *ppentries = static_cast<T *>(TARVEX_REALLOC(*ppentries, room * sizeof(T)));
    }
    (*pcount)++;
    T *pentry = &(*ppentries)[count];
    std::memset(static_cast<void *>(pentry), 0, sizeof(T));
    return pentry;
}

// Paths and attributes

static bool fits_buffer(int length, size_t size)
{
    return length >= 0 && static_cast<size_t>(length) < size;
}

static bool entry_path(const pci_address &at, const char *psuffix, char (&path)[PATH_MAX])
{
    return fits_buffer(std::snprintf(path, sizeof(path), "%s/%04x:%02x:%02x.%x%s", pci_devices_dir, at.segment,
                                     at.bus, at.device, at.function, psuffix),
                       sizeof(path));
}

// A short attribute's text, without its newline; false when unreadable.
static bool read_short_attribute(const char *ppath, char (&text)[attribute_bytes])
{
    unique_fd file(open(ppath, O_RDONLY | O_CLOEXEC));
    ssize_t got = file.valid() ? read(file.get(), text, sizeof(text) - 1) : -1;
    if (got < 0) {
        return false;
    }
    text[got] = '\0';
    text[std::strcspn(text, "\n")] = '\0';
    return true;
}

static int byte_order(const struct dirent **ppa, const struct dirent **ppb)
{
    return std::strcmp((*ppa)->d_name, (*ppb)->d_name);
}

// Hands each entry name of the directory (dot names aside), in byte order,
// to take; false when it cannot be listed.
template <typename take_fn> static bool for_each_entry(const char *pdir, take_fn take)
{
    struct dirent **ppentries = nullptr;
    int count = scandir(pdir, &ppentries, nullptr, byte_order);
    for (int i = 0; i < count; i++) {
        if (ppentries[i]->d_name[0] != '.') {
            take(ppentries[i]->d_name);
        }
    }
    free_dir_listing(ppentries, count);
    return count >= 0;
}

// Step one: the functions and their classes

static pci_host host_view{};

static void add_function(const char *pname)
{
    char path[PATH_MAX];
    uint32_t class_code = 0;
    bool readable = fits_buffer(std::snprintf(path, sizeof(path), "%s/%s/class", pci_devices_dir, pname),
                                sizeof(path)) &&
                    read_hex_attribute(path, &class_code);
    if (!readable) {
        *append(&host_view.ppunreadable_class, &host_view.unreadable_class_count) = TARVEX_STRDUP(pname);
    }
    pci_address at{};
    if (read_pci_address(pname, pci_address_mode::entry_name, &at) == pci_address_form::parsed) {
        pci_function *pfunction = append(&host_view.pfunctions, &host_view.function_count);
        pfunction->at = at;
        pfunction->class_readable = readable;
        pfunction->class_code = class_code;
    }
}

static void load_functions()
{
    host_view.listed = for_each_entry(pci_devices_dir, add_function);
    std::sort(host_view.pfunctions, host_view.pfunctions + host_view.function_count,
              [](const pci_function &a, const pci_function &b) { return pci_address_before(a.at, b.at); });
}

const pci_host &pci_host_functions()
{
    static pthread_once_t loaded = PTHREAD_ONCE_INIT;
    (void)pthread_once(&loaded, load_functions);
    return host_view;
}

// Step two: the details

static bool is_ethernet(const pci_function &function)
{
    return function.class_readable && function.class_code == pci_ethernet_class;
}

static void read_ids(pci_function *pfunction)
{
    char path[PATH_MAX];
    for (size_t i = 0; i < std::size(vendor_attributes); i++) {
        char suffix[32];
        (void)std::snprintf(suffix, sizeof(suffix), "/%s", vendor_attributes[i]);
        if (!entry_path(pfunction->at, suffix, path) || !read_hex_attribute(path, &pfunction->ids[i])) {
            return;
        }
    }
    pfunction->ids_readable = true;
}

static void read_physfn(pci_function *pfunction)
{
    char path[PATH_MAX];
    char target[PATH_MAX];
    ssize_t length = entry_path(pfunction->at, "/physfn", path) ? readlink(path, target, sizeof(target) - 1) : -1;
    pfunction->virtual_function = length > 0;
    if (length > 0) {
        target[length] = '\0';
        const char *pslash = std::strrchr(target, '/');
        pfunction->physfn_known = read_pci_address(pslash != nullptr ? pslash + 1 : target,
                                                   pci_address_mode::entry_name,
                                                   &pfunction->physfn) == pci_address_form::parsed;
    }
}

static void read_ari(pci_function *pfunction)
{
    char path[PATH_MAX];
    char text[attribute_bytes];
    pfunction->ari_enabled = entry_path(pfunction->at, "/ari_enabled", path) && read_short_attribute(path, text) &&
                             std::strcmp(text, "1") == 0;
}

// An attribute of the function's interface, without its newline.
static bool read_interface_attribute(const pci_address &at, const char *pname, const char *pattribute,
                                     char (&text)[attribute_bytes])
{
    char suffix[IFNAMSIZ + 32];
    char path[PATH_MAX];
    return fits_buffer(std::snprintf(suffix, sizeof(suffix), "/net/%s/%s", pname, pattribute), sizeof(suffix)) &&
           entry_path(at, suffix, path) && read_short_attribute(path, text);
}

// dev_port is decimal; a missing or unreadable one counts as 0.  A driver
// without a phys_port_id refuses the read.
static void add_interface(const pci_function &function, const char *pname)
{
    char text[attribute_bytes];
    if (!fits_ifname(pname)) {
        return;
    }
    pci_interface *pinterface = append(&host_view.pinterfaces, &host_view.interface_count);
    std::memcpy(pinterface->name, pname, std::strlen(pname) + 1);
    digit_run run{};
    if (read_interface_attribute(function.at, pname, "dev_port", text) &&
        (run = scan_digits(text, 10)).length > 0 && run.length == std::strlen(text) && run.fits) {
        pinterface->dev_port = run.value;
    }
    if (read_interface_attribute(function.at, pname, "phys_port_id", text) &&
        std::strlen(text) < sizeof(pinterface->phys_port_id)) {
        std::memcpy(pinterface->phys_port_id, text, std::strlen(text) + 1);
    }
}

// Ordered by dev_port, then name: the first is the function's first port.
static void read_interfaces(int32_t f)
{
    char path[PATH_MAX];
    int32_t first = host_view.interface_count;
    if (entry_path(host_view.pfunctions[f].at, "/net", path)) {
        for_each_entry(path, [f](const char *pname) { add_interface(host_view.pfunctions[f], pname); });
    }
    pci_function &function = host_view.pfunctions[f];
    function.first_interface = first;
    function.interface_count = host_view.interface_count - first;
    std::sort(host_view.pinterfaces + first, host_view.pinterfaces + host_view.interface_count,
              [](const pci_interface &a, const pci_interface &b) {
                  return a.dev_port != b.dev_port ? a.dev_port < b.dev_port : std::strcmp(a.name, b.name) < 0;
              });
}

// The bridges above a function: the parent directories of its resolved
// entry that are PCI functions, nearest first.
static void read_chain(pci_function *pfunction)
{
    char path[PATH_MAX];
    char *presolved = entry_path(pfunction->at, "", path) ? realpath(path, nullptr) : nullptr;
    pfunction->first_bridge = host_view.bridge_count;
    if (presolved == nullptr) {
        return;
    }
    int count = 0;
    for (char *pslash = std::strrchr(presolved, '/'); pslash != nullptr && count < max_chain_nodes;
         pslash = std::strrchr(presolved, '/'), count++) {
        *pslash = '\0';
        const char *pparent = std::strrchr(presolved, '/');
        pci_address at{};
        if (pparent == nullptr ||
            read_pci_address(pparent + 1, pci_address_mode::entry_name, &at) != pci_address_form::parsed) {
            break;
        }
        *append(&host_view.pbridges, &host_view.bridge_count) = at;
    }
    std::free(presolved);
    pfunction->bridge_count = host_view.bridge_count - pfunction->first_bridge;
}

char *trimmed_copy(std::string_view text)
{
    while (!text.empty() && is_c_space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_c_space(text.back())) {
        text.remove_suffix(1);
    }
    return text.empty() ? nullptr : TARVEX_STRNDUP(text.data(), text.size());
}

static void add_hotplug_slot(const char *pname)
{
    char path[PATH_MAX];
    char text[attribute_bytes];
    pci_address named{};
    if (fits_buffer(std::snprintf(path, sizeof(path), "%s/%s/address", pci_slots_dir, pname), sizeof(path)) &&
        read_short_attribute(path, text) &&
        read_pci_address(text, pci_address_mode::slot_device, &named) == pci_address_form::parsed) {
        *append(&host_view.pslots, &host_view.slot_count) = {named, trimmed_copy(pname)};
    }
}

static void load_details()
{
    pci_host_functions();
    for (int32_t f = 0; f < host_view.function_count; f++) {
        pci_function *pfunction = &host_view.pfunctions[f];
        read_ids(pfunction);
        read_physfn(pfunction);
        read_ari(pfunction);
        if (is_ethernet(*pfunction)) {
            read_interfaces(f);
            pfunction = &host_view.pfunctions[f];
            if (!pfunction->virtual_function) {
                read_chain(pfunction);
            }
        }
    }
    for_each_entry(pci_slots_dir, add_hotplug_slot);
}

const pci_host &pci_host_view()
{
    static pthread_once_t loaded = PTHREAD_ONCE_INIT;
    (void)pthread_once(&loaded, load_details);
    return host_view;
}

// Lookups

const pci_function *find_pci_function(const pci_host &host, const pci_address &at)
{
    const pci_function *pbegin = host.pfunctions;
    const pci_function *pend = pbegin + host.function_count;
    const pci_function *pfound =
        std::lower_bound(pbegin, pend, at,
                         [](const pci_function &entry, const pci_address &key) { return pci_address_before(entry.at, key); });
    return pfound != pend && same_pci_function(pfound->at, at) ? pfound : nullptr;
}

const pci_function *find_interface_function(const pci_host &host, const char *pif_name)
{
    for (int32_t f = 0; f < host.function_count; f++) {
        const pci_function &function = host.pfunctions[f];
        for (int32_t i = 0; i < function.interface_count; i++) {
            if (std::strcmp(host.pinterfaces[function.first_interface + i].name, pif_name) == 0) {
                return &function;
            }
        }
    }
    return nullptr;
}
