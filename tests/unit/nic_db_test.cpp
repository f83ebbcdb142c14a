// SPDX-License-Identifier: MIT
// The adapter catalogue: the compiled table against its data file, and the
// lookups and copies handed to callers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common_utilities.h"
#include "encode_string.h"
#include "host_query_parse.h"
#include "nic_db.h"
#include "nic_db_source.h"

namespace {

using key_t4 = std::array<int32_t, 4>;

const std::vector<nic_db_source_row> &source_rows()
{
    static const std::vector<nic_db_source_row> rows = [] {
        std::vector<nic_db_source_row> read;
        std::ifstream data(TARVEX_NIC_DB_DATA_FILE);
        std::string error;
        EXPECT_TRUE(data.good()) << TARVEX_NIC_DB_DATA_FILE;
        EXPECT_TRUE(read_nic_db_source(data, &read, &error)) << error;
        return read;
    }();
    return rows;
}

key_t4 key_of(const nic_db_source_row &row)
{
    return {static_cast<int32_t>(row.ids[0]), static_cast<int32_t>(row.ids[1]), static_cast<int32_t>(row.ids[2]),
            static_cast<int32_t>(row.ids[3])};
}

key_t4 key_of(const nic_hw_db_t &row)
{
    return {row.pci_ven, row.pci_dev, row.pci_sub_ven, row.pci_sub_dev};
}

std::map<key_t4, std::vector<size_t>> rows_by_key()
{
    std::map<key_t4, std::vector<size_t>> rows;
    for (size_t i = 0; i < source_rows().size(); i++) {
        rows[key_of(source_rows()[i])].push_back(i);
    }
    return rows;
}

int32_t lookup(key_t4 key, nic_hw_db_t **ppdbs)
{
    return get_db_struct_info(&key[0], &key[1], &key[2], &key[3], ppdbs);
}

// The first data-file row matching a predicate; fails the test when none does.
template <typename Predicate>
const nic_db_source_row &first_row_where(Predicate predicate)
{
    auto found = std::find_if(source_rows().begin(), source_rows().end(), predicate);
    EXPECT_NE(found, source_rows().end());
    return found != source_rows().end() ? *found : source_rows().front();
}

} // namespace

// The compiled table

TEST(NicDbTable, MatchesItsDataFileRowByRow)
{
    ASSERT_EQ(source_rows().size(), 100U);
    ASSERT_EQ(std::size(nic_hw), 100U);
    for (size_t i = 0; i < std::size(nic_hw); i++) {
        const nic_hw_db_t &row = nic_hw[i];
        const nic_db_source_row &source = source_rows()[i];
        SCOPED_TRACE("data file line " + std::to_string(source.line));
        EXPECT_EQ(key_of(row), key_of(source));
        const char *ptexts[] = {row.poem, row.ppca_part_number, row.pspares_part_number,
                                row.pboard_rev, row.pport_type, row.pbus_type};
        const std::string *pexpected[] = {&source.oem, &source.pca_part_number, &source.spares_part_number,
                                          &source.board_rev, &source.port_type, &source.bus_type};
        for (size_t t = 0; t < 6; t++) {
            ASSERT_NE(ptexts[t], nullptr) << "text column " << t;
            EXPECT_EQ(ptexts[t], *pexpected[t]);
        }
        EXPECT_FALSE(row.pbus_type[0] == '\0') << "bus type is never empty";
        ASSERT_EQ(row.inf_name_len, static_cast<int32_t>(source.name.size()));
        // Stored scrambled, zero-filled to the end of the field.
        std::string stored(row.inf_name, static_cast<size_t>(row.inf_name_len));
        EXPECT_EQ(stored.find('\0'), std::string::npos);
        EXPECT_TRUE(std::all_of(row.inf_name + row.inf_name_len, row.inf_name + sizeof(row.inf_name),
                                [](char c) { return c == '\0'; }));
        if (!source.name.empty()) {
            EXPECT_NE(stored, source.name) << "name stored in plain text";
        }
        decode_string(stored.data(), static_cast<int32_t>(stored.size()));
        EXPECT_EQ(stored, source.name);
    }
}

TEST(NicDbTable, HoldsTheRowsItsCallersNeed)
{
    std::vector<size_t> repeat_counts;
    for (const auto &[key, rows] : rows_by_key()) {
        if (rows.size() > 1) {
            repeat_counts.push_back(rows.size());
        }
    }
    std::sort(repeat_counts.begin(), repeat_counts.end());
    EXPECT_EQ(repeat_counts, (std::vector<size_t>{2, 2, 2, 2, 5})) << "keys in more than one row";

    auto has = [](auto predicate) { return std::any_of(source_rows().begin(), source_rows().end(), predicate); };
    EXPECT_TRUE(has([](const nic_db_source_row &r) { return r.ids[2] == 0 && r.ids[3] == 0; }));
    EXPECT_TRUE(has([](const nic_db_source_row &r) { return r.name.size() > 41; }));
    EXPECT_EQ(std::count_if(source_rows().begin(), source_rows().end(),
                            [](const nic_db_source_row &r) { return r.name.empty(); }),
              1);
}

// Each rule of the EEPROM table serves some catalogued adapter: the chips
// and boards it names are catalogued with its chip vendor, and no earlier
// rule hides it.
TEST(NicDbTable, EveryEepromRuleIsTheOneACataloguedAdapterFinds)
{
    for (const host_query::eeprom_rule &rule : host_query::eeprom_rules) {
        uint32_t function = rule.function == host_query::any_function ? 0 : rule.function;
        bool served = std::any_of(std::begin(nic_hw), std::end(nic_hw), [&](const nic_hw_db_t &r) {
            return host_query::find_eeprom_rule(r.pci_ven, r.pci_dev, r.pci_sub_dev, function) == &rule;
        });
        EXPECT_TRUE(served) << "rule " << &rule - host_query::eeprom_rules;
    }
}

// Lookups and copies

TEST(NicDbLookup, CopyHoldsPlainNameAndOwnsItsTexts)
{
    const nic_db_source_row &source = first_row_where([](const nic_db_source_row &r) { return r.name.size() > 41; });
    nic_hw_db_t *pfirst = nullptr;
    nic_hw_db_t *psecond = nullptr;
    ASSERT_EQ(lookup(key_of(source), &pfirst), 0);
    ASSERT_EQ(lookup(key_of(source), &psecond), 0);
    ASSERT_NE(pfirst, psecond);
    EXPECT_EQ(key_of(*pfirst), key_of(source));
    EXPECT_EQ(pfirst->inf_name_len, static_cast<int32_t>(source.name.size()));
    EXPECT_STREQ(pfirst->inf_name, source.name.c_str());
    EXPECT_STREQ(pfirst->ppca_part_number, source.pca_part_number.c_str());
    EXPECT_STREQ(pfirst->pbus_type, source.bus_type.c_str());

    // Independent copies: changing one leaves the other and the table alone.
    EXPECT_NE(pfirst->poem, psecond->poem);
    pfirst->inf_name[0] = '#';
    pfirst->pbus_type[0] = '#';
    EXPECT_STREQ(psecond->inf_name, source.name.c_str());
    EXPECT_STREQ(psecond->pbus_type, source.bus_type.c_str());

    // The library's table row is still scrambled.
    nic_hw_db_t *prow = nullptr;
    key_t4 key = key_of(source);
    ASSERT_EQ(get_nic_hw_info(&key[0], &key[1], &key[2], &key[3], &prow), 0);
    EXPECT_NE(std::string(prow->inf_name), source.name);
    EXPECT_STREQ(prow->pbus_type, source.bus_type.c_str());

    free_db_struct_info(&pfirst);
    EXPECT_EQ(pfirst, nullptr);
    free_db_struct_info(&pfirst);
    free_db_struct_info(&psecond);
    free_db_struct_info(nullptr);
    EXPECT_STREQ(prow->pbus_type, source.bus_type.c_str()) << "releasing a copy touched the table";
}

TEST(NicDbLookup, RepeatedKeysFindTheirFirstRow)
{
    for (const auto &[key, rows] : rows_by_key()) {
        if (rows.size() < 2) {
            continue;
        }
        nic_hw_db_t *pcopy = nullptr;
        ASSERT_EQ(lookup(key, &pcopy), 0);
        EXPECT_STREQ(pcopy->inf_name, source_rows()[rows.front()].name.c_str());
        EXPECT_STREQ(pcopy->ppca_part_number, source_rows()[rows.front()].pca_part_number.c_str());
        free_db_struct_info(&pcopy);
    }
}

TEST(NicDbLookup, ZeroSubsystemRowsMatchOnlyZeroSubsystemIds)
{
    const nic_db_source_row &source =
        first_row_where([](const nic_db_source_row &r) { return r.ids[2] == 0 && r.ids[3] == 0; });
    key_t4 key = key_of(source);
    EXPECT_EQ(non_orv_nic(&key[0], &key[1], &key[2], &key[3]), 0);
    nic_hw_db_t *pcopy = nullptr;
    ASSERT_EQ(lookup(key, &pcopy), 0);
    EXPECT_STREQ(pcopy->inf_name, source.name.c_str());
    free_db_struct_info(&pcopy);

    // Same chip with a board id the catalogue does not know.
    key[2] = 0x1C5E;
    key[3] = 0x7FFF;
    EXPECT_EQ(non_orv_nic(&key[0], &key[1], &key[2], &key[3]), 1);
}

TEST(NicDbLookup, RowWithoutNameGivesEmptyName)
{
    const nic_db_source_row &source = first_row_where([](const nic_db_source_row &r) { return r.name.empty(); });
    nic_hw_db_t *pcopy = nullptr;
    ASSERT_EQ(lookup(key_of(source), &pcopy), 0);
    EXPECT_EQ(pcopy->inf_name_len, 0);
    EXPECT_STREQ(pcopy->inf_name, "");
    EXPECT_STREQ(pcopy->ppca_part_number, source.pca_part_number.c_str());
    free_db_struct_info(&pcopy);
}

TEST(NicDbLookup, UnknownIdsAreNotFound)
{
    // Whole 32-bit values are compared: a vendor id with high bits set does
    // not match its low 16 bits.
    const nic_db_source_row &source = source_rows().front();
    key_t4 unknown_keys[] = {{0x8086, 0x7FFF, 0x1C5E, 0x7100},
                             {0, 0, 0, 0},
                             {-1, -1, -1, -1},
                             {static_cast<int32_t>(source.ids[0] | 0x10000), static_cast<int32_t>(source.ids[1]),
                              static_cast<int32_t>(source.ids[2]), static_cast<int32_t>(source.ids[3])}};
    for (key_t4 key : unknown_keys) {
        nic_hw_db_t sentinel{};
        nic_hw_db_t *pcopy = &sentinel;
        EXPECT_EQ(lookup(key, &pcopy), 1);
        EXPECT_EQ(pcopy, nullptr);
        EXPECT_EQ(non_orv_nic(&key[0], &key[1], &key[2], &key[3]), 1);
        nic_hw_db_t *prow = &sentinel;
        EXPECT_EQ(get_nic_hw_info(&key[0], &key[1], &key[2], &key[3], &prow), 1);
        EXPECT_EQ(prow, &sentinel) << "a miss must leave the caller's pointer alone";
    }
}

TEST(NicDbLookup, DecodeInfStringTerminatesAtLen)
{
    char buffer[8];
    std::memcpy(buffer, "abcdefg", 8);
    decode_inf_string(buffer, 0);
    decode_inf_string(buffer, -3);
    EXPECT_STREQ(buffer, "abcdefg");

    encode_string(buffer, 3);
    decode_inf_string(buffer, 3);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_STREQ(buffer + 4, "efg");
}
