#include "packaging/ClientNames.h"

#include "PackagingTestSupport.h"

namespace {

using namespace PackagingTest;

class ClientNames : public testing::Test {
protected:
    void SetUp() override { work = ScratchFolder() / "names"; }

    bool Check() { return CheckClientNames(work.wstring(), GetLogging()); }

    fs::path work;
};

TEST_F(ClientNames, NamesAWindowsClientHoldsPass)
{
    for (const char* name : {"COM10", "LPT0", "CONSOLE", "con-x", "NULL.txt", "a.b.c", ".hidden", "trailing.x",
                             "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89 2", "Setup.ini"})
        WriteBytes(work / "NORDAVIN" / name, "x");
    LogRecord log;
    EXPECT_TRUE(Check()) << log.Joined();
    EXPECT_EQ(log.Get().size(), 1u) << log.Joined();
}

TEST_F(ClientNames, CaseIsFoldedBeyondAscii)
{
    WriteBytes(work / "\xC3\xA9t\xC3\xA9.txt", "x");
    WriteBytes(work / "\xC3\x89T\xC3\x89.TXT", "x");
    LogRecord log;
    EXPECT_FALSE(Check());
    EXPECT_NE(log.Joined().find("(differs only in letter case from "), std::string::npos) << log.Joined();
}

TEST_F(ClientNames, OffendingPathsAreCappedThenCounted)
{
    for (int i = 0; i < 25; ++i)
        WriteBytes(work / "torqel" / ("bad" + std::to_string(100 + i) + "."), "x");
    LogRecord log;
    EXPECT_FALSE(Check());
    const auto lines = log.Get();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.starts_with("Name a Windows client cannot hold: "); }),
              20);
    EXPECT_EQ(lines.back(), "Package not built: names a Windows client cannot hold: 25 ");
    EXPECT_EQ(lines[lines.size() - 2], "Names a Windows client cannot hold, not listed above: 5 ");
    EXPECT_EQ(lines[1], "Name a Windows client cannot hold: torqel/bad100. (a trailing dot or blank) ");
}

// The client extracts under a folder like "C:\Users\Administrator\AppData\Local\Temp\halvex_temp\"
// (54 characters): a relative path of more than 205 characters passes MAX_PATH there.
TEST_F(ClientNames, LongPathsWarnButPass)
{
    const std::string folder(100, 'd');
    const std::string fits = folder + "/" + std::string(104, 'f');      // 205 characters
    const std::string tooLong = folder + "/" + std::string(105, 'g');   // 206 characters
    WriteBytes(work / fits, "x");
    WriteBytes(work / tooLong, "x");
    LogRecord log;
    EXPECT_TRUE(Check());
    EXPECT_EQ(log.Get(), (std::vector<std::string>{
                             "Checking that a Windows client can hold every name in the package... ",
                             "Warning: this path may pass 260 characters when the package is extracted on a Windows "
                             "client: " + tooLong + " ",
                         }));
}

}  // namespace
