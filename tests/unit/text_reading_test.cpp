// SPDX-License-Identifier: MIT
// Trimming, the line reader and token lines on temporary files.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common_utilities.h"
#include "open_descriptors.h"

namespace {

class TextFiles : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tarvex-text-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
    std::string write(const std::string &name, const std::string &content)
    {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string dir_;
};

std::vector<std::string> tokens(const std::string &path, const char *ptoken, int32_t remove_nl)
{
    char **pplines = reinterpret_cast<char **>(1);
    int32_t count = -1;
    int32_t result = read_tokens(const_cast<char *>(path.c_str()), const_cast<char *>(ptoken), remove_nl,
                                 &pplines, &count);
    EXPECT_EQ(result, count);
    EXPECT_EQ(pplines == nullptr, count == 0);
    std::vector<std::string> lines(pplines, pplines + count);
    free_read_tokens(&pplines, count);
    EXPECT_EQ(pplines, nullptr);
    return lines;
}

}  // namespace

TEST(TrimChars, StripsTheSetFromBothEndsOnly)
{
    const std::pair<std::string, std::string> cases[] = {
        {"  abc \n", "abc"},        {" two words\t", "two words"}, {"\t \n\t x\t \n ", "x"},
        {" \t\n \t", ""},           {"", ""},                      {"keep\tinside", "keep\tinside"},
    };
    for (const auto &[in, want] : cases) {
        std::string buffer = in;
        trim_chars(buffer.data(), const_cast<char *>(" \t\n"));
        EXPECT_STREQ(buffer.c_str(), want.c_str()) << '"' << in << '"';
    }
    char unchanged[] = "  x  ";
    trim_chars(unchanged, const_cast<char *>(""));
    EXPECT_STREQ(unchanged, "  x  ");
}

TEST_F(TextFiles, LineReaderStates)
{
    int before = open_descriptors();
    FILE *pfile;
    char *pline;
    size_t len;
    alloc_read_a_line_vars(&pfile, &pline, &len);
    std::string missing = dir_ + "/missing";
    EXPECT_EQ(read_a_line(missing.data(), &pfile, &pline, &len), -1);
    EXPECT_EQ(pfile, nullptr);
    free_read_a_line_vars(&pfile, &pline, &len);

    // An empty file opens, yields nothing and stays open until released.
    std::string empty = write("empty", "");
    std::string lines = write("lines", "first\nsecond");
    EXPECT_EQ(read_a_line(empty.data(), &pfile, &pline, &len), -1);
    EXPECT_NE(pfile, nullptr);
    EXPECT_EQ(open_descriptors(), before + 1);
    // While a stream is open another name is ignored.
    EXPECT_EQ(read_a_line(lines.data(), &pfile, &pline, &len), -1);
    free_read_a_line_vars(&pfile, &pline, &len);
    EXPECT_EQ(pfile, nullptr);
    EXPECT_EQ(pline, nullptr);
    EXPECT_EQ(len, 0U);

    EXPECT_EQ(read_a_line(lines.data(), &pfile, &pline, &len), 6);
    EXPECT_STREQ(pline, "first\n");
    EXPECT_EQ(read_a_line(nullptr, &pfile, &pline, &len), 6);
    EXPECT_STREQ(pline, "second");
    EXPECT_EQ(read_a_line(lines.data(), &pfile, &pline, &len), -1);
    free_read_a_line_vars(&pfile, &pline, &len);
    EXPECT_EQ(open_descriptors(), before);
}

TEST_F(TextFiles, TokenLinesSelectionAndNewlines)
{
    static const char content[] = "  NAME=a\n"
                                  "\tNAME=b\n"
                                  "#NAME=c\n"
                                  "NAME=d # note\r\n"
                                  "NAMESPACE=e\n"
                                  "other NAME\n"
                                  "NAME=f\0tail\n"
                                  "NAME=g";
    std::string path = write("conf", std::string(content, sizeof(content) - 1));
    EXPECT_EQ(tokens(path, "NAME", 1),
              (std::vector<std::string>{"  NAME=a", "NAME=d # note\r", "NAMESPACE=e", "NAME=f", "NAME=g"}));
    EXPECT_EQ(tokens(path, "NAME", 0),
              (std::vector<std::string>{"  NAME=a\n", "NAME=d # note\r\n", "NAMESPACE=e\n", "NAME=f", "NAME=g"}));
    EXPECT_EQ(tokens(path, "", 1).size(), 8U);
    EXPECT_TRUE(tokens(path, " NAME", 1).empty());
    EXPECT_TRUE(tokens(dir_ + "/missing", "NAME", 1).empty());

    char **pplines = nullptr;
    free_read_tokens(&pplines, 0);
    EXPECT_EQ(pplines, nullptr);
}

TEST_F(TextFiles, NoDescriptorOutlivesAThousandReads)
{
    std::string path = write("conf", "NAME=a\nNAME=b\n");
    int before = open_descriptors();
    for (int i = 0; i < 1000; i++) {
        ASSERT_EQ(tokens(path, "NAME", 1).size(), 2U);
        FILE *pfile;
        char *pline;
        size_t len;
        alloc_read_a_line_vars(&pfile, &pline, &len);
        ASSERT_EQ(read_a_line(path.data(), &pfile, &pline, &len), 7);
        free_read_a_line_vars(&pfile, &pline, &len);
    }
    EXPECT_EQ(open_descriptors(), before);
}
