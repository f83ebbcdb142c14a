// SPDX-License-Identifier: MIT
// The host's PCI functions for a run: every module that asks about PCI
// functions (the port map, the firmware location, tarvex-facts' port
// selection and records) reads this one view, learnt once per process on
// first use and kept until exit, and every PCI address text is read by the
// one reader below.  Internal to the library and the family's programs; not
// installed.
#ifndef TARVEX_PCI_HOST_H
#define TARVEX_PCI_HOST_H

#include <cstdint>
#include <string_view>

#include <net/if.h>

// A PCI function's address; function is 0 for a text that names a device.
struct pci_address {
    uint32_t segment;
    uint32_t bus;
    uint32_t device;
    uint32_t function;
};

// What a text may look like, by who wrote it.
enum class pci_address_mode {
    // Exactly the kernel's name of a function's entry: "dddd:bb:dd.f" in
    // lower case, as sysfs lists it (a domain beyond 0xffff has more digits).
    entry_name,
    // What a PCI driver's record may say: the kernel's form, either letter case.
    driver_record,
    // A bus address asked about by a caller: "bus:device.function" or
    // "domain:bus:device.function", each field as "%x" reads it; text after
    // the function is ignored.
    lenient,
    // A hotplug slot's address file: "dddd:bb:dd" (a device), white space after.
    slot_device,
    // Only the function number, for the EEPROM's port choice: the leading
    // decimal digits after the last '.', whatever stands before it (0 when
    // there is no '.').  Never unparsable.
    function_after_last_dot,
};

enum class pci_address_form {
    parsed,
    no_colon,
    too_many_colons,
    unparsable,  // the colons are there, but the fields do not all parse
};

// The one reader of a PCI address text.  The text is a C string: nothing
// after a NUL byte counts.  *paddress is written only when parsed.
pci_address_form read_pci_address(std::string_view text, pci_address_mode mode, pci_address *paddress);

inline bool same_pci_device(const pci_address &a, const pci_address &b)
{
    return a.segment == b.segment && a.bus == b.bus && a.device == b.device;
}

inline bool same_pci_function(const pci_address &a, const pci_address &b)
{
    return same_pci_device(a, b) && a.function == b.function;
}

// Order of the kernel's entry names: segment, bus, device, function.
bool pci_address_before(const pci_address &a, const pci_address &b);

// One network interface of a function, as its net directory shows it.
struct pci_interface {
    char name[IFNAMSIZ];
    uint32_t dev_port;       // 0 when missing or unreadable
    char phys_port_id[65];   // the driver's text; "" when it gives none
};

// PCI class 0x020000: network controller, Ethernet, programming interface 0.
inline constexpr uint32_t pci_ethernet_class = 0x020000;

struct pci_function {
    pci_address at;
    bool class_readable;
    uint32_t class_code;
    // Read with the details (pci_host_view) only:
    bool ids_readable;
    uint32_t ids[4];          // vendor, device, subsystem vendor, subsystem device
    bool virtual_function;    // has physfn
    bool physfn_known;
    pci_address physfn;
    bool ari_enabled;         // its bus numbers functions by ARI: its device is 0
    int32_t first_interface;  // into pci_host::pinterfaces, by (dev_port, name); Ethernet functions only
    int32_t interface_count;
    int32_t first_bridge;     // into pci_host::pbridges, nearest first; physical Ethernet functions only
    int32_t bridge_count;
};

struct pci_hotplug_slot {
    pci_address named;  // a device (function 0)
    char *pname;        // the slot directory's name, trimmed; null when blank
};

struct pci_host {
    bool listed;                 // the devices directory could be listed
    pci_function *pfunctions;    // every entry whose name is the kernel's, in address order
    int32_t function_count;
    char **ppunreadable_class;   // entry names whose class could not be read, in byte order
    int32_t unreadable_class_count;
    // With the details:
    pci_interface *pinterfaces;
    int32_t interface_count;
    pci_address *pbridges;
    int32_t bridge_count;
    pci_hotplug_slot *pslots;    // in byte order of slot names
    int32_t slot_count;
};

// The functions with their classes: one listing and one class read per
// entry, nothing more (the report's port map needs no more).
const pci_host &pci_host_functions();
// The whole view: also ids, physfn, ari_enabled, interfaces, bridge chains
// and hotplug slots.
const pci_host &pci_host_view();

// The function at the address; null when the host has none there.
const pci_function *find_pci_function(const pci_host &host, const pci_address &at);
// The function whose net directory lists the interface; null when none does.
const pci_function *find_interface_function(const pci_host &host, const char *pif_name);

// The device a function counts as for slot matching: device 0 of its bus
// under ARI, where the "device" of its name is part of the function number.
pci_address slot_device_of(const pci_function &function);

// A heap copy of a name without its surrounding white space (a slot's,
// as sysfs or the firmware give it); null when nothing is left.
char *trimmed_copy(std::string_view text);

#endif
