// SPDX-License-Identifier: MIT
// tarvex: which expansion slot, port, interconnect bay and bay port each
// Ethernet interface of this server sits on, and its adapter's model name.
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "common_utilities.h"
#include "diag.h"
#include "interface_walk.h"
#include "platform.h"

// One numeric cell: negative numbers are not available.  Part of the report
// module's interface (the tests call it), hence not static.
void print_val(int32_t val)
{
    if (val < 0) {
        std::printf("%-7s ", "n/a");
    } else {
        std::printf("%-7d ", val);
    }
}

static void print_header(void)
{
    std::printf("%-5s ", "iface");
    std::printf("%-7s ", "slot");
    std::printf("%-7s ", "port");
    std::printf("%-7s ", "bay");
    std::printf("%-7s ", "bayport");
    std::printf(" %-41.41s", "Model Name");
    std::printf("\n");
}

static void print_row(const char *pif_name, const port_place &place, const char *pmodel_name)
{
    std::printf("%-5s ", pif_name);
    for (int32_t value : {place.slot, place.port, place.bay, place.bay_port}) {
        print_val(value);
    }
    std::printf(" %-41.41s", pmodel_name);
    std::printf("\n");
}

static void warn_tolmar_missing(void)
{
    std::fputs("\n", stderr);
    std::fputs("WARNING: The tolmar package is not installed. Will\n", stderr);
    std::fputs("         not be able to display bay/slot/port\n", stderr);
    std::fputs("         information. See README for details.\n\n", stderr);
}

// One interface: its row, or the error line when its PCI identity is unknown.
static void report_interface(char *pif_name, int32_t tolmar_available)
{
    interface_hardware hardware(pif_name, tolmar_available == 1);
    if (hardware.pci_rc != 0) {
        TARVEX_MSG(stdout, "ERROR: can't get ethtool pci info for %s, rc = %d, %s,%d\n\n", pif_name, hardware.pci_rc);
        return;
    }
    print_row(pif_name, hardware.place, hardware.catalogued() ? hardware.pmodel->inf_name : "unknown model");
}

// The table of the selected interfaces; 1 when they cannot be listed.
static int report_interfaces(int32_t tolmar_available)
{
    interface_selection selection;
    if (selection.rc != 0) {
        TARVEX_MSG(stdout, "\n\nERROR: get_interface_list filed RC = %d\n%s,%d\n\n", selection.rc);
        return 1;
    }
    if (!selection.names().empty()) {
        print_header();
    }
    for (char *pif_name : selection.names()) {
        report_interface(pif_name, tolmar_available);
    }
    return 0;
}

// The table is the run's whole result: a table that could not be written (a
// full disk, a closed descriptor, a reader gone while SIGPIPE is ignored)
// makes the run fail.  A closed standard output with nothing to write loses
// nothing.
static int finish_output(int status)
{
    errno = 0;
    bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    int err = errno;
    if (std::fclose(stdout) != 0 && (failed || errno != EBADF)) {
        err = err != 0 ? err : errno;
        failed = true;
    }
    if (failed) {
        TARVEX_MSG(stderr, "ERROR: could not write the report to standard output (errno=%d), %s,%d\n", err);
        return 1;
    }
    return status;
}

int main()
{
    set_tool_environment();
    int32_t tolmar_available = 1;
    if (tolmar_installed() == 0) {
        warn_tolmar_missing();
        tolmar_available = 0;
    }
    return finish_output(report_interfaces(tolmar_available));
}
