// SPDX-License-Identifier: MIT
// Stand-in for kernel network drivers.  It answers the ethtool requests
// (SIOCETHTOOL) of its script (fake_driver.h) and passes every other ioctl,
// and every request for any other interface, to the C library.  Preloaded
// into a program on a fake host, it reads the script from
// $TARVEX_FAKE_DRIVER: the description's nic lines as tools/fakehost.sh
// decoded them (the settings are in tests/system/README.md).  Linked into a
// test, it answers the script the test writes.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <dlfcn.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "char_class.h"
#include "fake_driver.h"

std::vector<expected_request> &driver_script()
{
    static std::vector<expected_request> script;
    return script;
}

std::vector<seen_request> &driver_requests()
{
    static std::vector<seen_request> seen;
    return seen;
}

namespace {

// --- The script of a fake host ----------------------------------------------

[[noreturn]] void script_error(const std::string &setting, const char *pwhat)
{
    std::fprintf(stderr, "fake driver: %s in nic setting: %s\n", pwhat, setting.c_str());
    std::_Exit(70);
}

int parse_errno(const std::string &text, const std::string &setting)
{
    static const std::map<std::string, int> names = {
        {"ENODEV", ENODEV}, {"EOPNOTSUPP", EOPNOTSUPP}, {"EPERM", EPERM}, {"EIO", EIO},
        {"EINVAL", EINVAL}, {"ENOENT", ENOENT},         {"EBUSY", EBUSY}, {"EFAULT", EFAULT},
        {"EAGAIN", EAGAIN}, {"ENXIO", ENXIO},           {"EACCES", EACCES}};
    if (auto it = names.find(text); it != names.end()) {
        return it->second;
    }
    char *pend = nullptr;
    long value = std::strtol(text.c_str(), &pend, 10);
    if (text.empty() || *pend != '\0' || value <= 0 || value > 4095) {
        script_error(setting, "bad errno");
    }
    return static_cast<int>(value);
}

// "OFFSET:HEXBYTES", both hexadecimal: bytes written into the EEPROM image.
void parse_eeprom(driver_reply &reply, const std::string &text, const std::string &setting)
{
    size_t colon = text.find(':');
    if (colon == std::string::npos || (text.size() - colon - 1) % 2 != 0) {
        script_error(setting, "bad eeprom (want OFFSET:HEXBYTES)");
    }
    // The end pointer must point into a string that outlives the check.
    std::string offset_text = text.substr(0, colon);
    char *pend = nullptr;
    unsigned long offset = std::strtoul(offset_text.c_str(), &pend, 16);
    if (colon == 0 || *pend != '\0' || offset > 0x10000) {
        script_error(setting, "bad eeprom offset");
    }
    for (size_t i = colon + 1; i < text.size(); i += 2) {
        int high = hex_digit_value(text[i]);
        int low = hex_digit_value(text[i + 1]);
        if (high < 0 || low < 0) {
            script_error(setting, "bad eeprom bytes");
        }
        size_t at = offset + (i - colon - 1) / 2;
        if (reply.eeprom.size() <= at) {
            reply.eeprom.resize(at + 1, 0);
        }
        reply.eeprom[at] = static_cast<uint8_t>(high * 16 + low);
    }
}

// KEY=VALUE: a field of the reply, or the errno of one request.
void apply_setting(driver_reply &reply, std::map<uint32_t, int> &errors, const std::string &setting)
{
    static const std::map<std::string, std::string driver_reply::*> texts = {
        {"driver", &driver_reply::driver}, {"version", &driver_reply::version},
        {"fw", &driver_reply::firmware},   {"bus", &driver_reply::bus}};
    static const std::map<std::string, uint32_t> failing = {
        {"drvinfo_errno", ETHTOOL_GDRVINFO}, {"link_errno", ETHTOOL_GLINK}, {"eeprom_errno", ETHTOOL_GEEPROM}};
    size_t eq = setting.find('=');
    if (eq == std::string::npos) {
        script_error(setting, "no '='");
    }
    std::string key = setting.substr(0, eq);
    std::string value = setting.substr(eq + 1);
    if (auto text = texts.find(key); text != texts.end()) {
        reply.*(text->second) = value;
    } else if (auto cmd = failing.find(key); cmd != failing.end()) {
        errors[cmd->second] = parse_errno(value, setting);
    } else if (key == "link" && (value == "up" || value == "down")) {
        reply.link = value == "up" ? 1 : 0;
    } else if (key == "eeprom") {
        parse_eeprom(reply, value, setting);
    } else if (key == "eeprom_magic") {
        reply.eeprom_magic = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 0));
    } else {
        script_error(setting, "unknown setting or value");
    }
}

// A nic line, its name and then its settings: the interface's three requests.
void add_nic(const std::vector<std::string> &fields)
{
    driver_reply reply;
    std::map<uint32_t, int> errors;
    for (size_t i = 1; i < fields.size(); i++) {
        apply_setting(reply, errors, fields[i]);
    }
    for (uint32_t cmd : {ETHTOOL_GDRVINFO, ETHTOOL_GLINK, ETHTOOL_GEEPROM}) {
        driver_script().push_back({fields[0], cmd, errors[cmd], reply});
    }
}

// Each field ends with a NUL, each nic line with an empty field.  C stdio
// rather than a file stream: it fails cleanly when the program runs short of
// descriptors on purpose.
void load_script(const char *ppath)
{
    FILE *pfile = std::fopen(ppath, "r");
    if (pfile == nullptr) {
        std::fprintf(stderr, "fake driver: cannot read its script %s\n", ppath);
        std::_Exit(70);
    }
    std::vector<std::string> fields;
    char *pfield = nullptr;
    size_t size = 0;
    ssize_t got;
    while ((got = getdelim(&pfield, &size, '\0', pfile)) != -1) {
        if (got > 1) {
            fields.emplace_back(pfield);
        } else if (!fields.empty()) {
            add_nic(fields);
            fields.clear();
        }
    }
    std::free(pfield);
    std::fclose(pfile);
}

// --- Answering ----------------------------------------------------------------

// The kernel's fixed text fields: the text, cut to the field, zero-filled;
// a text as long as the field fills it without a terminator, as a driver may.
template <size_t N>
void fill_field(char (&field)[N], const std::string &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(N, text.size()));
}

int fail_with(int error)
{
    errno = error;
    return -1;
}

int answer_drvinfo(const driver_reply &reply, struct ethtool_drvinfo *pinfo)
{
    fill_field(pinfo->driver, reply.driver);
    fill_field(pinfo->version, reply.version);
    fill_field(pinfo->fw_version, reply.firmware);
    fill_field(pinfo->bus_info, reply.bus);
    pinfo->eedump_len = static_cast<uint32_t>(reply.eeprom.size());
    return 0;
}

int answer_eeprom(const driver_reply &reply, struct ethtool_eeprom *peeprom)
{
    uint64_t end = static_cast<uint64_t>(peeprom->offset) + peeprom->len;
    if (peeprom->len == 0 || end > reply.eeprom.size()) {
        return fail_with(EINVAL);
    }
    peeprom->magic = reply.eeprom_magic;
    std::memcpy(peeprom->data, reply.eeprom.data() + peeprom->offset, peeprom->len);
    return 0;
}

int answer(const expected_request &entry, char *pdata)
{
    if (entry.error != 0) {
        return fail_with(entry.error);
    }
    switch (entry.cmd) {
    case ETHTOOL_GDRVINFO:
        return answer_drvinfo(entry.reply, reinterpret_cast<struct ethtool_drvinfo *>(pdata));
    case ETHTOOL_GLINK:
        reinterpret_cast<struct ethtool_value *>(pdata)->data = entry.reply.link;
        return 0;
    case ETHTOOL_GEEPROM:
        return answer_eeprom(entry.reply, reinterpret_cast<struct ethtool_eeprom *>(pdata));
    default:
        return fail_with(EOPNOTSUPP);
    }
}

// Answers into *presult when the script names the interface; false leaves
// the request to the kernel.
bool answer_scripted(const struct ifreq *pifr, uint32_t cmd, int *presult)
{
    std::string_view name(pifr->ifr_name, strnlen(pifr->ifr_name, IFNAMSIZ));
    bool named = false;
    for (const expected_request &entry : driver_script()) {
        if (entry.name == name && entry.cmd == cmd) {
            *presult = answer(entry, pifr->ifr_data);
            return true;
        }
        named = named || entry.name == name;
    }
    // Link settings come from the real (veth) interface, as sysfs shows them.
    if (named && cmd != ETHTOOL_GSET) {
        *presult = fail_with(EOPNOTSUPP);
    }
    return named && cmd != ETHTOOL_GSET;
}

// Logs the request; its command.
uint32_t note_request(const char *pdata)
{
    struct ethtool_eeprom header{};
    std::memcpy(&header.cmd, pdata, sizeof(header.cmd));
    if (header.cmd == ETHTOOL_GEEPROM) {
        std::memcpy(&header, pdata, sizeof(header));
    }
    driver_requests().push_back({header.cmd, header.offset, header.len});
    return header.cmd;
}

using ioctl_fn = int (*)(int, unsigned long, ...);

ioctl_fn real_ioctl()
{
    static ioctl_fn pnext = reinterpret_cast<ioctl_fn>(dlsym(RTLD_NEXT, "ioctl"));
    return pnext;
}

// The stand-in serves this process only: programs it starts (the shell and
// the management tools) are real processes of the fake host.
__attribute__((constructor)) void fake_driver_init()
{
    unsetenv("LD_PRELOAD");
    if (const char *ppath = std::getenv("TARVEX_FAKE_DRIVER")) {
        load_script(ppath);
    }
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void *parg = va_arg(args, void *);
    va_end(args);
    auto *pifr = static_cast<struct ifreq *>(parg);
    if (request == SIOCETHTOOL && pifr != nullptr && pifr->ifr_data != nullptr) {
        uint32_t cmd = note_request(pifr->ifr_data);
        int result = 0;
        if (answer_scripted(pifr, cmd, &result)) {
            return result;
        }
    }
    return real_ioctl()(fd, request, parg);
}
