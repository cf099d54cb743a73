#include "packaging/ClientNames.h"

#include "PackagingTestSupport.h"

namespace {

using namespace PackagingTest;
using Names = std::vector<std::wstring>;

bool Check(ClientNames& names)
{
    return names.Check(GetLogging()).Succeeded();
}

TEST(ClientNames, NamesAWindowsClientHoldsPass)
{
    ClientNames names;
    names.AddFolder(L"", {L"NORDAVIN"});
    names.AddFolder(L"NORDAVIN", {L"COM10", L"LPT0", L"CONSOLE", L"con-x", L"NULL.txt", L"a.b.c", L".hidden",
                                  L"trailing.x", L"\u00e9t\u00e9", L"\u00c9T\u00c9 2", L"Setup.ini"});
    LogRecord log;
    EXPECT_TRUE(Check(names)) << log.Joined();
    EXPECT_EQ(log.Get().size(), 1u) << log.Joined();
}

TEST(ClientNames, CaseIsFoldedBeyondAsciiAndTheFirstInSortedOrderIsNamed)
{
    ClientNames names;
    // The top's names may come in several calls, and clash across them.
    names.AddFolder(L"", {L"\u00e9t\u00e9.txt", L"setup.vbs"});
    names.AddFolder(L"", {L"\u00c9T\u00c9.TXT", L"\u00c9t\u00e9.txt"});
    LogRecord log;
    EXPECT_FALSE(Check(names));
    EXPECT_EQ(log.Get(), (std::vector<std::string>{
                             "Checking that a Windows client can hold every name in the package... ",
                             "Name a Windows client cannot hold: \xC3\x89t\xC3\xA9.txt (differs only in letter case "
                             "from \xC3\x89T\xC3\x89.TXT) ",
                             "Name a Windows client cannot hold: \xC3\xA9t\xC3\xA9.txt (differs only in letter case "
                             "from \xC3\x89T\xC3\x89.TXT) ",
                             "Package not built: names a Windows client cannot hold: 2 ",
                         }));
}

TEST(ClientNames, OffendingPathsAreCappedThenCounted)
{
    ClientNames names;
    Names bad;
    for (int i = 24; i >= 0; --i)
        bad.push_back(L"bad" + std::to_wstring(100 + i) + L".");
    names.AddFolder(L"torqel", bad);
    names.AddFolder(L"", {L"torqel"});
    LogRecord log;
    EXPECT_FALSE(Check(names));
    const auto lines = log.Get();
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [](const std::string& line) { return line.starts_with("Name a Windows client cannot hold: "); }),
        20);
    EXPECT_EQ(lines.back(), "Package not built: names a Windows client cannot hold: 25 ");
    EXPECT_EQ(lines[lines.size() - 2], "Names a Windows client cannot hold, not listed above: 5 ");
    EXPECT_EQ(lines[1], "Name a Windows client cannot hold: torqel/bad100. (a trailing dot or blank) ");
}

// The client extracts under a folder like "C:\Users\Administrator\AppData\Local\Temp\halvex_temp\"
// (54 characters): a relative path of more than 205 characters passes MAX_PATH there.
TEST(ClientNames, LongPathsWarnButPass)
{
    const std::wstring folder(100, L'd');
    const std::wstring fits(104, L'f');  // 205 characters with the folder
    const std::wstring tooLong(105, L'g');  // 206 characters
    ClientNames names;
    names.AddFolder(folder, {tooLong, fits});
    names.AddFolder(L"", {folder});
    LogRecord log;
    EXPECT_TRUE(Check(names));
    EXPECT_EQ(log.Get(), (std::vector<std::string>{
                             "Checking that a Windows client can hold every name in the package... ",
                             "Warning: this path may pass 260 characters when the package is extracted on a Windows "
                             "client: " +
                                 std::string(100, 'd') + "/" + std::string(105, 'g') + " ",
                         }));
}

// Folders come in the order a walk lists them; the lines come in the order of a sorted
// walk, a folder's own lines before those of what it holds, each path's lines in the
// order name, clash, length.
TEST(ClientNames, LinesFollowASortedWalkWhateverTheListingOrder)
{
    const std::wstring deep(210, L'x');
    ClientNames names;
    names.AddFolder(L"b", {L"z?", L"A|"});
    names.AddFolder(L"a.b", {L"c:"});
    names.AddFolder(L"a", {L"q*", deep + L"."});
    names.AddFolder(L"", {L"b", L"a.b", L"a", L"B"});
    LogRecord log;
    EXPECT_FALSE(Check(names));
    const std::string reserved = " (a reserved character) ";
    EXPECT_EQ(log.Get(),
              (std::vector<std::string>{
                  "Checking that a Windows client can hold every name in the package... ",
                  "Name a Windows client cannot hold: a/q*" + reserved,
                  "Name a Windows client cannot hold: a/" + std::string(210, 'x') + ". (a trailing dot or blank) ",
                  "Warning: this path may pass 260 characters when the package is extracted on a Windows "
                  "client: a/" +
                      std::string(210, 'x') + ". ",
                  "Name a Windows client cannot hold: a.b/c:" + reserved,
                  "Name a Windows client cannot hold: b (differs only in letter case from B) ",
                  "Name a Windows client cannot hold: b/A|" + reserved,
                  "Name a Windows client cannot hold: b/z?" + reserved,
                  "Package not built: names a Windows client cannot hold: 6 ",
              }));
}

}  // namespace
