#include "platform/FileJoin.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/Interrupt.h"
#include "support/ChildRun.h"
#include "support/TestFolder.h"

namespace {

using TestSupport::RunChild;

namespace fs = std::filesystem;

class FileJoin : public testing::Test {
protected:
    void SetUp() override
    {
        folder = TestSupport::ScratchFolder() / "join";
        fs::create_directories(folder);
        Write("module", std::string("MZ\0\x01", 4));
        Write("config", ";!@Install@!UTF-8!\r\n");
        std::string big(3 << 20, 'x');
        big[12345] = '\0';
        Write("archive", big);
    }
    void TearDown() override { Platform::ClearInterrupt(); }

    void Write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(folder / name, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name)
    {
        std::ifstream in(folder / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::wstring> Parts(const char* last = "archive")
    {
        return {(folder / "module").wstring(), (folder / "config").wstring(), (folder / last).wstring()};
    }
    std::size_t Entries() { return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {})); }

    fs::path folder;
};

TEST_F(FileJoin, TargetHoldsThePartsInOrderOnlyOnceCommitted)
{
    Write("out file.exe", "old contents");
    Platform::CJoinedFile joined((folder / "out file.exe").wstring());
    std::string seen;
    ASSERT_EQ(joined.Join(Parts(), [&seen](std::string_view bytes) { seen.append(bytes); }), 0);
    const std::string whole = Read("module") + Read("config") + Read("archive");
    EXPECT_EQ(seen, whole) << "the observer sees every byte in order";
    EXPECT_EQ(Read("out file.exe"), "old contents") << "the target is untouched before the commit";
    EXPECT_EQ(Read(fs::path(joined.TemporaryPath()).filename().string()), whole);
    ASSERT_EQ(joined.Commit(), 0);
    EXPECT_EQ(Read("out file.exe"), whole);
    EXPECT_EQ(Entries(), 4u) << "no temporary file stays behind";
}

TEST_F(FileJoin, UncommittedOrFailedJoinLeavesTheTargetNameAlone)
{
    Write("kept.exe", "old contents");
    {
        Platform::CJoinedFile joined((folder / "kept.exe").wstring());
        EXPECT_EQ(joined.Join(Parts()), 0);
    }
    {
        Platform::CJoinedFile joined((folder / "kept.exe").wstring());
        EXPECT_EQ(joined.Join(Parts("missing")), ENOENT);
        EXPECT_EQ(joined.Commit(), ENOENT);
    }
    EXPECT_EQ(Read("kept.exe"), "old contents");
    Platform::CJoinedFile nowhere((folder / "no such folder" / "x.exe").wstring());
    EXPECT_NE(nowhere.Join(Parts()), 0);
    EXPECT_EQ(Entries(), 4u);
}

TEST_F(FileJoin, InterruptStopsTheJoinWithoutATrace)
{
    Platform::RequestInterrupt();
    {
        Platform::CJoinedFile joined((folder / "out.exe").wstring());
        EXPECT_EQ(joined.Join(Parts()), ECANCELED);
        EXPECT_EQ(joined.Commit(), ECANCELED);
    }
    EXPECT_FALSE(fs::exists(folder / "out.exe"));
    EXPECT_EQ(Entries(), 3u);
}

TEST_F(FileJoin, AtomicWriteReplacesWholeOrNotAtAll)
{
    Write("sum.sha256", "old");
    ASSERT_EQ(Platform::WriteFileAtomically((folder / "sum.sha256").wstring(), "new line\n"), 0);
    EXPECT_EQ(Read("sum.sha256"), "new line\n");
    EXPECT_EQ(Platform::WriteFileAtomically((folder / "missing/sum.sha256").wstring(), "x"), ENOENT);
    EXPECT_EQ(Entries(), 4u);
}

// A full disk: a tiny file system mounted for the test, so the write fails part way.
TEST_F(FileJoin, FullDiskFailsAndLeavesNothing)
{
    const fs::path small = folder / "small";
    fs::create_directories(small);
    if (::geteuid() != 0 || RunChild("/usr/bin/mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", small.string()}).exitCode != 0)
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    Write("small/old.exe", "old");
    int error;
    {
        Platform::CJoinedFile joined((small / "old.exe").wstring());
        error = joined.Join(Parts());
        if (error == 0)
            error = joined.Commit();
    }
    const auto left = std::distance(fs::directory_iterator(small), {});
    const std::string kept = Read("small/old.exe");
    RunChild("/usr/bin/umount", {small.string()});
    EXPECT_EQ(error, ENOSPC);
    EXPECT_EQ(kept, "old");
    EXPECT_EQ(left, 1);
}

}  // namespace
