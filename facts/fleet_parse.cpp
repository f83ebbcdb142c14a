// SPDX-License-Identifier: MIT
// os-release, machine identity and PCI ID database parsing.
#include "fleet_parse.h"

#include <array>

#include "char_class.h"

namespace fleet {

// os-release

namespace {
// A double-quoted value: a backslash escapes the four characters the shell
// would expand or end the quote on, and stays before any other.  Empty when
// the closing quote is missing.
std::optional<std::string> unquote_double(std::string_view rest)
{
    std::string value;
    for (size_t i = 0; i < rest.size(); i++) {
        char c = rest[i];
        if (c == '"') {
            return value;
        }
        if (c == '\\' && i + 1 < rest.size() && std::string_view("$\"\\`").find(rest[i + 1]) != std::string_view::npos) {
            c = rest[++i];
        }
        value += c;
    }
    return std::nullopt;
}

std::optional<std::string> unquote_value(std::string_view value)
{
    if (value.starts_with('"')) {
        return unquote_double(value.substr(1));
    }
    if (value.starts_with('\'')) {
        size_t end = value.find('\'', 1);
        return end == std::string_view::npos ? std::nullopt : std::optional<std::string>(value.substr(1, end - 1));
    }
    return std::string(value);
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && is_c_space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_c_space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

void take_os_release_line(std::string_view line, os_release *prelease)
{
    line = trim(line);
    size_t equals = line.find('=');
    if (line.empty() || line.front() == '#' || equals == std::string_view::npos) {
        return;
    }
    std::string_view key = line.substr(0, equals);
    const std::array<std::pair<std::string_view, std::optional<std::string> os_release::*>, 4> fields = {{
        {"ID", &os_release::id},
        {"VERSION_ID", &os_release::version_id},
        {"NAME", &os_release::name},
        {"PRETTY_NAME", &os_release::pretty_name},
    }};
    for (const auto &[name, pfield] : fields) {
        if (key == name) {
            prelease->*pfield = unquote_value(line.substr(equals + 1));
        }
    }
}
} // namespace

os_release parse_os_release(std::string_view text)
{
    os_release release;
    while (!text.empty()) {
        size_t end = text.find('\n');
        end = end == std::string_view::npos ? text.size() : end;
        take_os_release_line(text.substr(0, end), &release);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return release;
}

// Machine identity

namespace {
// What firmware writes where its maker left a field unset.
constexpr std::array<std::string_view, 8> dmi_placeholders = {
    "To Be Filled By O.E.M.", "Default string",      "Not Specified",        "Not Applicable",
    "System manufacturer",    "System Product Name", "System Serial Number", "0123456789",
};

bool equal_ignoring_case(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); i++) {
        if (ascii_upper(a[i]) != ascii_upper(b[i])) {
            return false;
        }
    }
    return true;
}
} // namespace

std::optional<std::string> clean_dmi_value(std::string_view text)
{
    text = trim(text);
    if (text.empty()) {
        return std::nullopt;
    }
    for (std::string_view placeholder : dmi_placeholders) {
        if (equal_ignoring_case(text, placeholder)) {
            return std::nullopt;
        }
    }
    return std::string(text);
}

// PCI ID database

namespace {
// "hhhh" of exactly four hexadecimal digits at the front.
std::optional<uint32_t> four_hex(std::string_view text)
{
    if (text.size() < 4) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (size_t i = 0; i < 4; i++) {
        int digit = hex_digit_value(text[i]);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
}

// The name after an id: the database separates them by two blanks.
std::string name_after(std::string_view text, size_t id_length)
{
    return std::string(trim(text.substr(std::min(id_length, text.size()))));
}
} // namespace

bool pci_names_reader::wants_vendor(uint32_t vendor) const
{
    auto found = wanted.lower_bound(pci_key{vendor, 0, 0, 0});
    return found != wanted.end() && found->vendor == vendor;
}

bool pci_names_reader::wants_device(uint32_t vendor, uint32_t device) const
{
    auto found = wanted.lower_bound(pci_key{vendor, device, 0, 0});
    return found != wanted.end() && found->vendor == vendor && found->device == device;
}

void pci_names_reader::take_line(std::string_view line)
{
    if (classes_ || line.empty() || line.front() == '#') {
        return;
    }
    if (line.starts_with("C ")) {
        classes_ = true;
        return;
    }
    if (line.starts_with("\t\t")) {
        std::string_view ids = line.substr(2);
        std::optional<uint32_t> subsystem_vendor = four_hex(ids);
        std::optional<uint32_t> subsystem_device = ids.size() > 5 ? four_hex(ids.substr(5)) : std::nullopt;
        if (device_ && subsystem_vendor && subsystem_device) {
            pci_key key{*vendor_, *device_, *subsystem_vendor, *subsystem_device};
            if (wanted.contains(key)) {
                subsystems.emplace(key, name_after(ids, 9));
            }
        }
        return;
    }
    if (line.starts_with('\t')) {
        device_ = vendor_ ? four_hex(line.substr(1)) : std::nullopt;
        if (device_ && !wants_device(*vendor_, *device_)) {
            device_.reset();
        } else if (device_) {
            devices.emplace(uint64_t{*vendor_} << 16 | *device_, name_after(line.substr(1), 4));
        }
        return;
    }
    vendor_ = four_hex(line);
    device_.reset();
    if (vendor_ && !wants_vendor(*vendor_)) {
        vendor_.reset();
    } else if (vendor_) {
        vendors.emplace(*vendor_, name_after(line, 4));
    }
}

} // namespace fleet
