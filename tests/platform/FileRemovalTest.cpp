#include "platform/FileRemoval.h"

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TestFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t kLarge = 100 << 20;

void WriteLarge(const fs::path& path)
{
    std::ofstream file(path, std::ios::binary);
    file.seekp(static_cast<std::streamoff>(kLarge - 1));
    file.put('z');
}

TEST(FileRemoval, OnlyAFileWithNoOtherNameIsShrunkAndInPieces)
{
    const fs::path folder = TestSupport::ScratchFolder() / "removal";
    fs::create_directories(folder / "tree" / "deeper");
    const fs::path kept = folder / "kept.bin";
    WriteLarge(kept);
    fs::create_hard_link(kept, folder / "tree" / "link.bin");
    fs::create_symlink(kept, folder / "tree" / "symlink.bin");
    WriteLarge(folder / "tree" / "deeper" / "own.bin");
    WriteLarge(folder / "alone.bin");

    int pieces = 0;
    Platform::ShrinkBeforeRemoval((folder / "alone.bin").wstring(), [&pieces] { ++pieces; });
    EXPECT_LE(fs::file_size(folder / "alone.bin"), 32u << 20);
    EXPECT_GE(pieces, 2) << "the blocks go back in pieces, with control handed back between them";

    Platform::ShrinkTreeBeforeRemoval((folder / "tree").wstring(), {});
    EXPECT_LE(fs::file_size(folder / "tree" / "deeper" / "own.bin"), 32u << 20);
    EXPECT_EQ(fs::file_size(kept), kLarge) << "neither a second name nor a symbolic link shrinks the file";

    Platform::ShrinkBeforeRemoval((folder / "tree" / "symlink.bin").wstring(), {});
    Platform::ShrinkBeforeRemoval((folder / "tree" / "link.bin").wstring(), {});
    Platform::ShrinkBeforeRemoval((folder / "missing.bin").wstring(), {});
    EXPECT_EQ(fs::file_size(kept), kLarge);
}

}  // namespace
