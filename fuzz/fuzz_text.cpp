// SPDX-License-Identifier: MIT
// Text reading helpers: trim_chars on any string and set, token selection
// on any line and token.  Input: one length byte, that many bytes of set
// (or token), then the string (or line).
// Properties: trim_chars leaves exactly the text between the first and the
// last byte outside the set; a line is selected exactly when its text after
// the leading spaces begins with the token.
#include "common_utilities.h"
#include "fuzz_check.h"
#include "host_query_parse.h"

#include <cstring>
#include <vector>

static std::string reference_trim(const std::string &text, const std::string &set)
{
    if (set.empty()) {
        return text;
    }
    size_t first = text.find_first_not_of(set);
    if (first == std::string::npos) {
        return "";
    }
    size_t last = text.find_last_not_of(set);
    return text.substr(first, last - first + 1);
}

static void check_trim(const std::string &text, const std::string &set)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    std::vector<char> set_buffer(set.begin(), set.end());
    set_buffer.push_back('\0');
    trim_chars(buffer.data(), set_buffer.data());
    FUZZ_CHECK(std::string(buffer.data()) == reference_trim(text, set));
}

static void check_token(std::string_view line, std::string_view token)
{
    std::string_view rest = line.substr(std::min(line.find_first_not_of(' '), line.size()));
    bool expected = rest.size() >= token.size() && rest.compare(0, token.size(), token) == 0;
    FUZZ_CHECK(host_query::token_line_selected(line, token) == expected);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pdata, size_t size)
{
    if (size == 0) {
        return 0;
    }
    size_t head = std::min<size_t>(pdata[0], size - 1);
    std::string_view first = as_text(pdata + 1, head);
    std::string_view second = as_text(pdata + 1 + head, size - 1 - head);
    // trim_chars works on C strings: both end at their first NUL.
    check_trim(std::string(second.substr(0, second.find('\0'))), std::string(first.substr(0, first.find('\0'))));
    check_token(second, first);
    return 0;
}
