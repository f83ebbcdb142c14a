// SPDX-License-Identifier: MIT
// get_slot_info on bus addresses it must not look up: every output -1,
// result 1, and only the three-colon form says anything (on standard
// output).  None of these reaches the port map, so the process-wide map is
// left unbuilt.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common_utilities.h"

namespace {

struct slot_answer {
    int32_t rc;
    int32_t values[4];
    std::string out;
};

slot_answer ask(char *pbus_info)
{
    slot_answer answer{0, {7, 7, 7, 7}, ""};
    testing::internal::CaptureStdout();
    answer.rc = get_slot_info(pbus_info, &answer.values[0], &answer.values[1], &answer.values[2], &answer.values[3]);
    answer.out = testing::internal::GetCapturedStdout();
    return answer;
}

TEST(GetSlotInfo, AddressesThatNameNoFunctionFailBeforeAnyLookup)
{
    char empty[] = "";
    char no_colon[] = "usb-1.2";
    char bad_field[] = "0000:zz:00.1";
    char no_function[] = "0b:00";
    char too_wide[] = "0000:100000000:00.0";
    for (char *ptext : {static_cast<char *>(nullptr), empty, no_colon, bad_field, no_function, too_wide}) {
        slot_answer answer = ask(ptext);
        EXPECT_EQ(answer.rc, 1) << (ptext ? ptext : "(none)");
        EXPECT_EQ(answer.values[0], -1);
        EXPECT_EQ(answer.values[1], -1);
        EXPECT_EQ(answer.values[2], -1);
        EXPECT_EQ(answer.values[3], -1);
        EXPECT_EQ(answer.out, "") << "silent for " << (ptext ? ptext : "(none)");
    }
}

TEST(GetSlotInfo, ThreeColonsWarnOnStandardOutputWithANewline)
{
    char text[] = "0000:0b:00:00.1";
    slot_answer answer = ask(text);
    EXPECT_EQ(answer.rc, 1);
    EXPECT_EQ(answer.values[0], -1);
    EXPECT_EQ(answer.values[3], -1);
    const std::string prefix = "WARNING: unable to parse \"0000:0b:00:00.1\", common_utilities_slot.cpp,";
    ASSERT_EQ(answer.out.compare(0, prefix.size(), prefix), 0) << answer.out;
    ASSERT_FALSE(answer.out.empty());
    EXPECT_EQ(answer.out.back(), '\n');
    EXPECT_EQ(answer.out.find('\n'), answer.out.size() - 1) << "one line";
}

} // namespace
