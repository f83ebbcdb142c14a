// SPDX-License-Identifier: MIT
// Where the firmware says a PCI function sits: the SMBIOS slot table, the
// kernel's hotplug slots, and the board's own index and label of an onboard
// port.  What is the same for every function of the host (the slot table,
// the hotplug slots, the PCI functions with the slot and port of each
// Ethernet function) is learnt once, on the first query, and kept until the
// process exits, so a program asking for every interface reads it once.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common_utilities.h"
#include "diag.h"
#include "number_scan.h"
#include "platform.h"
#include "port_map_parse.h"
#include "smbios_parse.h"

static constexpr const char *smbios_table_path = "/sys/firmware/dmi/tables/DMI";
static constexpr const char *pci_slots_dir = "/sys/bus/pci/slots";
static constexpr const char *pci_devices_dir = "/sys/bus/pci/devices";

// The kernel serves the table whole; SMBIOS 3 allows tables beyond 64 KiB.
static constexpr size_t smbios_table_max_bytes = 4U << 20;
static constexpr size_t sysfs_page_bytes = 4096;
// PCI-to-PCI bridges nest at most as deep as there are bus numbers.
static constexpr int max_chain_nodes = 256;
// PCI class 0x020000: network controller, Ethernet, programming interface 0.
static constexpr uint32_t ethernet_class = 0x020000;
// An index above this is a firmware's filler (one hypervisor gives 16777216).
static constexpr uint32_t onboard_index_max = 16383;

// Module state: the host's firmware view

struct pci_location {
    uint32_t segment;
    uint32_t bus;
    uint32_t device;
    uint32_t function;
};

// A slot and what its record names: a function (SMBIOS) or a device
// (hotplug, function 0).
struct slot_entry {
    pci_location named;
    char *pname;
};

// A PCI function; an Ethernet function also carries its slot (an index into
// the SMBIOS or the hotplug list) and its port in that slot.
struct pci_function_entry {
    pci_location at;
    uint32_t class_code;
    bool virtual_function;
    firmware_slot_source_t slot_source;
    int32_t slot_index;
    int32_t slot_port;
};

template <typename T> struct entry_list {
    T *pentries;
    int32_t count;
    int32_t capacity;
};

static entry_list<slot_entry> smbios_slots = {nullptr, 0, 0};
static entry_list<slot_entry> hotplug_slots = {nullptr, 0, 0};
// In PCI address order.
static entry_list<pci_function_entry> pci_functions = {nullptr, 0, 0};

// Room for one more entry; the list doubles, so a host of thousands of
// functions costs a few allocations.
template <typename T> static T *append_entry(entry_list<T> *plist)
{
    if (plist->count == plist->capacity) {
        plist->capacity = plist->capacity == 0 ? 16 : plist->capacity * 2;
        plist->pentries = static_cast<T *>(TARVEX_REALLOC(plist->pentries, plist->capacity * sizeof(T)));
    }
    return &plist->pentries[plist->count++];
}

// Text helpers

// snprintf wrote all of its text into a buffer of that size.
static bool fits_buffer(int length, size_t size)
{
    return length >= 0 && static_cast<size_t>(length) < size;
}

// A heap copy of the text without its surrounding white space; NULL when
// nothing is left.
static char *trimmed_copy(std::string_view text)
{
    size_t start = 0;
    size_t end = text.size();
    while (start < end && is_c_space(text[start])) {
        start++;
    }
    while (end > start && is_c_space(text[end - 1])) {
        end--;
    }
    return start == end ? nullptr : TARVEX_STRNDUP(text.data() + start, end - start);
}

// A sysfs attribute's text (at most a page) into buffer; false when the file
// cannot be opened or read.
static bool read_attribute_text(const char *ppath, char (&buffer)[sysfs_page_bytes + 1], std::string_view *ptext)
{
    unique_file file(std::fopen(ppath, "r"));
    if (!file) {
        return false;
    }
    size_t got = std::fread(buffer, 1, sysfs_page_bytes, file.get());
    if (std::ferror(file.get()) != 0) {
        return false;
    }
    buffer[got] = '\0';
    *ptext = std::string_view(buffer, got);
    return true;
}

// PCI addresses

// A sysfs PCI entry name, "dddd:bb:dd.f", with its segment.
static bool parse_location(std::string_view name, pci_location *plocation)
{
    pci_function_address address{};
    std::string_view front = name;
    uint32_t segment = 0;
    if (!parse_pci_entry_name(name, &address) || !scan_x_u32(&front, &segment)) {
        return false;
    }
    *plocation = {segment, address.bus, address.device, address.function};
    return true;
}

// The entry name the kernel gives the location.
static bool format_location(const pci_location &at, char (&name)[32])
{
    return fits_buffer(std::snprintf(name, sizeof(name), "%04x:%02x:%02x.%x", at.segment, at.bus, at.device,
                                     at.function),
                       sizeof(name));
}

static bool same_device(const pci_location &a, const pci_location &b)
{
    return a.segment == b.segment && a.bus == b.bus && a.device == b.device;
}

static bool same_function(const pci_location &a, const pci_location &b)
{
    return same_device(a, b) && a.function == b.function;
}

static bool location_before(const pci_location &a, const pci_location &b)
{
    if (a.segment != b.segment) {
        return a.segment < b.segment;
    }
    if (a.bus != b.bus) {
        return a.bus < b.bus;
    }
    return a.device != b.device ? a.device < b.device : a.function < b.function;
}

// The function's entry under the devices directory, or one of its
// attributes ("": the entry itself).
static bool entry_path(const pci_location &at, const char *pattribute, char (&path)[PATH_MAX])
{
    char name[32];
    const char *pseparator = pattribute[0] != '\0' ? "/" : "";
    return format_location(at, name) &&
           fits_buffer(std::snprintf(path, sizeof(path), "%s/%s%s%s", pci_devices_dir, name, pseparator, pattribute),
                       sizeof(path));
}

// The SMBIOS slot table

// The whole table, or what could be read of it before its size limit; NULL
// (and nothing said) when it cannot be opened or read.
static char *read_smbios_table(size_t *psize)
{
    unique_file file(std::fopen(smbios_table_path, "rb"));
    if (!file) {
        return nullptr;
    }
    auto *ptable = static_cast<char *>(TARVEX_MALLOC(smbios_table_max_bytes));
    *psize = std::fread(ptable, 1, smbios_table_max_bytes, file.get());
    if (std::ferror(file.get()) != 0) {
        std::free(ptable);
        return nullptr;
    }
    return ptable;
}

static void load_smbios_slots()
{
    size_t size = 0;
    char *ptable = read_smbios_table(&size);
    if (ptable == nullptr) {
        return;
    }
    smbios_cursor cursor{std::string_view(ptable, size), false};
    smbios_slot slot{};
    while (next_smbios_slot(&cursor, &slot)) {
        *append_entry(&smbios_slots) = {{slot.segment, slot.bus, slot.devfn >> 3, slot.devfn & 7},
                                        trimmed_copy(slot.designation)};
    }
    std::free(ptable);
    if (cursor.malformed) {
        TARVEX_MSG(stderr, "INFO: malformed SMBIOS table %s: errno=%d, %s, %s,%d\n", smbios_table_path, EBADMSG,
                   std::strerror(EBADMSG));
    }
}

// Hotplug slots

// A slot's address file: "dddd:bb:dd" and a newline.  A slot whose address
// names no device ("dddd:bb") cannot match.
static bool parse_slot_address(std::string_view text, pci_location *pnamed)
{
    if (!scan_x_u32(&text, &pnamed->segment) || !scan_literal(&text, ':') || !scan_x_u32(&text, &pnamed->bus) ||
        !scan_literal(&text, ':') || !scan_x_u32(&text, &pnamed->device)) {
        return false;
    }
    return std::all_of(text.begin(), text.end(), is_c_space);
}

// Byte order of names, whatever the calling program's locale.
static int byte_order(const struct dirent **ppa, const struct dirent **ppb)
{
    return std::strcmp((*ppa)->d_name, (*ppb)->d_name);
}

static void add_hotplug_slot(const char *pname)
{
    char path[PATH_MAX];
    char buffer[sysfs_page_bytes + 1];
    std::string_view text;
    pci_location named{};
    if (pname[0] != '.' &&
        fits_buffer(std::snprintf(path, sizeof(path), "%s/%s/address", pci_slots_dir, pname), sizeof(path)) &&
        read_attribute_text(path, buffer, &text) && parse_slot_address(text, &named)) {
        *append_entry(&hotplug_slots) = {named, trimmed_copy(pname)};
    }
}

// Hands each entry name of pdir, in byte order, to padd; a directory that
// cannot be listed has none.
static void for_each_entry(const char *pdir, void (*padd)(const char *pname))
{
    struct dirent **ppentries = nullptr;
    int count = scandir(pdir, &ppentries, nullptr, byte_order);
    for (int i = 0; i < count; i++) {
        padd(ppentries[i]->d_name);
    }
    free_dir_listing(ppentries, count);
}

static void load_hotplug_slots()
{
    for_each_entry(pci_slots_dir, add_hotplug_slot);
}

// The PCI functions

// true when the function's entry has the attribute (a file or a link).
static bool has_attribute(const pci_location &at, const char *pattribute)
{
    char path[PATH_MAX];
    struct stat info;
    return entry_path(at, pattribute, path) && lstat(path, &info) == 0;
}

static void add_pci_function(const char *pname)
{
    char path[PATH_MAX];
    pci_function_entry entry{};
    entry.slot_source = firmware_slot_none;
    entry.slot_index = -1;
    entry.slot_port = -1;
    if (!parse_location(pname, &entry.at) || !entry_path(entry.at, "class", path) ||
        !read_hex_attribute(path, &entry.class_code)) {
        return;
    }
    entry.virtual_function = has_attribute(entry.at, "physfn");
    *append_entry(&pci_functions) = entry;
}

static void load_pci_functions()
{
    for_each_entry(pci_devices_dir, add_pci_function);
    std::sort(pci_functions.pentries, pci_functions.pentries + pci_functions.count,
              [](const pci_function_entry &a, const pci_function_entry &b) { return location_before(a.at, b.at); });
}

// The first function at or after the location, in the list's order.
static pci_function_entry *first_from(const pci_location &at)
{
    return std::lower_bound(
        pci_functions.pentries, pci_functions.pentries + pci_functions.count, at,
        [](const pci_function_entry &entry, const pci_location &key) { return location_before(entry.at, key); });
}

static pci_function_entry *find_function(const pci_location &at)
{
    pci_function_entry *pfound = first_from(at);
    return pfound != pci_functions.pentries + pci_functions.count && same_function(pfound->at, at) ? pfound : nullptr;
}

// A bridge's hotplug slot counts only when no other function of its device
// is present: a slot names a device, and of a multi-function bridge device
// it cannot tell which port leads to it.
static bool only_function_of_device(const pci_location &at)
{
    pci_function_entry *pfirst = first_from({at.segment, at.bus, at.device, 0});
    pci_function_entry *pend = pci_functions.pentries + pci_functions.count;
    int32_t count = 0;
    for (pci_function_entry *p = pfirst; p != pend && same_device(p->at, at); p++) {
        count++;
    }
    return count == 1;
}

// Slots and ports of the Ethernet functions

// The function's chain: the function, then each bridge above it, nearest
// first (the parent directories of its resolved entry that are PCI
// functions).  0 when the entry does not resolve.
static int chain_of(const pci_location &at, pci_location (&chain)[max_chain_nodes])
{
    char path[PATH_MAX];
    char *presolved = entry_path(at, "", path) ? realpath(path, nullptr) : nullptr;
    if (presolved == nullptr) {
        return 0;
    }
    chain[0] = at;
    int count = 1;
    for (char *pslash = std::strrchr(presolved, '/'); pslash != nullptr && count < max_chain_nodes;
         pslash = std::strrchr(presolved, '/')) {
        *pslash = '\0';
        const char *pparent = std::strrchr(presolved, '/');
        if (pparent == nullptr || !parse_location(pparent + 1, &chain[count])) {
            break;
        }
        count++;
    }
    std::free(presolved);
    return count;
}

// The SMBIOS slot of a chain: a structure names the function's device (any
// function of an adapter sits in its slot) or exactly a bridge of the chain
// (sibling ports of one bridge device lead to different slots).  The
// nearest node wins, then table order.  -1 when none.
static int32_t smbios_slot_of(const pci_location *pchain, int count)
{
    for (int node = 0; node < count; node++) {
        for (int32_t i = 0; i < smbios_slots.count; i++) {
            const pci_location &named = smbios_slots.pentries[i].named;
            if (node == 0 ? same_device(named, pchain[0]) : same_function(named, pchain[node])) {
                return i;
            }
        }
    }
    return -1;
}

// The hotplug slot of a chain: a slot names the device of the function or
// of a bridge that is its device's only function.  The nearest node wins,
// then byte order of names.  -1 when none.
static int32_t hotplug_slot_of(const pci_location *pchain, int count)
{
    for (int node = 0; node < count; node++) {
        for (int32_t i = 0; i < hotplug_slots.count; i++) {
            if (same_device(hotplug_slots.pentries[i].named, pchain[node]) &&
                (node == 0 || only_function_of_device(pchain[node]))) {
                return i;
            }
        }
    }
    return -1;
}

static bool counts_as_port(const pci_function_entry &entry)
{
    return entry.class_code == ethernet_class && !entry.virtual_function;
}

// Gives every Ethernet function (virtual functions aside) its slot and its
// port there: ports count up in PCI address order, the list's order.
static void assign_slots()
{
    auto *pports = static_cast<int32_t *>(TARVEX_CALLOC(smbios_slots.count + hotplug_slots.count + 1, sizeof(int32_t)));
    pci_location chain[max_chain_nodes];
    for (int32_t f = 0; f < pci_functions.count; f++) {
        pci_function_entry &entry = pci_functions.pentries[f];
        int count = counts_as_port(entry) ? chain_of(entry.at, chain) : 0;
        int32_t smbios_index = count > 0 ? smbios_slot_of(chain, count) : -1;
        int32_t hotplug_index = count > 0 && smbios_index < 0 ? hotplug_slot_of(chain, count) : -1;
        if (smbios_index >= 0) {
            entry.slot_source = firmware_slot_smbios;
            entry.slot_index = smbios_index;
            entry.slot_port = ++pports[smbios_index];
        } else if (hotplug_index >= 0) {
            entry.slot_source = firmware_slot_hotplug;
            entry.slot_index = hotplug_index;
            entry.slot_port = ++pports[smbios_slots.count + hotplug_index];
        }
    }
    std::free(pports);
}

static void load_firmware_view()
{
    // Set before loading, so that a view that came out empty is not read again.
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        load_smbios_slots();
        load_hotplug_slots();
        load_pci_functions();
        assign_slots();
    }
}

// The queried function

// An attribute of the function's entry, read as text.
static bool read_function_attribute(const pci_location &at, const char *pattribute,
                                    char (&buffer)[sysfs_page_bytes + 1], std::string_view *ptext)
{
    char path[PATH_MAX];
    return entry_path(at, pattribute, path) && read_attribute_text(path, buffer, ptext);
}

// The bus address exactly as the kernel names the function's entry, so the
// text can name no other path.
static bool parse_bus_info(const char *pbus_info, pci_location *pat)
{
    char name[32];
    return pbus_info != nullptr && parse_location(pbus_info, pat) && format_location(*pat, name) &&
           std::strcmp(name, pbus_info) == 0;
}

static bool entry_exists(const pci_location &at)
{
    char path[PATH_MAX];
    struct stat info;
    return entry_path(at, "", path) && stat(path, &info) == 0;
}

// A virtual function's physical function, from its physfn link.
static bool physical_function(const pci_location &at, pci_location *pphysical)
{
    char path[PATH_MAX];
    char target[PATH_MAX];
    ssize_t length = entry_path(at, "physfn", path) ? readlink(path, target, sizeof(target) - 1) : -1;
    if (length <= 0) {
        return false;
    }
    target[length] = '\0';
    const char *pslash = std::strrchr(target, '/');
    return parse_location(pslash != nullptr ? pslash + 1 : target, pphysical);
}

// The entry that holds the function's slot: its own, or for a virtual
// function its physical function's.
static const pci_function_entry *slot_holder(const pci_location &at)
{
    const pci_function_entry *pentry = find_function(at);
    pci_location physical{};
    if (pentry != nullptr && pentry->virtual_function) {
        return physical_function(at, &physical) ? find_function(physical) : nullptr;
    }
    return pentry;
}

static int32_t onboard_index_of(const pci_location &at)
{
    char buffer[sysfs_page_bytes + 1];
    std::string_view text;
    // An ACPI index, where the firmware gives one, stands for the SMBIOS one.
    const char *pattribute = has_attribute(at, "acpi_index") ? "acpi_index" : "index";
    c_number number{};
    if (!read_function_attribute(at, pattribute, buffer, &text) || !scan_c_number(&text, 10, &number) ||
        number.negative || !number.digits.fits || number.digits.value > onboard_index_max) {
        return -1;
    }
    return static_cast<int32_t>(number.digits.value);
}

static char *onboard_label_of(const pci_location &at)
{
    char buffer[sysfs_page_bytes + 1];
    std::string_view text;
    return read_function_attribute(at, "label", buffer, &text) ? trimmed_copy(text) : nullptr;
}

static void fill_slot(const pci_function_entry *pholder, firmware_location_t *plocation)
{
    if (pholder == nullptr || pholder->slot_source == firmware_slot_none) {
        return;
    }
    const char *pname = pholder->slot_source == firmware_slot_smbios
                            ? smbios_slots.pentries[pholder->slot_index].pname
                            : hotplug_slots.pentries[pholder->slot_index].pname;
    plocation->pslot_name = pname != nullptr ? TARVEX_STRDUP(pname) : nullptr;
    plocation->slot_port = pholder->slot_port;
    plocation->slot_source = pholder->slot_source;
}

// The query

int32_t get_firmware_location(char *pbus_info, firmware_location_t *plocation)
{
    if (plocation == nullptr) {
        return 1;
    }
    *plocation = {nullptr, -1, firmware_slot_none, -1, nullptr};
    pci_location at{};
    if (!parse_bus_info(pbus_info, &at) || !entry_exists(at)) {
        return 1;
    }
    load_firmware_view();
    fill_slot(slot_holder(at), plocation);
    plocation->onboard_index = onboard_index_of(at);
    plocation->ponboard_label = onboard_label_of(at);
    return 0;
}

void free_firmware_location_members(firmware_location_t *plocation)
{
    if (plocation == nullptr) {
        return;
    }
    std::free(plocation->pslot_name);
    plocation->pslot_name = nullptr;
    std::free(plocation->ponboard_label);
    plocation->ponboard_label = nullptr;
}
