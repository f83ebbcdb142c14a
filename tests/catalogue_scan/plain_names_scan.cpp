// SPDX-License-Identifier: MIT
// Scans a built program for the catalogue's model names.  Fails when any
// 16-byte stretch of a plain name (or a whole shorter name) occurs in it, and
// also when a scrambled name is missing: that proves the table is in the
// file and the search would see a name stored there.
//
//   plain_names_scan PROGRAM DATA_FILE
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "encode_string.h"
#include "nic_db_source.h"

namespace {

constexpr size_t window = 16;
constexpr size_t shortest_name_checked = 4;

bool read_file(const char *ppath, std::string *pcontents)
{
    std::ifstream file(ppath, std::ios::binary);
    pcontents->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return file.good() || file.eof();
}

// The first stretch of the name found in the program, or empty.
std::string plain_stretch_found(const std::string &program, const std::string &name)
{
    size_t width = std::min(window, name.size());
    for (size_t start = 0; start + width <= name.size(); start++) {
        std::string stretch = name.substr(start, width);
        if (program.find(stretch) != std::string::npos) {
            return stretch;
        }
    }
    return "";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: plain_names_scan PROGRAM DATA_FILE\n");
        return 2;
    }
    std::string program;
    std::ifstream data(argv[2]);
    std::vector<nic_db_source_row> rows;
    std::string error;
    if (!read_file(argv[1], &program) || program.empty() || !read_nic_db_source(data, &rows, &error) ||
        rows.empty()) {
        std::fprintf(stderr, "cannot read %s or %s %s\n", argv[1], argv[2], error.c_str());
        return 2;
    }
    int failures = 0;
    int names_checked = 0;
    for (const nic_db_source_row &row : rows) {
        if (row.name.size() < shortest_name_checked) {
            continue;
        }
        names_checked++;
        std::string stretch = plain_stretch_found(program, row.name);
        if (!stretch.empty()) {
            std::printf("plain model name text \"%s\" (line %d) found in %s\n", stretch.c_str(), row.line, argv[1]);
            failures++;
        }
        std::string scrambled = row.name;
        encode_string(scrambled.data(), static_cast<int32_t>(scrambled.size()));
        if (program.find(scrambled) == std::string::npos) {
            std::printf("scrambled model name of line %d missing from %s\n", row.line, argv[1]);
            failures++;
        }
    }
    std::printf("%d model names checked in %s (%zu bytes): %d problems\n", names_checked, argv[1], program.size(),
                failures);
    return failures == 0 && names_checked > 0 ? 0 : 1;
}
