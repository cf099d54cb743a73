#include "platform/FileJoin.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/Interrupt.h"
#include "support/TestFolder.h"

namespace {

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

TEST_F(FileJoin, TargetHoldsThePartsInOrderAndReplacesAnOldFile)
{
    Write("out file.exe", "old contents");
    ASSERT_EQ(Platform::JoinFiles(Parts(), (folder / "out file.exe").wstring()), 0);
    EXPECT_EQ(Read("out file.exe"), Read("module") + Read("config") + Read("archive"));
    EXPECT_EQ(Entries(), 4u) << "no temporary file stays behind";
}

TEST_F(FileJoin, FailureLeavesTheTargetNameAlone)
{
    Write("kept.exe", "old contents");
    EXPECT_EQ(Platform::JoinFiles(Parts("missing"), (folder / "kept.exe").wstring()), ENOENT);
    EXPECT_EQ(Read("kept.exe"), "old contents");
    EXPECT_EQ(Platform::JoinFiles(Parts("missing"), (folder / "new.exe").wstring()), ENOENT);
    EXPECT_FALSE(fs::exists(folder / "new.exe"));
    EXPECT_EQ(Entries(), 4u);
    EXPECT_NE(Platform::JoinFiles(Parts(), (folder / "no such folder" / "x.exe").wstring()), 0);
}

TEST_F(FileJoin, InterruptStopsTheJoinWithoutATrace)
{
    Platform::RequestInterrupt();
    EXPECT_EQ(Platform::JoinFiles(Parts(), (folder / "out.exe").wstring()), ECANCELED);
    EXPECT_FALSE(fs::exists(folder / "out.exe"));
    EXPECT_EQ(Entries(), 3u);
}

}  // namespace
