#include "platform/WorkFolder.h"

#include <sched.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <regex>
#include <vector>

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
        Platform::RunLock first(lockFile);
        EXPECT_EQ(first.GetState(), Platform::RunLock::State::Held);
        Platform::RunLock second(lockFile);
        EXPECT_EQ(second.GetState(), Platform::RunLock::State::Busy);
    }
    Platform::RunLock again(lockFile);
    EXPECT_EQ(again.GetState(), Platform::RunLock::State::Held);
}

TEST_F(WorkFolder, LockFileGoesWithTheRunThatMadeItOnlyWhenAsked)
{
    const std::wstring lockFile = (base / "Halvex.lock").wstring();
    {
        const Platform::RunLock first(lockFile, 0600, Platform::RunLock::File::OnlyALock);
        ASSERT_EQ(first.GetState(), Platform::RunLock::State::Held);
        const Platform::RunLock second(lockFile, 0600, Platform::RunLock::File::OnlyALock);
        EXPECT_EQ(second.GetState(), Platform::RunLock::State::Busy);
    }
    EXPECT_FALSE(fs::exists(base / "Halvex.lock"))
        << "the busy run leaves the holder's file alone; the holder removes it";
    {
        const Platform::RunLock kept(lockFile);
        EXPECT_EQ(kept.GetState(), Platform::RunLock::State::Held);
    }
    EXPECT_TRUE(fs::exists(base / "Halvex.lock"));
}

// Runs that remove their lock file as they end must still exclude each other: four
// processes take and release the lock as fast as they can, and never two hold it at once.
TEST_F(WorkFolder, RemovedLockFilesStillExcludeConcurrentRuns)
{
    const std::wstring lockFile = (base / "Halvex.lock").wstring();
    struct Shared {
        std::atomic<int> holders{0};
        std::atomic<int> overlaps{0};
        std::atomic<int> held{0};
    };
    void* memory = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    auto* shared = new (memory) Shared;
    std::vector<pid_t> children;
    for (int child = 0; child < 4; ++child) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int turn = 0; turn < 2000; ++turn) {
                const Platform::RunLock lock(lockFile, 0600, Platform::RunLock::File::OnlyALock);
                if (lock.GetState() != Platform::RunLock::State::Held)
                    continue;
                if (shared->holders.fetch_add(1) != 0)
                    shared->overlaps.fetch_add(1);
                shared->held.fetch_add(1);
                ::sched_yield();
                shared->holders.fetch_sub(1);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(shared->overlaps.load(), 0);
    EXPECT_GT(shared->held.load(), 0);
    EXPECT_FALSE(fs::exists(base / "Halvex.lock"));
    ::munmap(memory, sizeof(Shared));
}

// A lock that is only a lock names its holder to a run it keeps out, and is not used where
// anyone else could have made it or could change it.
TEST_F(WorkFolder, LockOnlyFileNamesItsHolderAndIsRefusedWhereOthersReach)
{
    const fs::path folder = base / "locks";
    const std::wstring lockFile = (folder / "Halvex.lock").wstring();
    {
        const Platform::RunLock first(lockFile, 0600, Platform::RunLock::File::OnlyALock);
        ASSERT_EQ(first.GetState(), Platform::RunLock::State::Held);
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all) << "made for the user alone";
        const Platform::RunLock second(lockFile, 0600, Platform::RunLock::File::OnlyALock);
        EXPECT_EQ(second.GetState(), Platform::RunLock::State::Busy);
        EXPECT_TRUE(std::regex_match(second.Holder(),
                                     std::regex("process " + std::to_string(::getpid()) +
                                                " since [0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}")))
            << second.Holder();
    }
    fs::remove_all(folder);

    struct Case {
        const char* name;
        std::function<void()> spoil;
        bool needsRoot;
    };
    const Case cases[] = {
        {"a folder others may write to",
         [&] {
             fs::create_directory(folder);
             fs::permissions(folder, fs::perms::all);
         },
         false},
        {"a folder its group may write to",
         [&] {
             fs::create_directory(folder);
             fs::permissions(folder, fs::perms::owner_all | fs::perms::group_all);
         },
         false},
        {"a folder that is a link",
         [&] {
             fs::create_directory(base / "elsewhere");
             fs::create_directory_symlink(base / "elsewhere", folder);
         },
         false},
        {"a file where the folder should be", [&] { std::ofstream(folder) << "x"; }, false},
        {"a lock file others may write to",
         [&] {
             fs::create_directory(folder);
             std::ofstream(folder / "Halvex.lock") << "";
             fs::permissions(folder / "Halvex.lock",
                             fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_write);
         },
         false},
        {"a lock file that is a folder", [&] { fs::create_directories(folder / "Halvex.lock"); }, false},
        {"a lock file that is a link",
         [&] {
             fs::create_directory(folder);
             fs::create_symlink(base / "nowhere", folder / "Halvex.lock");
         },
         false},
        {"a folder of another user",
         [&] {
             fs::create_directory(folder);
             ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
         },
         true},
        {"a lock file of another user",
         [&] {
             fs::create_directory(folder);
             std::ofstream(folder / "Halvex.lock") << "";
             ASSERT_EQ(::chown((folder / "Halvex.lock").c_str(), 65534, 65534), 0);
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && ::geteuid() != 0)
            continue;
        c.spoil();
        const Platform::RunLock lock(lockFile, 0600, Platform::RunLock::File::OnlyALock);
        EXPECT_EQ(lock.GetState(), Platform::RunLock::State::Unusable);
        EXPECT_EQ(lock.Error(), EPERM);
        EXPECT_FALSE(fs::exists(base / "nowhere"));
        fs::remove_all(folder);
        fs::remove_all(base / "elsewhere");
    }
}

TEST_F(WorkFolder, LinkedLockFileIsNotFollowed)
{
    fs::create_symlink(base / "elsewhere", base / "Halvex.lock");
    Platform::RunLock lock((base / "Halvex.lock").wstring());
    EXPECT_EQ(lock.GetState(), Platform::RunLock::State::Unusable);
    EXPECT_FALSE(fs::exists(base / "elsewhere"));
}

}  // namespace
