// SPDX-License-Identifier: MIT
// The host's Ethernet PCI functions with their slot, port within the slot,
// interconnect bay and bay port.  The list is built once, on the first
// query, from sysfs and the management package's two tools, and kept until
// the process exits.
#include "port_map.h"

#include <cstdio>
#include <string_view>

#include <sys/stat.h>

#include "diag.h"
#include "pci_host.h"
#include "platform.h"
#include "port_map_parse.h"
#include "slot_numbering.h"
#include "tool_lines.h"

static constexpr const char *pci_devices_dir = "/sys/bus/pci/devices";

// Where the management package installs its tools, preferred path first.
static constexpr const char *tessio_utils = "/opt/vantor/utils/tessio";
static constexpr const char *tessio_sbin = "/sbin/tessio";
static constexpr const char *tolmarcli_utils = "/opt/vantor/utils/tolmarcli";
static constexpr const char *tolmarcli_sbin = "/sbin/tolmarcli";

// Lines before the data in each listing.
static constexpr int inventory_header_lines = 2;
static constexpr int port_map_header_lines = 3;

// Circular, doubly linked, in PCI address order; never freed.
static vrk_network_adapter_p net_adapter_list_head = nullptr;

// Tool paths

// A tool's path is chosen on its first use and held; while neither path
// exists, every use looks again.
static const char *choose_tool(const char **ppcmd, const char *putils_path, const char *psbin_path)
{
    struct stat info;
    if (*ppcmd == nullptr) {
        *ppcmd = stat(putils_path, &info) == 0 ? putils_path : stat(psbin_path, &info) == 0 ? psbin_path : nullptr;
    }
    return *ppcmd;
}

// snprintf wrote all of its text into a buffer of that size.
static bool fits_buffer(int length, size_t size)
{
    return length >= 0 && static_cast<size_t>(length) < size;
}

// With a time limit (tarvex-facts), a tool that ran past it has no answers
// for the rest of the run and is not run again: one warning names it.
struct tool_limit_state {
    bool timed_out = false;
};
static tool_limit_state inventory_limit;
static tool_limit_state port_map_limit;

// A bounded run's end that leaves no listing: a time-out (the tool is
// given up) or a command line that could not run (the run is failed).
static bool bounded_run_usable(const tool_lines &tool, const char *pcmd, tool_limit_state *plimit)
{
    const captured_run &run = tool.bounded;
    if (run.outcome == run_outcome::timed_out) {
        plimit->timed_out = true;
        TARVEX_MSG(stderr, "WARNING: %s did not finish within %d s and was stopped; its answers are unavailable, %s,%d\n",
                   pcmd, tool_time_limit());
        return false;
    }
    if (run.outcome == run_outcome::finished && wait_status_failed(run.wait_status)) {
        tarvex_note_run_failure();
        TARVEX_MSG(stderr, "ERROR: command could not run: %s (wait status %d) at %s,%d\n", tool.buffer,
                   run.wait_status);
        return false;
    }
    return true;
}

// Starts the tool at pcmd with its arguments and drops the listing's header
// lines; false when the tool is absent (no pcmd), given up after a time-out,
// or its command line does not fit, and, after the message, when the shell
// cannot be started or its bounded run timed out or failed.
static bool start_listing(tool_lines *ptool, const char *pcmd, const char *pargs, int header_lines,
                          tool_limit_state *plimit)
{
    if (pcmd == nullptr || plimit->timed_out ||
        !fits_buffer(std::snprintf(ptool->buffer, sizeof(ptool->buffer), "%s%s", pcmd, pargs), sizeof(ptool->buffer))) {
        return false;
    }
    if (!start_tool(ptool)) {
        TARVEX_MSG(stderr, "ERROR: could not execute command: %s at %s,%d\n", ptool->buffer);
        return false;
    }
    if (tool_time_limit() > 0 && !bounded_run_usable(*ptool, pcmd, plimit)) {
        return false;
    }
    skip_tool_lines(ptool, header_lines);
    return true;
}

// The adapter list

static void add_net_adapter(uint32_t bus, uint32_t device, uint32_t function)
{
    auto *padapter = static_cast<vrk_network_adapter_p>(TARVEX_CALLOC(1, sizeof(vrk_network_adapter)));
    *padapter = {-1, -1, bus, device, function, nullptr, nullptr, nullptr};
    if (net_adapter_list_head == nullptr) {
        // The first node is its own tail, so the append below links it to itself.
        net_adapter_list_head = padapter->prev = padapter;
    }
    padapter->prev = net_adapter_list_head->prev;
    padapter->next = net_adapter_list_head;
    padapter->prev->next = padapter;
    net_adapter_list_head->prev = padapter;
}

static vrk_network_adapter_p get_net_adapter_by_slot_and_port(int32_t slot, int32_t slot_port)
{
    return adapter_at_port(net_adapter_list_head, slot, slot_port);
}

static vrk_network_adapter_p get_net_adapter_by_BusDevFun(uint32_t bus, uint32_t device, uint32_t function)
{
    return first_adapter(net_adapter_list_head, [=](vrk_network_adapter_p p) {
        return p->bus == bus && p->device == device && p->function == function;
    });
}

// Listing the Ethernet functions

static int32_t get_slot_number(uint32_t bus, uint32_t device)
{
    static const char *tessio_cmd = nullptr;
    tool_lines tool;
    // Only the tool's fields 1, 2 and 6 (bus, device, slot) are wanted.
    if (!start_listing(&tool, choose_tool(&tessio_cmd, tessio_utils, tessio_sbin),
                       " -i 2>/dev/null | awk '{print $1\" \"$2\" \"$6;}'", inventory_header_lines,
                       &inventory_limit)) {
        return -1;
    }
    auto next_line = [&tool](std::string_view *pline) { return next_tool_line(&tool, pline); };
    if (std::optional<int32_t> slot = device_slot(next_line, bus, device)) {
        return *slot;
    }
    tool.stream.reset();
    TARVEX_MSG(stderr, "ERROR: did not find match for pci bus/device %d,%d, %s,%d\n", static_cast<int>(bus),
               static_cast<int>(device));
    return -1;
}

static int32_t update_net_adapter_slot_info(void)
{
    vrk_network_adapter_p padapter = net_adapter_list_head;
    do {
        padapter->slot = get_slot_number(padapter->bus, padapter->device);
        padapter->slot_port = port_in_slot(net_adapter_list_head, padapter);
        padapter = padapter->next;
    } while (padapter != net_adapter_list_head);
    // Slots learnt before the inventory tool ran out of time are dropped
    // with the rest: its answers count as unavailable.
    if (inventory_limit.timed_out) {
        do {
            padapter->slot = padapter->slot_port = -1;
            padapter = padapter->next;
        } while (padapter != net_adapter_list_head);
    }
    return 0;
}

static int32_t get_network_adapters(void)
{
    const pci_host &host = pci_host_functions();
    if (!host.listed) {
        TARVEX_MSG(stderr, "ERROR: Failed to scan dir %s: %s,%d\n", pci_devices_dir);
        return -1;
    }
    for (int32_t i = 0; i < host.unreadable_class_count; i++) {
        TARVEX_MSG(stderr, "ERROR: could not open file %s/%s/class:  %s,%d\n", pci_devices_dir,
                   host.ppunreadable_class[i]);
    }
    for (int32_t f = 0; f < host.function_count; f++) {
        const pci_function &function = host.pfunctions[f];
        if (function.class_readable && function.class_code == pci_ethernet_class) {
            add_net_adapter(function.at.bus, function.at.device, function.at.function);
        }
    }
    if (net_adapter_list_head != nullptr) {
        update_net_adapter_slot_info();
    }
    return 0;
}

// Bay records from the port map

static int32_t update_adapter_info(int32_t slot_num, int32_t slot_port, int32_t bay, int32_t bay_port)
{
    vrk_network_adapter_p padapter = get_net_adapter_by_slot_and_port(slot_num, slot_port);
    if (!takes_bay_record(padapter)) {
        return -1;
    }
    padapter->nic_port_map = static_cast<vrk_nic_port_map_info_p>(TARVEX_CALLOC(1, sizeof(vrk_nic_port_map_info)));
    *padapter->nic_port_map = {slot_num, slot_port, bay, bay_port};
    return 0;
}

static int32_t get_smbios_nic_port_map(void)
{
    static const char *tolmarcli_cmd = nullptr;
    tool_lines tool;
    if (!start_listing(&tool, choose_tool(&tolmarcli_cmd, tolmarcli_utils, tolmarcli_sbin),
                       " -s \"show portmap\" 2>/dev/null", port_map_header_lines, &port_map_limit)) {
        return -1;
    }
    std::string_view line;
    port_map_entry entry{};
    while (next_tool_line(&tool, &line)) {
        if (parse_port_map_line(line, &entry)) {
            update_adapter_info(entry.slot, entry.slot_port, entry.bay, entry.bay_port);
        }
    }
    return 0;
}

// The query

static int32_t init_port_map_table(void)
{
    get_network_adapters();
    get_smbios_nic_port_map();
    return 0;
}

int32_t get_slot_bay_info(int32_t bus, int32_t device, int32_t function, int32_t *slot, int32_t *slot_port,
                          int32_t *bay, int32_t *bay_port)
{
    // Cleared before the build, so a failed build is not retried.
    static int need_init = 1;
    if (need_init == 1) {
        need_init = 0;
        init_port_map_table();
    }
    // PCI numbers are unsigned in the list: a value that names no function
    // there simply finds nothing.
    vrk_network_adapter_p padapter = get_net_adapter_by_BusDevFun(
        static_cast<uint32_t>(bus), static_cast<uint32_t>(device), static_cast<uint32_t>(function));
    if (padapter == nullptr) {
        return -1;
    }
    *slot = padapter->slot;
    *slot_port = padapter->slot_port == -1 ? -1 : padapter->slot_port + 1;
    *bay = padapter->nic_port_map != nullptr ? padapter->nic_port_map->SWM_bay : -1;
    *bay_port = padapter->nic_port_map != nullptr ? padapter->nic_port_map->SWM_bay_port : -1;
    return *slot == -1 ? -2 : 0;
}
