#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "platform/Sha256.h"
#include "tests/support/TempDir.h"

namespace {

// Published test vectors (FIPS 180-4 examples and the usual extras).
TEST(Sha256, KnownVectors)
{
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CSha256::Hex(c.message), c.digest) << c.message.size() << " bytes";
}

// Against the system's sha256sum at the lengths where the padding changes
// shape (one block or two for the length field), fed in uneven pieces so
// that the block buffer must join them.
TEST(Sha256, AgreesWithSha256sumAroundBlockEdges)
{
    CTempDir dir;
    std::map<std::string, std::string> ours;
    std::string command = "sha256sum";
    for (std::size_t length : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 4099u}) {
        std::string bytes;
        for (std::size_t i = 0; i < length; ++i)
            bytes += char((i * 131 + length) & 0xFF);
        const std::string path = dir.File("f" + std::to_string(length));
        std::ofstream(path, std::ios::binary) << bytes;
        CSha256 hash;
        for (std::size_t at = 0; at < length; at += 1 + at % 67)
            hash.Update(std::string_view(bytes).substr(at, 1 + at % 67));
        std::string hex;
        for (std::uint8_t byte : hash.Final()) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", byte);
            hex += two;
        }
        ours[path] = hex;
        command += " '" + path + "'";
    }
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[4096];
    std::size_t seen = 0;
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        const std::string path = text.substr(66, text.size() - 67);
        EXPECT_EQ(ours[path], text.substr(0, 64)) << path;
        ++seen;
    }
    ASSERT_EQ(::pclose(pipe), 0) << "sha256sum did not run";
    EXPECT_EQ(seen, ours.size());
}

} // namespace
