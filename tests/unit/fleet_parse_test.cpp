// SPDX-License-Identifier: MIT
// os-release values in each quoting form, firmware placeholders, and the
// PCI ID database reader keeping only the wanted names.
#include <gtest/gtest.h>

#include "bounded_run.h"
#include "fleet_parse.h"
#include "open_descriptors.h"

namespace {

TEST(OsRelease, EachQuotingFormAndTheLastAssignment)
{
    fleet::os_release release = fleet::parse_os_release("# comment\n"
                                                        "NAME=\"Demo \\\"Linux\\\" \\$x \\\\ \\` \\n\"\n"
                                                        "ID=demo\n"
                                                        "VERSION_ID='9.4 \"x\" \\$'\n"
                                                        "PRETTY_NAME=\"unterminated\n"
                                                        "ID=later");
    EXPECT_EQ(release.name, "Demo \"Linux\" $x \\ ` \\n");
    EXPECT_EQ(release.version_id, "9.4 \"x\" \\$");
    EXPECT_EQ(release.id, "later");
    EXPECT_FALSE(release.pretty_name);
}

TEST(DmiValue, PlaceholdersAndBlanksAreNoValue)
{
    EXPECT_EQ(fleet::clean_dmi_value("  Demo Systems \n"), "Demo Systems");
    for (const char *ptext : {"", " \n", "to be filled by o.e.m.", "DEFAULT STRING", "0123456789\n"}) {
        EXPECT_FALSE(fleet::clean_dmi_value(ptext)) << ptext;
    }
}

TEST(PciIds, KeepsOnlyTheWantedNames)
{
    fleet::pci_names_reader reader;
    reader.wanted = {{0x14e4, 0x1648, 0x1c5e, 0x7160}, {0x8086, 0x105e, 0, 0}};
    for (const char *pline : {"# 14e4  comment", "1000  Other Vendor", "\t0001  Other device", "14e4  Demo Silicon",
                              "\t1600  Unwanted device", "\t\t1c5e 7160  Unwanted subsystem",
                              "\t1648  DS5704", "\t\t1c5e 7161  Other subsystem", "\t\t1c5e 7160  Dual Port",
                              "8086  Demo Chips", "C 02  Network controller", "\t00  Ethernet"}) {
        reader.take_line(pline);
    }
    EXPECT_EQ(reader.vendors, (std::map<uint32_t, std::string>{{0x14e4, "Demo Silicon"}, {0x8086, "Demo Chips"}}));
    EXPECT_EQ(reader.devices, (std::map<uint64_t, std::string>{{0x14e41648, "DS5704"}}));
    ASSERT_EQ(reader.subsystems.size(), 1U);
    EXPECT_EQ(reader.subsystems.begin()->second, "Dual Port");
}

// The shell's own failures are the run's; a tool's ordinary status is not.
TEST(BoundedRun, ShellFailuresAndTimeOut)
{
    int before = open_descriptors();
    const char *const missing[] = {"/nonexistent/lldpcli", nullptr};
    EXPECT_EQ(run_bounded(missing, 5).outcome, run_outcome::not_started);
    bounded_result done = run_bounded_shell("echo out; exit 3", 5);
    EXPECT_EQ(done.output, "out\n");
    EXPECT_FALSE(run_failed(done));
    for (const char *pcommand : {"/nonexistent", "kill -9 $$", "exit 126", "sh -c 'kill -9 $$'"}) {
        EXPECT_TRUE(run_failed(run_bounded_shell(pcommand, 5))) << pcommand;
    }
    bounded_result late = run_bounded_shell("echo partial; sleep 30", 1);
    EXPECT_EQ(late.outcome, run_outcome::timed_out);
    EXPECT_EQ(late.output, "");
    EXPECT_EQ(open_descriptors(), before);
}

} // namespace
