#include "packaging/FileDigest.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "packaging/Sha256.h"
#include "support/TestFolder.h"

namespace {

namespace fs = std::filesystem;

// The digest read on its own thread, in pieces, is the digest of the whole file; what is
// not a readable regular file gives its error and no digest.
TEST(FileDigest, ReadsTheWholeFileOrTellsWhyNot)
{
    const fs::path folder = TestSupport::ScratchFolder() / "file digest";
    fs::create_directories(folder);
    // Longer than one piece of the read, and not a whole number of pieces.
    std::string bytes(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t index = 0; index < bytes.size(); ++index)
        bytes[index] = static_cast<char>(index * 7919 % 251);
    std::ofstream(folder / "package.exe", std::ios::binary) << bytes;
    std::ofstream(folder / "empty.exe", std::ios::binary);
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    const auto digestOf = [](const std::string& text) {
        Sha256 digest;
        digest.Update(text);
        return digest.HexDigest();
    };

    struct Case {
        const char* name;
        std::string hexDigest;
        int error;
    };
    const Case cases[] = {
        {"package.exe", digestOf(bytes), 0},
        {"empty.exe", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", 0},
        {"missing.exe", "", ENOENT},
        {"pipe", "", EINVAL},
    };
    for (const auto& c : cases) {
        FileDigest hashing(folder.wstring(), c.name);
        const FileDigest::Result result = hashing.Wait([] { return true; });
        EXPECT_EQ(result.error, c.error) << c.name;
        EXPECT_EQ(result.hexDigest, c.hexDigest) << c.name;
        if (c.error == 0) {
            EXPECT_EQ(hashing.BytesRead(), fs::file_size(folder / c.name)) << c.name;
        }
    }
}

}  // namespace
