// SPDX-License-Identifier: MIT
// Where the firmware says a PCI function or one of its interfaces sits: the
// SMBIOS slot table, the kernel's hotplug slots, and the board's own index
// and label of an onboard port.  The slot table, and the slot and port of
// every Ethernet interface, are learnt once, on the first query, over the
// host's PCI view (pci_host.h), and kept until the process exits, so a
// program asking for every interface reads them once.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common_utilities.h"
#include "diag.h"
#include "host_queries.h"
#include "number_scan.h"
#include "pci_host.h"
#include "platform.h"
#include "slot_ports.h"
#include "smbios_parse.h"

static constexpr const char *smbios_table_path = "/sys/firmware/dmi/tables/DMI";
static constexpr size_t smbios_read_bytes = 64U << 10;
static constexpr size_t sysfs_page_bytes = 4096;
// An index above this is a firmware's filler (one hypervisor gives 16777216).
static constexpr uint32_t onboard_index_max = 16383;

// Module state: the slot table and every Ethernet port's slot and port

// A slot structure that names a function (pname is never null: a blank
// designation names nothing, and its structure is left out).
struct smbios_slot_entry {
    pci_address named;
    char *pname;
};

static smbios_slot_entry *psmbios_slots = nullptr;
static int32_t smbios_slot_count = 0;
// Per function of the view: its slot (smbios_slot_count + i for hotplug
// slot i; -1: none) and its port there; per interface of the view: its port.
static int32_t *pfunction_slots = nullptr;
static int32_t *pfunction_ports = nullptr;
static int32_t *pinterface_ports = nullptr;

// Text helpers

static bool fits_buffer(int length, size_t size)
{
    return length >= 0 && static_cast<size_t>(length) < size;
}

// A sysfs attribute's text (at most a page) into buffer; false when the file
// cannot be opened or read.
static bool read_attribute_text(const char *ppath, char (&buffer)[sysfs_page_bytes + 1], std::string_view *ptext)
{
    unique_file file(std::fopen(ppath, "re"));
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

// The SMBIOS slot table

// The whole table, however large; NULL (and nothing said) when it cannot be
// opened or read.
static char *read_smbios_table(size_t *psize)
{
    unique_file file(std::fopen(smbios_table_path, "rbe"));
    if (!file) {
        return nullptr;
    }
    // The room doubles, so a large table costs a few reads and copies.
    size_t room = smbios_read_bytes;
    char *ptable = static_cast<char *>(TARVEX_MALLOC(room));
    size_t size = 0;
    size_t got = 0;
    while ((got = std::fread(ptable + size, 1, room - size, file.get())) > 0) {
        size += got;
        if (size == room) {
            room *= 2;
            ptable = static_cast<char *>(TARVEX_REALLOC(ptable, room));
        }
    }
    if (std::ferror(file.get()) != 0) {
        std::free(ptable);
        return nullptr;
    }
    *psize = size;
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
    int32_t capacity = 0;
    while (next_smbios_slot(&cursor, &slot)) {
        char *pname = trimmed_copy(slot.designation);
        if (pname == nullptr) {
            continue;
        }
        if (smbios_slot_count == capacity) {
            capacity = capacity == 0 ? 16 : capacity * 2;
            psmbios_slots = static_cast<smbios_slot_entry *>(
                TARVEX_REALLOC(psmbios_slots, static_cast<size_t>(capacity) * sizeof(smbios_slot_entry)));
        }
        psmbios_slots[smbios_slot_count++] = {{slot.segment, slot.bus, slot.devfn >> 3, slot.devfn & 7}, pname};
    }
    std::free(ptable);
    if (cursor.malformed) {
        TARVEX_MSG(stderr, "INFO: malformed SMBIOS table %s: errno=%d, %s, %s,%d\n", smbios_table_path, EBADMSG,
                   std::strerror(EBADMSG));
    }
}

// Slots of the Ethernet functions

// A bridge's hotplug slot counts only when no other function of its device
// is present: a slot names a device, and of a multi-function bridge device
// it cannot tell which port leads to it.
static bool only_function_of_device(const pci_host &host, const pci_address &at)
{
    int32_t count = 0;
    for (int32_t f = 0; f < host.function_count; f++) {
        count += same_pci_device(host.pfunctions[f].at, at) ? 1 : 0;
    }
    return count == 1;
}

// The SMBIOS slot of a function: a structure names the function's device
// (any function of an adapter sits in its slot; under ARI that is device 0)
// or exactly a bridge of its chain (sibling ports of one bridge device lead
// to different slots).  The nearest node wins, then table order.  -1: none.
static int32_t smbios_slot_of(const pci_host &host, const pci_function &function)
{
    pci_address device = slot_device_of(function);
    for (int node = 0; node <= function.bridge_count; node++) {
        for (int32_t i = 0; i < smbios_slot_count; i++) {
            const pci_address &named = psmbios_slots[i].named;
            if (node == 0 ? same_pci_device(named, device)
                          : same_pci_function(named, host.pbridges[function.first_bridge + node - 1])) {
                return i;
            }
        }
    }
    return -1;
}

// The hotplug slot of a function: a slot names the function's device, or
// the device of a bridge of its chain that is its device's only function.
// The nearest node wins, then byte order of names.  -1: none.
static int32_t hotplug_slot_of(const pci_host &host, const pci_function &function)
{
    for (int node = 0; node <= function.bridge_count; node++) {
        const pci_address at = node == 0 ? slot_device_of(function) : host.pbridges[function.first_bridge + node - 1];
        for (int32_t i = 0; i < host.slot_count; i++) {
            if (same_pci_device(host.pslots[i].named, at) && (node == 0 || only_function_of_device(host, at))) {
                return i;
            }
        }
    }
    return -1;
}

static bool counts_as_port(const pci_function &function)
{
    return function.class_readable && function.class_code == pci_ethernet_class && !function.virtual_function;
}

// Every physical Ethernet function's slot, then the ports of every slot.
static void assign_slots(const pci_host &host)
{
    pfunction_slots = static_cast<int32_t *>(TARVEX_CALLOC(static_cast<size_t>(host.function_count) + 1, sizeof(int32_t)));
    for (int32_t f = 0; f < host.function_count; f++) {
        const pci_function &function = host.pfunctions[f];
        int32_t smbios_index = counts_as_port(function) ? smbios_slot_of(host, function) : -1;
        int32_t hotplug_index = counts_as_port(function) && smbios_index < 0 ? hotplug_slot_of(host, function) : -1;
        pfunction_slots[f] = smbios_index >= 0 ? smbios_index : hotplug_index >= 0 ? smbios_slot_count + hotplug_index : -1;
    }
    pfunction_ports = static_cast<int32_t *>(TARVEX_CALLOC(static_cast<size_t>(host.function_count) + 1, sizeof(int32_t)));
    pinterface_ports = static_cast<int32_t *>(TARVEX_CALLOC(static_cast<size_t>(host.interface_count) + 1, sizeof(int32_t)));
    number_slot_ports(host, pfunction_slots, pfunction_ports, pinterface_ports);
}

static void load_firmware_view()
{
    static pthread_once_t loaded = PTHREAD_ONCE_INIT;
    (void)pthread_once(&loaded, [] {
        load_smbios_slots();
        assign_slots(pci_host_view());
    });
}

// The queried function

static bool read_function_attribute(const pci_address &at, const char *pattribute,
                                    char (&buffer)[sysfs_page_bytes + 1], std::string_view *ptext)
{
    char path[PATH_MAX];
    return fits_buffer(std::snprintf(path, sizeof(path), "/sys/bus/pci/devices/%04x:%02x:%02x.%x/%s", at.segment,
                                     at.bus, at.device, at.function, pattribute),
                       sizeof(path)) &&
           read_attribute_text(path, buffer, ptext);
}

// Plain decimal digits and an optional newline; -1 for anything else.
static int32_t strict_index(std::string_view text)
{
    if (text.ends_with('\n')) {
        text.remove_suffix(1);
    }
    digit_run run = scan_digits(text, 10);
    if (run.length == 0 || run.length != text.size() || !run.fits || run.value > onboard_index_max) {
        return -1;
    }
    return static_cast<int32_t>(run.value);
}

static int32_t onboard_index_of(const pci_address &at)
{
    char buffer[sysfs_page_bytes + 1];
    std::string_view text;
    // An ACPI index, where the firmware gives one, stands for the SMBIOS one.
    if (read_function_attribute(at, "acpi_index", buffer, &text) ||
        read_function_attribute(at, "index", buffer, &text)) {
        return strict_index(text);
    }
    return -1;
}

static char *onboard_label_of(const pci_address &at)
{
    char buffer[sysfs_page_bytes + 1];
    std::string_view text;
    return read_function_attribute(at, "label", buffer, &text) ? trimmed_copy(text) : nullptr;
}

// The function that holds a function's slot: itself, or for a virtual
// function its physical function.
static const pci_function *slot_holder(const pci_host &host, const pci_function *pfunction)
{
    if (pfunction != nullptr && pfunction->virtual_function) {
        return pfunction->physfn_known ? find_pci_function(host, pfunction->physfn) : nullptr;
    }
    return pfunction;
}

// The slot and port of the function, or of its interface pif_name (null:
// its first interface).  A virtual function's interface has its physical
// function's first port.
static void fill_slot(const pci_host &host, const pci_function *pfunction, const char *pif_name,
                      firmware_location_t *plocation)
{
    const pci_function *pholder = slot_holder(host, pfunction);
    int32_t f = pholder != nullptr ? static_cast<int32_t>(pholder - host.pfunctions) : -1;
    if (f < 0 || pfunction_slots[f] < 0) {
        return;
    }
    int32_t slot = pfunction_slots[f];
    bool smbios = slot < smbios_slot_count;
    const char *pname = smbios ? psmbios_slots[slot].pname : host.pslots[slot - smbios_slot_count].pname;
    plocation->pslot_name = pname != nullptr ? TARVEX_STRDUP(pname) : nullptr;
    plocation->slot_port = pfunction_ports[f];
    for (int32_t i = 0; pholder == pfunction && pif_name != nullptr && i < pholder->interface_count; i++) {
        if (std::strcmp(host.pinterfaces[pholder->first_interface + i].name, pif_name) == 0) {
            plocation->slot_port = pinterface_ports[pholder->first_interface + i];
        }
    }
    plocation->slot_source = smbios ? firmware_slot_smbios : firmware_slot_hotplug;
}

static int32_t locate(const pci_function *pfunction, const char *pif_name, firmware_location_t *plocation)
{
    *plocation = {nullptr, -1, firmware_slot_none, -1, nullptr};
    if (pfunction == nullptr) {
        return 1;
    }
    load_firmware_view();
    fill_slot(pci_host_view(), pfunction, pif_name, plocation);
    plocation->onboard_index = onboard_index_of(pfunction->at);
    plocation->ponboard_label = onboard_label_of(pfunction->at);
    return 0;
}

// The function at a bus address written exactly as the kernel names its
// entry, so the text can name no other path.
static const pci_function *function_at(const char *pbus_info)
{
    pci_address at{};
    if (pbus_info == nullptr ||
        read_pci_address(pbus_info, pci_address_mode::entry_name, &at) != pci_address_form::parsed) {
        return nullptr;
    }
    return find_pci_function(pci_host_view(), at);
}

// The queries

int32_t get_firmware_location(char *pbus_info, firmware_location_t *plocation)
{
    if (plocation == nullptr) {
        return 1;
    }
    return locate(function_at(pbus_info), nullptr, plocation);
}

int32_t get_interface_firmware_location(char *pif_name, firmware_location_t *plocation)
{
    if (plocation == nullptr) {
        return 1;
    }
    const pci_function *pfunction = fits_ifname(pif_name) ? find_interface_function(pci_host_view(), pif_name) : nullptr;
    return locate(pfunction, pif_name, plocation);
}

int32_t get_interface_firmware_location_at(const char *pbus_info, const char *pif_name,
                                           firmware_location_t *plocation)
{
    return locate(function_at(pbus_info), pif_name, plocation);
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
