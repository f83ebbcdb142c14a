// SPDX-License-Identifier: MIT
// Reader of the catalogue's data file.
#include "nic_db_source.h"

#include <string_view>

#include "number_scan.h"

namespace {

// Texts are emitted as C string literals: keep them to printable ASCII and
// leave out the two characters a literal would need to escape.
bool text_char_allowed(char c)
{
    return c >= 0x20 && c <= 0x7E && c != '"' && c != '\\';
}

void skip_blanks(std::string_view &rest)
{
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t' || rest.front() == '\r')) {
        rest.remove_prefix(1);
    }
}

// A PCI id: "0x" and one to four hexadecimal digits.
bool take_id(std::string_view &rest, uint32_t *pvalue, std::string *preason)
{
    skip_blanks(rest);
    if (rest.size() < 3 || rest[0] != '0' || (rest[1] != 'x' && rest[1] != 'X')) {
        *preason = "expected a hexadecimal id such as 0x8086";
        return false;
    }
    rest.remove_prefix(2);
    std::string_view digits = rest.substr(0, rest.find_first_of(" \t"));
    if (!scan_x_width(digits, 4, pvalue)) {
        *preason = "a PCI id has one to four hexadecimal digits";
        return false;
    }
    rest.remove_prefix(digits.size());
    return true;
}

bool take_text(std::string_view &rest, std::string *ptext, std::string *preason)
{
    skip_blanks(rest);
    if (rest.empty() || rest.front() != '"') {
        *preason = "expected a quoted text";
        return false;
    }
    rest.remove_prefix(1);
    std::size_t end = rest.find('"');
    if (end == std::string_view::npos) {
        *preason = "unterminated quoted text";
        return false;
    }
    for (char c : rest.substr(0, end)) {
        if (!text_char_allowed(c)) {
            *preason = "texts hold printable ASCII without backslashes";
            return false;
        }
    }
    ptext->assign(rest.substr(0, end));
    rest.remove_prefix(end + 1);
    return true;
}

bool parse_row(std::string_view rest, nic_db_source_row *prow, std::string *preason)
{
    for (uint32_t &id : prow->ids) {
        if (!take_id(rest, &id, preason)) {
            return false;
        }
    }
    std::string *ptexts[] = {&prow->oem,       &prow->pca_part_number, &prow->spares_part_number,
                             &prow->board_rev, &prow->port_type,       &prow->bus_type,
                             &prow->name};
    for (std::string *ptext : ptexts) {
        if (!take_text(rest, ptext, preason)) {
            return false;
        }
    }
    skip_blanks(rest);
    if (!rest.empty()) {
        *preason = "unexpected text after the model name";
        return false;
    }
    if (prow->name.size() > nic_db_source_name_max) {
        *preason = "model name longer than " + std::to_string(nic_db_source_name_max) + " bytes";
        return false;
    }
    return true;
}

bool is_skipped(std::string_view line)
{
    skip_blanks(line);
    return line.empty() || line.front() == '#';
}

} // namespace

bool read_nic_db_source(std::istream &input, std::vector<nic_db_source_row> *prows, std::string *perror)
{
    std::string line;
    int line_number = 0;
    while (std::getline(input, line)) {
        line_number++;
        if (is_skipped(line)) {
            continue;
        }
        nic_db_source_row row;
        row.line = line_number;
        std::string reason;
        if (!parse_row(line, &row, &reason)) {
            *perror = "line " + std::to_string(line_number) + ": " + reason;
            return false;
        }
        prows->push_back(std::move(row));
    }
    return true;
}
