// SPDX-License-Identifier: MIT
// tarvex-facts' own printer gives the JSON library's pretty text byte for
// byte, also where it hands a value back to the library.
#include <gtest/gtest.h>

#include "json_text.h"

namespace {

using json = nlohmann::ordered_json;

TEST(JsonText, AsTheLibraryPrintsIt)
{
    json value = json::parse(R"({"name": "eth0", "empty": {}, "none": [], "null": null, "yes": true,
        "no": false, "int": -2147483648, "uint": 18446744073709551615, "float": 2.5,
        "nested": {"list": [{"a": 1}, [], {}, "x"], "deep": {"b": {"c": [null]}}},
        "escaped": "tab\there \"quoted\" back\\slash \u0001", "utf8": "caf\u00e9 \u00ff"})");
    value["invalid"] = std::string("bad\xff\xc3 byte");
    value["\x7f key"] = "del\x7f";
    for (unsigned int indent : {0U, 4U}) {
        std::string text;
        json_text::append_pretty(text, value, indent);
        std::string expected;
        nlohmann::detail::serializer<json> library(nlohmann::detail::output_adapter<char>(expected), ' ',
                                                  json::error_handler_t::replace);
        library.dump(value, true, false, 2, indent);
        EXPECT_EQ(text, expected) << indent;
    }
}

} // namespace
