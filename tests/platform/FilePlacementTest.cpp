#include "platform/FilePlacement.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TestFolder.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct stat Status(const fs::path& path)
{
    struct stat status{};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status;
}

// A folder on another file system than the scratch folder, for the copy that cannot link:
// the machine's shared-memory tmpfs.
fs::path OtherFileSystem()
{
    const fs::path shm = "/dev/shm";
    if (!fs::is_directory(shm) || Status(shm).st_dev == Status(TestSupport::ScratchFolder()).st_dev)
        return {};
    char name[] = "/dev/shm/halvex-placement-XXXXXX";
    return ::mkdtemp(name) ? fs::path(name) : fs::path();
}

class FilePlacement : public testing::Test {
protected:
    void SetUp() override
    {
        folder = TestSupport::ScratchFolder() / "placement";
        fs::create_directories(folder);
        source = folder / "source.bin";
        // Three and a half pieces, with a byte that is no text.
        std::string bytes((14 << 20) + 123, 'p');
        bytes[7] = '\0';
        std::ofstream(source, std::ios::binary) << bytes;
        fs::permissions(source, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_exec);
        const struct timespec times[2] = {{1000, 0}, {1234567890, 123456789}};
        ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
        before = Status(source);
        other = OtherFileSystem();
    }
    void TearDown() override
    {
        if (!other.empty())
            fs::remove_all(other);
    }

    // The source is exactly as it was: bytes, time and permissions.
    void ExpectSourceUntouched()
    {
        const struct stat now = Status(source);
        EXPECT_EQ(now.st_mtim.tv_sec, before.st_mtim.tv_sec);
        EXPECT_EQ(now.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_EQ(now.st_mode, before.st_mode);
        EXPECT_EQ(now.st_size, before.st_size);
    }

    fs::path folder, source, other;
    struct stat before{};
};

TEST_F(FilePlacement, LinkedOnTheSameFileSystemCopiedElsewhereAlikeToAReader)
{
    if (other.empty())
        GTEST_SKIP() << "no second file system at /dev/shm";
    struct Case {
        const char* name;
        fs::path target;
        std::vector<Platform::FileWay> ways;
    };
    const Case cases[] = {
        {"same file system", folder / "linked.bin", {Platform::FileWay::Linked, Platform::FileWay::Cloned}},
        {"another file system", other / "copied.bin", {Platform::FileWay::Copied}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint64_t> reports;
        const auto placed = Platform::PlaceFile(source.wstring(), c.target.wstring(), [&reports](std::uint64_t bytes) {
            reports.push_back(bytes);
            return true;
        });
        ASSERT_EQ(placed.error, 0) << c.name;
        EXPECT_NE(std::find(c.ways.begin(), c.ways.end(), placed.way), c.ways.end()) << c.name;
        EXPECT_EQ(Read(c.target), Read(source)) << c.name;
        const struct stat copy = Status(c.target);
        EXPECT_EQ(copy.st_mtim.tv_sec, before.st_mtim.tv_sec) << c.name << ": the modification time is kept";
        EXPECT_EQ(copy.st_mtim.tv_nsec, before.st_mtim.tv_nsec) << c.name;
        EXPECT_EQ(copy.st_mode, before.st_mode) << c.name << ": the permissions are kept";
        ASSERT_FALSE(reports.empty()) << c.name;
        EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end())) << c.name;
        EXPECT_EQ(reports.back(), static_cast<std::uint64_t>(before.st_size)) << c.name;
        if (placed.way == Platform::FileWay::Copied) {
            EXPECT_GE(reports.size(), 4u) << c.name << ": a copy hands control back between pieces";
        }
        ExpectSourceUntouched();
    }
}

TEST_F(FilePlacement, RefusalsLeaveNothingAndNeverTouchTheSource)
{
    std::ofstream(folder / "taken.bin") << "already here";
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    struct Case {
        const char* name;
        fs::path from;
        fs::path to;
        int error;
    };
    const Case cases[] = {
        {"the target exists", source, folder / "taken.bin", EEXIST},
        {"the source is missing", folder / "missing.bin", folder / "new.bin", ENOENT},
        {"the source is a pipe, which is never opened", folder / "pipe", folder / "new.bin", EOPNOTSUPP},
        {"the source is a folder", folder, folder / "new.bin", EOPNOTSUPP},
        {"the target's folder is missing", source, folder / "none" / "new.bin", ENOENT},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Platform::PlaceFile(c.from.wstring(), c.to.wstring()).error, c.error) << c.name;
        ExpectSourceUntouched();
    }
    EXPECT_EQ(Read(folder / "taken.bin"), "already here");
    EXPECT_FALSE(fs::exists(folder / "new.bin"));
}

TEST_F(FilePlacement, CopyStoppedBetweenPiecesLeavesNothing)
{
    if (other.empty())
        GTEST_SKIP() << "no second file system at /dev/shm";
    const fs::path target = other / "stopped.bin";
    int pieces = 0;
    const auto placed =
        Platform::PlaceFile(source.wstring(), target.wstring(), [&pieces](std::uint64_t) { return ++pieces < 2; });
    EXPECT_EQ(placed.error, ECANCELED);
    EXPECT_EQ(pieces, 2) << "no piece is copied after the stop";
    EXPECT_FALSE(fs::exists(target));
    ExpectSourceUntouched();
}

// What is opened through a folder's descriptor is what gets placed, whatever the name leads
// to by then; a link or a pipe in its place is refused at the opening, which never waits.
TEST_F(FilePlacement, TheOpenedFileIsPlacedWhateverItsNameLeadsToNow)
{
    const std::string original = Read(source);
    Platform::OpenFolder held;
    ASSERT_EQ(held.Open(folder.string()), 0);
    Platform::OpenFile opened;
    ASSERT_EQ(opened.OpenIn(held, "source.bin"), 0);
    // The name now leads to another file; the opened one has no name left, so it can only
    // be copied, each time whole.
    std::ofstream(folder / "swapped.bin") << "swapped in";
    fs::rename(folder / "swapped.bin", source);

    Platform::OpenFolder targets[2];
    ASSERT_EQ(targets[0].CreateIn(held, "linked"), 0);
    if (!other.empty()) {
        ASSERT_EQ(targets[1].Open(other.string()), 0);
    }
    for (const auto& target : targets) {
        if (!target.IsOpen())
            continue;
        const auto placed = Platform::PlaceFile(opened, target, "placed.bin");
        ASSERT_EQ(placed.error, 0);
        const fs::path at = (&target == &targets[0] ? folder / "linked" : other) / "placed.bin";
        EXPECT_TRUE(Read(at) == original) << at << " holds " << Read(at).size() << " bytes";
        EXPECT_EQ(Platform::PlaceFile(opened, target, "placed.bin").error, EEXIST) << "never over an entry";
    }
    fs::create_symlink(folder / "nowhere", folder / "linked/dangling");
    EXPECT_EQ(Platform::PlaceFile(opened, targets[0], "dangling").error, EEXIST) << "never through a link";
    EXPECT_FALSE(fs::exists(folder / "nowhere"));

    fs::create_symlink(source, folder / "link.bin");
    fs::create_directory_symlink(folder / "linked", folder / "link-folder");
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    struct Case {
        const char* name;
        int file;
        int asFolder;
    };
    const std::map<std::string, Case> cases = {
        {"link.bin", {"a link to a file", ELOOP, ENOTDIR}},
        {"link-folder", {"a link to a folder", ELOOP, ENOTDIR}},
        {"pipe", {"a pipe", EOPNOTSUPP, ENOTDIR}},
        {"source.bin", {"a file", 0, ENOTDIR}},
        {"linked", {"a folder", EOPNOTSUPP, 0}},
    };
    for (const auto& [name, c] : cases) {
        Platform::OpenFile file;
        EXPECT_EQ(file.OpenIn(held, name), c.file) << c.name;
        Platform::OpenFolder inner;
        EXPECT_EQ(inner.OpenIn(held, name), c.asFolder) << c.name;
    }
}

// A file linked by its listed name is kept only when it is still the file listed; every
// other answer leaves nothing at the new name, so the caller can take the way through the
// opened file.
TEST_F(FilePlacement, LinkByNameKeepsOnlyTheListedFile)
{
    Platform::OpenFolder held;
    ASSERT_EQ(held.Open(folder.string()), 0);
    Platform::FolderEntry listed;
    ASSERT_EQ(held.Describe("source.bin", listed), 0);
    Platform::OpenFolder target;
    ASSERT_EQ(target.CreateIn(held, "by name"), 0);

    ASSERT_EQ(Platform::LinkListedFile(held, "source.bin", listed.identity, target, "placed.bin"), 0);
    EXPECT_EQ(Status(folder / "by name/placed.bin").st_ino, before.st_ino);
    EXPECT_EQ(Platform::LinkListedFile(held, "source.bin", listed.identity, target, "placed.bin"), EEXIST);
    EXPECT_EQ(Status(folder / "by name/placed.bin").st_ino, before.st_ino);

    std::ofstream(folder / "another.bin") << "another file";
    fs::create_symlink(source, folder / "link.bin");
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    struct Case {
        const char* what;
        const char* name;
        int error;
    };
    const Case cases[] = {
        {"another file", "another.bin", ESTALE},
        {"a link to the listed file", "link.bin", ESTALE},
        {"a pipe", "pipe", ESTALE},
        {"nothing", "gone.bin", ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Platform::LinkListedFile(held, c.name, listed.identity, target, "other.bin"), c.error);
        EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "by name/other.bin")));
    }
    if (!other.empty()) {
        Platform::OpenFolder elsewhere;
        ASSERT_EQ(elsewhere.Open(other.string()), 0);
        EXPECT_EQ(Platform::LinkListedFile(held, "source.bin", listed.identity, elsewhere, "placed.bin"), EXDEV);
        EXPECT_FALSE(fs::exists(other / "placed.bin"));
    }
    ExpectSourceUntouched();
}

}  // namespace
