// SPDX-License-Identifier: MIT
// Stand-in for kernel network drivers, loaded with LD_PRELOAD into a program
// under test on a fake host.  It answers the ethtool requests (SIOCETHTOOL)
// for the interfaces that the host description names in "nic" lines and
// passes every other ioctl, and every request for any other interface, to
// the C library.  The description's path comes from $TARVEX_FAKE_HOST; the
// format is described in tests/system/README.md.
//
// Answered requests: ETHTOOL_GDRVINFO (driver, version, firmware, bus
// address, EEPROM size), ETHTOOL_GLINK, ETHTOOL_GEEPROM.  Any of them can be
// made to fail with a given errno; other ethtool commands fail with
// EOPNOTSUPP, as a driver that does not offer them.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
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

namespace {

struct fake_nic {
    std::string name;
    std::string driver;
    std::string version;
    std::string firmware;
    std::string bus;
    uint32_t link = 1;
    // errno to fail a request with, by ethtool command; absent: answer it.
    std::map<uint32_t, int> failures;
    // EEPROM image; unset bytes read as 0.
    std::vector<uint8_t> eeprom;
    uint32_t eeprom_magic = 0;
};

// Decoding of the description's escapes (the subset of printf %b that names
// need): \\ \a \b \e \f \n \r \t \v \xHH \0NNN.
size_t decode_numeric_escape(std::string_view text, size_t pos, std::string &out)
{
    bool hex = text[pos] == 'x';
    size_t max_digits = hex ? 2 : 3;
    int base = hex ? 16 : 8;
    size_t i = pos + 1;
    int value = 0;
    size_t digits = 0;
    for (; i < text.size() && digits < max_digits; i++, digits++) {
        int digit = hex_digit_value(text[i]);
        if (digit < 0 || digit >= base) {
            break;
        }
        value = value * base + digit;
    }
    if (hex && digits == 0) {
        out += "\\x";
        return i;
    }
    out += static_cast<char>(value);
    return i;
}

std::string decode(std::string_view text)
{
    static const std::map<char, char> simple = {{'\\', '\\'}, {'a', '\a'}, {'b', '\b'}, {'e', '\x1b'},
                                                {'f', '\f'},  {'n', '\n'}, {'r', '\r'}, {'t', '\t'},
                                                {'v', '\v'}};
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] != '\\' || pos + 1 == text.size()) {
            out += text[pos++];
            continue;
        }
        char kind = text[pos + 1];
        if (kind == 'x' || kind == '0') {
            pos = decode_numeric_escape(text, pos + 1, out);
        } else if (auto it = simple.find(kind); it != simple.end()) {
            out += it->second;
            pos += 2;
        } else {
            out += text[pos++];
        }
    }
    return out;
}

[[noreturn]] void description_error(const std::string &line, const char *pwhat)
{
    std::fprintf(stderr, "fake driver: %s in host description line: %s\n", pwhat, line.c_str());
    std::_Exit(70);
}

int parse_errno(const std::string &text, const std::string &line)
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
        description_error(line, "bad errno");
    }
    return static_cast<int>(value);
}

// "OFFSET:HEXBYTES", both hexadecimal: bytes written into the EEPROM image.
void parse_eeprom(fake_nic &nic, const std::string &text, const std::string &line)
{
    size_t colon = text.find(':');
    if (colon == std::string::npos || (text.size() - colon - 1) % 2 != 0) {
        description_error(line, "bad eeprom (want OFFSET:HEXBYTES)");
    }
    // The end pointer must point into a string that outlives the check.
    std::string offset_text = text.substr(0, colon);
    char *pend = nullptr;
    unsigned long offset = std::strtoul(offset_text.c_str(), &pend, 16);
    if (colon == 0 || *pend != '\0' || offset > 0x10000) {
        description_error(line, "bad eeprom offset");
    }
    for (size_t i = colon + 1; i < text.size(); i += 2) {
        int high = hex_digit_value(text[i]);
        int low = hex_digit_value(text[i + 1]);
        if (high < 0 || low < 0) {
            description_error(line, "bad eeprom bytes");
        }
        size_t at = offset + (i - colon - 1) / 2;
        if (nic.eeprom.size() <= at) {
            nic.eeprom.resize(at + 1, 0);
        }
        nic.eeprom[at] = static_cast<uint8_t>(high * 16 + low);
    }
}

void apply_setting(fake_nic &nic, const std::string &key, const std::string &value, const std::string &line)
{
    if (key == "driver") {
        nic.driver = value;
    } else if (key == "version") {
        nic.version = value;
    } else if (key == "fw") {
        nic.firmware = value;
    } else if (key == "bus") {
        nic.bus = value;
    } else if (key == "link") {
        if (value != "up" && value != "down") {
            description_error(line, "link is up or down");
        }
        nic.link = value == "up" ? 1 : 0;
    } else if (key == "drvinfo_errno") {
        nic.failures[ETHTOOL_GDRVINFO] = parse_errno(value, line);
    } else if (key == "link_errno") {
        nic.failures[ETHTOOL_GLINK] = parse_errno(value, line);
    } else if (key == "eeprom_errno") {
        nic.failures[ETHTOOL_GEEPROM] = parse_errno(value, line);
    } else if (key == "eeprom") {
        parse_eeprom(nic, value, line);
    } else if (key == "eeprom_magic") {
        nic.eeprom_magic = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 0));
    } else {
        description_error(line, "unknown nic setting");
    }
}

// "nic NAME key=value ...": fields separated by blanks, escapes decoded.
fake_nic parse_nic_line(const std::string &line)
{
    std::istringstream fields(line);
    std::string word;
    fields >> word;
    fake_nic nic;
    if (!(fields >> word)) {
        description_error(line, "nic without a name");
    }
    nic.name = decode(word);
    while (fields >> word) {
        size_t eq = word.find('=');
        if (eq == std::string::npos) {
            description_error(line, "nic setting without '='");
        }
        apply_setting(nic, word.substr(0, eq), decode(word.substr(eq + 1)), line);
    }
    return nic;
}

std::vector<fake_nic> &fake_nics()
{
    static std::vector<fake_nic> nics;
    return nics;
}

void load_description(const char *ppath)
{
    // C stdio rather than a file stream: it fails cleanly when the program
    // runs short of descriptors on purpose.
    FILE *pfile = std::fopen(ppath, "r");
    if (pfile == nullptr) {
        std::fprintf(stderr, "fake driver: cannot read host description %s\n", ppath);
        std::_Exit(70);
    }
    char *praw = nullptr;
    size_t raw_size = 0;
    ssize_t got;
    while ((got = getline(&praw, &raw_size, pfile)) != -1) {
        std::string line(praw, static_cast<size_t>(got));
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        size_t start = line.find_first_not_of(" \t");
        if (start != std::string::npos && line.compare(start, 4, "nic ") == 0) {
            fake_nics().push_back(parse_nic_line(line.substr(start)));
        }
    }
    std::free(praw);
    std::fclose(pfile);
}

const fake_nic *find_nic(const struct ifreq *pifr)
{
    std::string_view name(pifr->ifr_name, strnlen(pifr->ifr_name, IFNAMSIZ));
    for (const fake_nic &nic : fake_nics()) {
        if (nic.name == name) {
            return &nic;
        }
    }
    return nullptr;
}

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

int answer_drvinfo(const fake_nic &nic, struct ethtool_drvinfo *pinfo)
{
    fill_field(pinfo->driver, nic.driver);
    fill_field(pinfo->version, nic.version);
    fill_field(pinfo->fw_version, nic.firmware);
    fill_field(pinfo->bus_info, nic.bus);
    pinfo->eedump_len = static_cast<uint32_t>(nic.eeprom.size());
    return 0;
}

int answer_eeprom(const fake_nic &nic, struct ethtool_eeprom *peeprom)
{
    uint64_t end = static_cast<uint64_t>(peeprom->offset) + peeprom->len;
    if (peeprom->len == 0 || end > nic.eeprom.size()) {
        return fail_with(EINVAL);
    }
    peeprom->magic = nic.eeprom_magic;
    std::memcpy(peeprom->data, nic.eeprom.data() + peeprom->offset, peeprom->len);
    return 0;
}

int answer_ethtool(const fake_nic &nic, struct ifreq *pifr)
{
    uint32_t cmd = 0;
    std::memcpy(&cmd, pifr->ifr_data, sizeof(cmd));
    if (auto it = nic.failures.find(cmd); it != nic.failures.end()) {
        return fail_with(it->second);
    }
    switch (cmd) {
    case ETHTOOL_GDRVINFO:
        return answer_drvinfo(nic, reinterpret_cast<struct ethtool_drvinfo *>(pifr->ifr_data));
    case ETHTOOL_GLINK:
        reinterpret_cast<struct ethtool_value *>(pifr->ifr_data)->data = nic.link;
        return 0;
    case ETHTOOL_GEEPROM:
        return answer_eeprom(nic, reinterpret_cast<struct ethtool_eeprom *>(pifr->ifr_data));
    default:
        return fail_with(EOPNOTSUPP);
    }
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
    if (const char *ppath = std::getenv("TARVEX_FAKE_HOST")) {
        load_description(ppath);
    }
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void *parg = va_arg(args, void *);
    va_end(args);
    if (request == SIOCETHTOOL && parg != nullptr) {
        auto *pifr = static_cast<struct ifreq *>(parg);
        if (const fake_nic *pnic = find_nic(pifr); pnic != nullptr && pifr->ifr_data != nullptr) {
            return answer_ethtool(*pnic, pifr);
        }
    }
    return real_ioctl()(fd, request, parg);
}
