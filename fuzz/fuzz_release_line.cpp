// SPDX-License-Identifier: MIT
// First lines of distribution release files: distribution, edition and
// major version.  Properties: the enumerations stay in range, the
// distribution follows the documented order of markers in any letter case,
// and the version is atoi's reading (clamped to int32_t) of what follows the
// marker; atoi_clamped agrees with strtoll clamped to int32_t.
#include "fuzz_check.h"
#include "host_query_parse.h"
#include "number_scan.h"

#include <algorithm>
#include <cctype>

static std::string upper(std::string_view text)
{
    std::string result(text);
    for (char &c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

static int32_t reference_int(const std::string &text)
{
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

static void check_version(const std::string &line, std::string_view marker, int32_t version)
{
    size_t pos = line.find(marker);
    if (pos == std::string::npos) {
        FUZZ_CHECK(version == 0);
    } else {
        FUZZ_CHECK(version == reference_int(line.substr(pos + marker.size())));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pdata, size_t size)
{
    std::string line = as_c_string(pdata, size);
    FUZZ_CHECK(atoi_clamped(line) == reference_int(line));

    host_query::distro_facts facts = host_query::classify_release_line(line);
    FUZZ_CHECK(facts.type >= unknown_distro_type && facts.type <= suse_es);
    std::string up = upper(line);
    if (up.find("RED HAT") != std::string::npos) {
        FUZZ_CHECK(facts.recognised && facts.name == rh_distro);
        check_version(up, " RELEASE ", facts.version);
    } else if (up.find("SUSE") != std::string::npos) {
        FUZZ_CHECK(facts.recognised && facts.name == suse_distro && facts.type == suse_es);
        check_version(up, " SERVER ", facts.version);
    } else if (up.find("FEDORA CORE") != std::string::npos) {
        FUZZ_CHECK(facts.recognised && facts.name == fedora_core_distro && facts.type == unknown_distro_type);
        check_version(up, " RELEASE ", facts.version);
    } else {
        FUZZ_CHECK(!facts.recognised && facts.name == unknown_distro && facts.version == 0);
    }
    return 0;
}
