#include "platform/WorkFolder.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/TestFolder.h"

namespace {

namespace fs = std::filesystem;

class WorkFolder : public testing::Test {
protected:
    void SetUp() override
    {
        base = TestSupport::ScratchFolder() / "base";
        fs::create_directories(base);
    }
    fs::path base;
};

TEST_F(WorkFolder, PrivateFolderIsCreatedForTheUserAlone)
{
    const fs::path folder = base / "Halvex";
    EXPECT_FALSE(Platform::IsForeignFolder(folder.wstring())) << "an absent folder is not foreign";
    ASSERT_EQ(Platform::CreatePrivateFolder(folder.wstring()), 0);
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_FALSE(Platform::IsForeignFolder(folder.wstring()));
    EXPECT_EQ(Platform::CreatePrivateFolder(folder.wstring()), EEXIST);
}

TEST_F(WorkFolder, LinksAndFilesAreForeign)
{
    fs::create_directory(base / "target");
    fs::create_directory_symlink(base / "target", base / "dirlink");
    fs::create_symlink(base / "nowhere", base / "dangling");
    std::ofstream(base / "file") << "x";
    for (const char* name : {"dirlink", "dangling", "file"}) {
        EXPECT_TRUE(Platform::IsForeignFolder((base / name).wstring())) << name;
        EXPECT_NE(Platform::CreatePrivateFolder((base / name).wstring()), 0) << name;
    }
    EXPECT_TRUE(fs::is_empty(base / "target"));
}

TEST_F(WorkFolder, SecondRunLockIsBusyUntilTheFirstEnds)
{
    const std::wstring lockFile = (base / "Halvex.lock").wstring();
    {
        Platform::CRunLock first(lockFile);
        EXPECT_EQ(first.GetState(), Platform::CRunLock::State::Held);
        Platform::CRunLock second(lockFile);
        EXPECT_EQ(second.GetState(), Platform::CRunLock::State::Busy);
    }
    Platform::CRunLock again(lockFile);
    EXPECT_EQ(again.GetState(), Platform::CRunLock::State::Held);
}

TEST_F(WorkFolder, LinkedLockFileIsNotFollowed)
{
    fs::create_symlink(base / "elsewhere", base / "Halvex.lock");
    Platform::CRunLock lock((base / "Halvex.lock").wstring());
    EXPECT_EQ(lock.GetState(), Platform::CRunLock::State::Unusable);
    EXPECT_FALSE(fs::exists(base / "elsewhere"));
}

}  // namespace
