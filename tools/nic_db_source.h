// SPDX-License-Identifier: MIT
// Reader of the catalogue's data file (common/nic_db.txt): the generator
// turns its rows into common/nic_db.h, and the tests compare the built table
// and binary against it.
#ifndef TARVEX_NIC_DB_SOURCE_H
#define TARVEX_NIC_DB_SOURCE_H

#include <array>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// Longest model name a row may carry: the table's name field keeps one more
// byte for the terminating zero.
inline constexpr std::size_t nic_db_source_name_max = 59;

struct nic_db_source_row {
    int line = 0;                       // line of the data file, for messages
    std::array<uint32_t, 4> ids{};      // vendor, device, subsystem vendor, subsystem device
    std::string oem;
    std::string pca_part_number;
    std::string spares_part_number;
    std::string board_rev;
    std::string port_type;
    std::string bus_type;
    std::string name;                   // plain model name, empty for none
};

// Reads every row of the data file.  Blank lines and lines beginning with '#'
// are skipped.  On a malformed line returns false with "line N: reason" in
// *perror and leaves *prows holding the rows read so far.
bool read_nic_db_source(std::istream &input, std::vector<nic_db_source_row> *prows, std::string *perror);

#endif
