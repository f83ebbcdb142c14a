// SPDX-License-Identifier: MIT
// Name scrambling: encode and decode are inverse byte substitutions that
// touch exactly the counted bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <set>

#include "encode_string.h"

namespace {

std::array<char, 256> all_byte_values()
{
    std::array<char, 256> bytes{};
    for (int i = 0; i < 256; i++) {
        bytes[static_cast<size_t>(i)] = static_cast<char>(static_cast<unsigned char>(i));
    }
    return bytes;
}

} // namespace

TEST(EncodeString, IsAPermutationKeepingZeroAndDecodeUndoesIt)
{
    std::array<char, 256> bytes = all_byte_values();
    encode_string(bytes.data(), 256);
    std::set<unsigned char> images(reinterpret_cast<unsigned char *>(bytes.data()),
                                   reinterpret_cast<unsigned char *>(bytes.data()) + 256);
    EXPECT_EQ(images.size(), 256U) << "two byte values scramble to the same byte";
    EXPECT_EQ(bytes[0], '\0') << "a zero byte must stay zero so stored names stay C strings";
    EXPECT_NE(std::memcmp(bytes.data(), all_byte_values().data(), 256), 0) << "encoding changed nothing";

    decode_string(bytes.data(), 256);
    EXPECT_EQ(std::memcmp(bytes.data(), all_byte_values().data(), 256), 0);
}

TEST(EncodeString, EncodeAfterDecodeAlsoRestores)
{
    std::array<char, 256> bytes = all_byte_values();
    decode_string(bytes.data(), 256);
    encode_string(bytes.data(), 256);
    EXPECT_EQ(std::memcmp(bytes.data(), all_byte_values().data(), 256), 0);
}

TEST(EncodeString, TouchesExactlyLenBytes)
{
    const char original[] = "abc\xF0\x80z";
    for (int32_t len : {-5, -1, 0}) {
        char buffer[sizeof(original)];
        std::memcpy(buffer, original, sizeof(original));
        encode_string(buffer, len);
        decode_string(buffer, len);
        EXPECT_EQ(std::memcmp(buffer, original, sizeof(original)), 0) << "len " << len;
    }
    // Only the first three bytes change; the byte at index len and the rest
    // stay as they were.
    char buffer[sizeof(original)];
    std::memcpy(buffer, original, sizeof(original));
    encode_string(buffer, 3);
    EXPECT_EQ(std::memcmp(buffer + 3, original + 3, sizeof(original) - 3), 0);
    EXPECT_NE(std::memcmp(buffer, original, 3), 0);
    decode_string(buffer, 3);
    EXPECT_EQ(std::memcmp(buffer, original, sizeof(original)), 0);

    // A buffer of exactly len bytes: reading index len would be caught by
    // the address sanitizer build.
    auto exact = std::make_unique<char[]>(3);
    std::memcpy(exact.get(), "xyz", 3);
    encode_string(exact.get(), 3);
    decode_string(exact.get(), 3);
    EXPECT_EQ(std::memcmp(exact.get(), "xyz", 3), 0);
}
