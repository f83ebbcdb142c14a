// SPDX-License-Identifier: MIT
// The script of the driver stand-in (fake_driver.cpp): one table of the
// ethtool requests it expects, each naming the interface and the command and
// giving the reply, or the errno the request fails with.  On a fake host the
// stand-in fills the table from the description's nic lines; a test linked
// with it writes the table itself.
#ifndef TARVEX_TEST_FAKE_DRIVER_H
#define TARVEX_TEST_FAKE_DRIVER_H

#include <cstdint>
#include <string>
#include <vector>

// What a driver answers: its record (ETHTOOL_GDRVINFO; eedump_len is the
// EEPROM's size), its link (ETHTOOL_GLINK) and its EEPROM (ETHTOOL_GEEPROM;
// a read past the image's end fails with EINVAL).  Every member has a
// default, so a script names only the fields that matter to it.
struct driver_reply {
    std::string driver{}, version{}, firmware{}, bus{};
    uint32_t link = 1;
    std::vector<uint8_t> eeprom{};
    uint32_t eeprom_magic = 0;
};

struct expected_request {
    std::string name;  // the interface
    uint32_t cmd;      // the ethtool command
    int error;         // the errno it fails with; 0: answered from reply
    driver_reply reply;
};

// A command the table lacks for an interface it names fails with EOPNOTSUPP,
// as from a driver that does not offer it; requests for interfaces it does
// not name go to the kernel.
std::vector<expected_request> &driver_script();

// Every ethtool request the stand-in saw, in order: the command, and the
// offset and length of EEPROM reads.
struct seen_request {
    uint32_t cmd, offset, len;
    bool operator==(const seen_request &) const = default;
};
std::vector<seen_request> &driver_requests();

#endif
