// SPDX-License-Identifier: MIT
// Pretty JSON text as the library prints it, for the document's many small
// objects.
#include "json_text.h"

#include <array>
#include <charconv>
#include <string_view>

namespace json_text {

namespace {

using json = nlohmann::ordered_json;

// Bytes the library prints as they are: printable ASCII but for the quote
// and the backslash.  Anything else (an escape, a byte outside ASCII, which
// it checks as UTF-8) is left to the library.
constexpr std::array<bool, 256> plain_bytes = [] {
    std::array<bool, 256> plain{};
    for (size_t byte = 0x20; byte < 0x80; byte++) {
        plain[byte] = byte != '"' && byte != '\\';
    }
    return plain;
}();

bool plain_text(std::string_view text)
{
    bool plain = true;
    for (char c : text) {
        plain &= plain_bytes[static_cast<unsigned char>(c)];
    }
    return plain;
}

void append_by_library(std::string &text, const json &value, unsigned int indent)
{
    nlohmann::detail::serializer<json> printer(nlohmann::detail::output_adapter<char>(text), ' ',
                                              json::error_handler_t::replace);
    printer.dump(value, true, false, indent_step, indent);
}

void append_string(std::string &text, const std::string &value)
{
    if (!plain_text(value)) {
        append_by_library(text, json(value), 0);
        return;
    }
    text += '"';
    text += value;
    text += '"';
}

template <typename Number> void append_number(std::string &text, Number value)
{
    char digits[24];
    auto [end, error] = std::to_chars(digits, digits + sizeof(digits), value);
    static_cast<void>(error); // 24 places hold any 64-bit integer
    text.append(digits, end);
}

// An object's members or an array's elements, each on its own line one
// level further in; an empty one on the line it opens.
template <typename Items, typename AppendItem>
void append_container(std::string &text, const Items &items, std::string_view brackets, unsigned int indent,
                      AppendItem append_item)
{
    text += brackets[0];
    if (!items.empty()) {
        text += '\n';
        bool first = true;
        for (const auto &item : items) {
            text += first ? "" : ",\n";
            first = false;
            text.append(indent + indent_step, ' ');
            append_item(item);
        }
        text += '\n';
        text.append(indent, ' ');
    }
    text += brackets[1];
}

} // namespace

void append_pretty(std::string &text, const json &value, unsigned int indent)
{
    switch (value.type()) {
    case json::value_t::object:
        append_container(text, value.get_ref<const json::object_t &>(), "{}", indent, [&](const auto &member) {
            append_string(text, member.first);
            text += ": ";
            append_pretty(text, member.second, indent + indent_step);
        });
        return;
    case json::value_t::array:
        append_container(text, value.get_ref<const json::array_t &>(), "[]", indent,
                         [&](const json &element) { append_pretty(text, element, indent + indent_step); });
        return;
    case json::value_t::string:
        append_string(text, value.get_ref<const std::string &>());
        return;
    case json::value_t::boolean:
        text += value.get<bool>() ? "true" : "false";
        return;
    case json::value_t::null:
        text += "null";
        return;
    case json::value_t::number_integer:
        append_number(text, value.get<json::number_integer_t>());
        return;
    case json::value_t::number_unsigned:
        append_number(text, value.get<json::number_unsigned_t>());
        return;
    default: // floating-point numbers, binary values, discarded values
        append_by_library(text, value, indent);
        return;
    }
}

} // namespace json_text
