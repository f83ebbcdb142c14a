// SPDX-License-Identifier: MIT
// A JSON value printed as its library's dump(2) prints it, byte for byte,
// without the library's general serialiser: tarvex-facts prints thousands
// of small objects, where that serialiser's per-byte checks cost more than
// the queries behind them.
#ifndef TARVEX_JSON_TEXT_H
#define TARVEX_JSON_TEXT_H

#include <string>

#include <nlohmann/json.hpp>

namespace json_text {

// The indentation that each level of the pretty text adds.
constexpr unsigned int indent_step = 2;

// Appends value as dump(2, ' ', false, replace) prints it when it stands
// indent spaces in (the members of an object or array get indent + 2).
void append_pretty(std::string &text, const nlohmann::ordered_json &value, unsigned int indent);

} // namespace json_text

#endif
