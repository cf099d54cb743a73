#include "packaging/PackedEntries.h"

#include <cerrno>
#include <functional>

#include <sys/stat.h>

#include "PackagingTestSupport.h"
#include "support/ChildRun.h"

namespace {

using namespace PackagingTest;
using Kind = ListingComparison::Difference::Kind;

// A listing in the archiver's technical form: the archive's own block, then one block per
// entry given as path, size, attributes and CRC.
struct Listed {
    std::string path;
    std::string size;
    std::string attributes;
    std::string crc;
};

std::string Listing(const std::vector<Listed>& entries)
{
    std::string text =
        "\n7-Zip\n\nListing archive: pkg.exe\n\n--\nPath = pkg.exe\nType = 7z\nSize = 99\n\n----------\n";
    for (const auto& entry : entries)
        text += "Path = " + entry.path + "\nSize = " + entry.size +
                "\nPacked Size = 0\nAttributes = " + entry.attributes + "\nCRC = " + entry.crc +
                "\nMethod = LZMA2:12\n\n";
    return text;
}

std::vector<std::pair<Kind, std::string>> Compare(const WorkFolderEntries& packed, const std::string& listing,
                                                  std::size_t piece, std::size_t cap, bool* same = nullptr)
{
    ListingComparison comparison(packed, cap);
    for (std::size_t from = 0; from < listing.size(); from += piece)
        comparison.Feed(std::string_view(listing).substr(from, piece));
    comparison.End();
    if (same)
        *same = comparison.Same();
    std::vector<std::pair<Kind, std::string>> differences;
    for (const auto& [kind, path] : comparison.Differences())
        differences.emplace_back(kind, path);
    return differences;
}

class PackedEntries : public testing::Test {
protected:
    void SetUp() override
    {
        work = ScratchFolder() / "packed entries";
        fs::remove_all(work);
        WriteBytes(work / "NORDAVIN/setup.exe", "fixture\n");
        WriteBytes(work / "NORDAVIN/with blank/one.txt", "one\n");
        WriteBytes(work / "NORDAVIN/empty", "");
        WriteBytes(work / "two", "two\n");
        ASSERT_EQ(packed.List(work.wstring(), false), 0);
        while (!packed.HashShare(1, {})) {}
        ASSERT_EQ(packed.Error(), 0);
    }

    fs::path work;
    WorkFolderEntries packed;
};

// The real archiver's listing of the folder, cut at every place a piece can end.
TEST_F(PackedEntries, ArchiversListingMatchesInPiecesOfAnySize)
{
    const fs::path archive = work.parent_path() / "packed-entries.7z";
    fs::remove(archive);
    ASSERT_EQ(RunChild("/usr/bin/7za", {"a", archive.string(), work.string() + "/*", "-r"}).exitCode, 0);
    const auto listed = RunChild("/usr/bin/7za", {"l", "-slt", "-t7z", "--", archive.string()});
    ASSERT_EQ(listed.exitCode, 0);
    EXPECT_EQ(packed.Count(), 6u);
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{4096}, listed.out.size()}) {
        SCOPED_TRACE(piece);
        bool same = false;
        EXPECT_TRUE(Compare(packed, listed.out, piece, 20, &same).empty());
        EXPECT_TRUE(same);
    }
    // The same listing with CR LF line ends and without the last line end.
    std::string crlf;
    for (const char c : listed.out)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    while (crlf.ends_with("\r\n"))
        crlf.resize(crlf.size() - 2);
    bool same = false;
    EXPECT_TRUE(Compare(packed, crlf, 3, 20, &same).empty());
    EXPECT_TRUE(same);
}

TEST_F(PackedEntries, DifferencesAreTheWorkFoldersInOrderThenThePackagesOwnUpToTheCap)
{
    const std::vector<Listed> exact = {
        {"NORDAVIN", "0", "D drwxr-xr-x", ""},
        {"NORDAVIN/empty", "0", "A -rw-r--r--", ""},
        {"NORDAVIN/setup.exe", "8", "A -rw-r--r--", "75602CAC"},
        {"NORDAVIN/with blank", "0", "D drwxr-xr-x", ""},
        {"NORDAVIN/with blank/one.txt", "4", "A -rw-r--r--", "F817A89F"},
        {"two", "4", "A -rw-r--r--", "96170874"},
    };
    bool same = false;
    EXPECT_TRUE(Compare(packed, Listing(exact), 5, 20, &same).empty());
    EXPECT_TRUE(same);

    // Listed out of order, one entry twice (its last listing counts), one missing, one
    // with another CRC, one a file where a folder was, and entries the work folder lacks.
    const std::vector<Listed> differing = {
        {"zz", "1", "A -rw-r--r--", "00000001"},
        {"two", "4", "A -rw-r--r--", "96170874"},
        {"NORDAVIN/setup.exe", "8", "A -rw-r--r--", "75602CAD"},
        {"NORDAVIN/with blank", "0", "A -rw-r--r--", ""},
        {"NORDAVIN/empty", "7", "A -rw-r--r--", "00000000"},
        {"aa", "1", "A -rw-r--r--", "00000001"},
        {"NORDAVIN/with blank/one.txt", "4", "A -rw-r--r--", "F817A89F"},
        {"NORDAVIN/empty", "0", "A -rw-r--r--", ""},
        {"mm", "x", "A -rw-r--r--", "00000001"},
    };
    const std::vector<std::pair<Kind, std::string>> all = {
        {Kind::Missing, "NORDAVIN"},
        {Kind::Changed, "NORDAVIN/setup.exe"},
        {Kind::Changed, "NORDAVIN/with blank"},
        {Kind::Extra, "aa"},
        {Kind::Extra, "mm"},
        {Kind::Extra, "zz"},
    };
    EXPECT_EQ(Compare(packed, Listing(differing), 11, 20, &same), all);
    EXPECT_FALSE(same);
    EXPECT_EQ(Compare(packed, Listing(differing), 11, 4), std::vector(all.begin(), all.begin() + 4));
    EXPECT_EQ(Compare(packed, Listing(differing), 11, 2), std::vector(all.begin(), all.begin() + 2));

    // Only an entry too many.
    std::vector<Listed> extra = exact;
    extra.push_back({"NORDAVIN/stray", "0", "A -rw-r--r--", ""});
    EXPECT_EQ(Compare(packed, Listing(extra), 64, 20, &same),
              (std::vector<std::pair<Kind, std::string>>{{Kind::Extra, "NORDAVIN/stray"}}));
    EXPECT_FALSE(same);
}

// A file gone, or turned into something else, between listing and reading is an error
// that names it, and reading stops there.
TEST(PackedEntriesReading, FileThatCannotBeReadStopsWithItsPath)
{
    const fs::path work = ScratchFolder() / "unreadable entries";
    struct Case {
        const char* name;
        std::function<void()> spoil;
        const char* path;
        int error;
    };
    const Case cases[] = {
        {"a folder gone", [&] { fs::remove_all(work / "b"); }, "b/one", ENOENT},
        {"a file gone", [&] { fs::remove(work / "b/two"); }, "b/two", ENOENT},
        {"a file turned into a pipe",
         [&] {
             fs::remove(work / "b/two");
             ASSERT_EQ(::mkfifo((work / "b/two").c_str(), 0600), 0);
         },
         "b/two", EINVAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(work);
        WriteBytes(work / "a", "a\n");
        WriteBytes(work / "b/one", "one\n");
        WriteBytes(work / "b/two", "two\n");
        WriteBytes(work / "c", "c\n");
        WorkFolderEntries packed;
        ASSERT_EQ(packed.List(work.wstring(), false), 0);
        c.spoil();
        EXPECT_TRUE(packed.HashShare(UINT64_MAX, {}));
        EXPECT_EQ(packed.Error(), c.error);
        EXPECT_EQ(packed.FailedPath(), c.path);
    }
}

}  // namespace
