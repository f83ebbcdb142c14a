// SPDX-License-Identifier: MIT
// Distribution detection from the release files, on an overlay of /etc in
// a private mount namespace (run through in_private_namespace.sh --overlay /etc).
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common_utilities.h"
#include "host_queries.h"
#include "host_test_support.h"

namespace {

const char *const release_files[] = {"/etc/redhat-release", "/etc/SuSE-release", "/etc/SUSE-release"};

struct detected {
    int32_t result;
    linux_distro_name_t name;
    linux_distro_type_t type;
    int32_t version;
    std::string official;  // "(untouched)" when the pointer was not written
};

detected detect()
{
    detected d{};
    d.official = handed_back_text(
        [&d](char **ppofficial) { d.result = detect_linux_distro(&d.name, &d.type, &d.version, ppofficial); });
    return d;
}

class ReleaseFiles : public testing::Test {
protected:
    void SetUp() override
    {
        if (!privately_mounted("/etc", overlayfs_magic)) {
            GTEST_SKIP() << "/etc is not a private overlay (run through in_private_namespace.sh --overlay /etc)";
        }
        remove_release_files();
    }
    static void remove_release_files()
    {
        for (const char *ppath : release_files) {
            std::remove(ppath);
        }
    }
    static void write(const char *ppath, const std::string &content)
    {
        std::ofstream(ppath, std::ios::binary) << content;
    }
};

}  // namespace

TEST_F(ReleaseFiles, NoReleaseFileLeavesTheNameUntouched)
{
    detected d = detect();
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.name, unknown_distro);
    EXPECT_EQ(d.type, unknown_distro_type);
    EXPECT_EQ(d.version, 0);
    EXPECT_EQ(d.official, "(untouched)");
    // An empty file yields no line either.
    write("/etc/redhat-release", "");
    EXPECT_EQ(detect().official, "(untouched)");
}

TEST_F(ReleaseFiles, FirstLineOfTheFirstFileThatHasOne)
{
    struct row {
        const char *path;
        std::string content;
        detected want;
    };
    const row rows[] = {
        {"/etc/redhat-release", "Red Hat Enterprise Linux ES release 4 (Nahant Update 4)\nSUSE Server 9\n",
         {0, rh_distro, rh_es, 4, "Red Hat Enterprise Linux ES release 4 (Nahant Update 4)"}},
        {"/etc/redhat-release", " \tfedora core release 6 (Zod) \t\n",
         {0, fedora_core_distro, unknown_distro_type, 6, "fedora core release 6 (Zod)"}},
        {"/etc/SuSE-release", "SUSE LINUX Enterprise Server 9 (i586)",
         {0, suse_distro, suse_es, 9, "SUSE LINUX Enterprise Server 9 (i586)"}},
        {"/etc/SUSE-release", "SUSE Linux Enterprise Server 11 (x86_64)\nVERSION = 11\n",
         {0, suse_distro, suse_es, 11, "SUSE Linux Enterprise Server 11 (x86_64)"}},
        {"/etc/redhat-release", "Debian GNU/Linux 12\nRed Hat release 5\n",
         {1, unknown_distro, unknown_distro_type, 0, "Debian GNU/Linux 12"}},
        {"/etc/redhat-release", std::string("Fedora\0 Core release 7\n", 24),
         {1, unknown_distro, unknown_distro_type, 0, "Fedora"}},
    };
    for (const row &r : rows) {
        remove_release_files();
        write(r.path, r.content);
        detected d = detect();
        EXPECT_EQ(d.result, r.want.result) << r.content;
        EXPECT_EQ(d.name, r.want.name) << r.content;
        EXPECT_EQ(d.type, r.want.type) << r.content;
        EXPECT_EQ(d.version, r.want.version) << r.content;
        EXPECT_EQ(d.official, r.want.official) << r.content;
    }
}

TEST_F(ReleaseFiles, FilesAreTriedInOrder)
{
    write("/etc/redhat-release", "");
    write("/etc/SuSE-release", "SUSE Linux Enterprise Server 10\n");
    write("/etc/SUSE-release", "Fedora Core release 3\n");
    EXPECT_EQ(detect().name, suse_distro);
    write("/etc/redhat-release", "Red Hat Enterprise Linux AS release 3\n");
    detected d = detect();
    EXPECT_EQ(d.name, rh_distro);
    EXPECT_EQ(d.type, rh_as);
    // The official name is optional.
    linux_distro_name_t name;
    linux_distro_type_t type;
    int32_t version;
    EXPECT_EQ(detect_linux_distro(&name, &type, &version, nullptr), 0);
    EXPECT_EQ(version, 3);
}

TEST_F(ReleaseFiles, NoDescriptorOutlivesAThousandDetections)
{
    write("/etc/SuSE-release", "SUSE Linux Enterprise Server 10\n");
    int before = open_descriptors();
    for (int i = 0; i < 1000; i++) {
        ASSERT_EQ(detect().version, 10);
    }
    EXPECT_EQ(open_descriptors(), before);
}

// Without a descriptor left, the programs' check names the first file it
// could not open (an absent one is no failure: the SUSE file read fine).
TEST_F(ReleaseFiles, ACheckedDetectionNamesTheFileItCouldNotOpen)
{
    linux_distro_name_t name;
    linux_distro_type_t type;
    int32_t version;
    release_file_failure failure;
    write("/etc/SuSE-release", "SUSE Linux Enterprise Server 10\n");
    EXPECT_EQ(detect_linux_distro_checked(&name, &type, &version, &failure), 0);
    EXPECT_EQ(failure.pfile, nullptr);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit low = {64, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> taken;
    for (int fd; (fd = dup(STDERR_FILENO)) >= 0;) {
        taken.push_back(fd);
    }
    EXPECT_EQ(detect_linux_distro_checked(&name, &type, &version, &failure), 1);
    std::for_each(taken.begin(), taken.end(), close);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_STREQ(failure.pfile, "/etc/redhat-release");
    EXPECT_EQ(failure.err, EMFILE);
}
