#include "platform/FileRemoval.h"

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

    Platform::ShrinkBeforeRemoval((folder / "tree" / "symlink.bin").wstring(), {});
    Platform::ShrinkBeforeRemoval((folder / "tree" / "link.bin").wstring(), {});
    Platform::ShrinkBeforeRemoval((folder / "missing.bin").wstring(), {});
    EXPECT_EQ(fs::file_size(kept), kLarge) << "neither a second name nor a symbolic link shrinks the file";
}

// `folder`/tree with a folder, an empty folder, a large file of its own, a second name
// and a link to the large file `folder`/kept.bin, a link to the folder `folder`/outside
// and a pipe.
void MakeTree(const fs::path& folder)
{
    const fs::path tree = folder / "tree";
    fs::create_directories(tree / "deeper" / "empty");
    const fs::path kept = folder / "kept.bin";
    WriteLarge(kept);
    fs::create_directories(folder / "outside");
    std::ofstream(folder / "outside" / "small.txt") << "stays";
    fs::create_hard_link(kept, tree / "link.bin");
    fs::create_symlink(kept, tree / "symlink.bin");
    fs::create_directory_symlink(folder / "outside", tree / "deeper" / "folder link");
    WriteLarge(tree / "deeper" / "own.bin");
    ASSERT_EQ(::mkfifo((tree / "pipe").c_str(), 0600), 0);
}

TEST(FileRemoval, TreeGoesWholeLargeFilesInPiecesLinksNotFollowed)
{
    const fs::path folder = TestSupport::ScratchFolder() / "tree removal";
    const fs::path tree = folder / "tree";
    const fs::path kept = folder / "kept.bin";
    ASSERT_NO_FATAL_FAILURE(MakeTree(folder));

    int pieces = 0;
    EXPECT_EQ(Platform::RemoveTree(tree.wstring(), [&pieces] { ++pieces; }), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
    EXPECT_GE(pieces, 2) << "own.bin went back in pieces";
    EXPECT_LE(pieces, 4) << "kept.bin, which has another name, was not shrunk";
    EXPECT_EQ(fs::file_size(kept), kLarge);
    EXPECT_TRUE(fs::exists(folder / "outside" / "small.txt"));

    fs::create_directory_symlink(folder / "outside", folder / "a link");
    EXPECT_EQ(Platform::RemoveTree((folder / "a link").wstring(), {}), ENOTDIR) << "a link is never taken for the tree";
    EXPECT_EQ(Platform::RemoveTree((folder / "missing").wstring(), {}), ENOENT);
    EXPECT_TRUE(fs::exists(folder / "outside" / "small.txt"));
}

// The removal on a thread of its own lists by kind alone: it must still tell folders from
// files and links, and follow none.
TEST(FileRemoval, TreeRemovalOnItsOwnThreadGoesWholeLinksNotFollowed)
{
    const fs::path folder = TestSupport::ScratchFolder() / "tree removal in the background";
    ASSERT_NO_FATAL_FAILURE(MakeTree(folder));
    fs::create_directory_symlink(folder / "outside", folder / "a link");

    Platform::TreeRemoval removal((folder / "tree").wstring());
    Platform::TreeRemoval ofALink((folder / "a link").wstring());
    EXPECT_EQ(removal.Wait({}), 0);
    EXPECT_EQ(ofALink.Wait([] {}), ENOTDIR) << "a link is never taken for the tree";
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "tree")));
    EXPECT_EQ(fs::file_size(folder / "kept.bin"), kLarge);
    EXPECT_TRUE(fs::exists(folder / "outside" / "small.txt"));
    EXPECT_TRUE(fs::is_symlink(folder / "a link"));
}

}  // namespace
