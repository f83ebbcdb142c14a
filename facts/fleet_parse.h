// SPDX-License-Identifier: MIT
// Parsers of what tarvex-facts tells a fleet about the server it runs on:
// the operating system's os-release file, the firmware's machine identity
// and the system's PCI ID database.  Text in, values out; the reading is
// tarvex-facts'.  Internal; not installed.
#ifndef TARVEX_FLEET_PARSE_H
#define TARVEX_FLEET_PARSE_H

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace fleet {

// The fields of an os-release file tarvex-facts reports; a field the file
// lacks (or whose value is not well formed) stays empty.
struct os_release {
    std::optional<std::string> id;
    std::optional<std::string> version_id;
    std::optional<std::string> name;
    std::optional<std::string> pretty_name;
};

// Reads the file's text as its format defines: KEY=VALUE lines, the value
// in double quotes (where a backslash escapes $ " \ and `), in single
// quotes, or bare; comments and other keys are skipped; a later assignment
// of a key wins.
os_release parse_os_release(std::string_view text);

// A machine identity attribute as the firmware wrote it: trimmed at both
// ends; empty for an empty value or a firmware placeholder ("To Be Filled
// By O.E.M.", "Default string", ...), compared without regard to case.
std::optional<std::string> clean_dmi_value(std::string_view text);

// The four identifiers of a PCI function.
struct pci_key {
    uint32_t vendor = 0;
    uint32_t device = 0;
    uint32_t subsystem_vendor = 0;
    uint32_t subsystem_device = 0;
    auto operator<=>(const pci_key &) const = default;
};

// The names a run needs from the PCI ID database, and the reader that
// collects only those, line by line, in the database's format (vendor
// lines, device lines after one tab, subsystem lines after two; the class
// lists at the end are not read).
struct pci_names_reader {
    std::set<pci_key> wanted;
    std::map<uint32_t, std::string> vendors;    // vendor
    std::map<uint64_t, std::string> devices;    // vendor << 16 | device
    std::map<pci_key, std::string> subsystems;  // the whole key

    void take_line(std::string_view line);

private:
    std::optional<uint32_t> vendor_;
    std::optional<uint32_t> device_;
    bool classes_ = false;
    bool wants_vendor(uint32_t vendor) const;
    bool wants_device(uint32_t vendor, uint32_t device) const;
};

} // namespace fleet

#endif
