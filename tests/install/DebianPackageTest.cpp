// The Debian package CPack makes from the install rules: its name, its files, its
// dependencies, and lintian's verdict.
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "support/ChildRun.h"
#include "support/TestFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace TestSupport;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class DebianPackage : public testing::Test {
protected:
    // Built for every test into its own scratch folder, so it never meets a package being
    // built by hand.
    void SetUp() override
    {
        const fs::path folder = ScratchFolder() / "deb";
        const ChildResult cpack = RunChild(
            CPACK_COMMAND, {"-G", "DEB", "--config", HALVEX_BUILD_DIR "/CPackConfig.cmake", "-B", folder.string()});
        ASSERT_EQ(cpack.exitCode, 0) << cpack.out << cpack.err;
        const ChildResult architecture = RunChild(HALVEX_DPKG, {"--print-architecture"});
        package =
            folder / ("halvex_" HALVEX_VERSION "_" + architecture.out.substr(0, architecture.out.find('\n')) + ".deb");
        ASSERT_TRUE(fs::is_regular_file(package)) << package;
    }

    fs::path package;
};

TEST_F(DebianPackage, HoldsTheInstalledLayoutAndNothingElse)
{
    const ChildResult listing = RunChild(HALVEX_DPKG_DEB, {"--contents", package.string()});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    // "mode owner/group size date time ./path[ -> target]"
    const std::regex entry(R"(^(\S+) root/root +\d+ \S+ \S+ \.(/\S*)( -> (\S+))?$)");
    std::map<std::string, std::string> files;  // path -> link target, or the mode of anything else
    for (const auto& line : Lines(listing.out)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, entry)) << line;
        files[match[2]] = match[3].matched ? "-> " + match[4].str() : match[1].str();
    }
    const std::map<std::string, std::string> expected = {
        {"/usr/bin/halvex", "-> ../lib/halvex/halvex"},
        {"/usr/bin/halvex-obscure", "-rwxr-xr-x"},
        {"/usr/bin/halvex-inspect", "-> ../lib/halvex/halvex-inspect"},
        {"/usr/lib/halvex/halvex-inspect", "-rwxr-xr-x"},
        {"/usr/share/man/man1/halvex-inspect.1.gz", "-rw-r--r--"},
        {"/usr/lib/halvex/halvex", "-rwxr-xr-x"},
        {"/usr/lib/halvex/7za/7za", "-> " HALVEX_7ZA},
        {"/usr/share/man/man1/halvex.1.gz", "-rw-r--r--"},
        {"/usr/share/man/man1/halvex-obscure.1.gz", "-rw-r--r--"},
        {"/usr/share/doc/halvex/copyright", "-rw-r--r--"},
        {"/usr/share/doc/halvex/changelog.gz", "-rw-r--r--"},
    };
    for (const auto& [path, what] : expected) {
        ASSERT_EQ(files.count(path), 1u) << path;
        EXPECT_EQ(files.at(path), what) << path;
    }
    // Everything else is a folder on the way, or what the desktop and the installer
    // module rules add under their own places.
    const std::regex allowed(
        R"(^/usr/((bin|lib|lib/halvex|lib/halvex/7za|share|share/man|share/man/man1|share/doc|share/doc/halvex)/)?$)"
        R"(|^/usr/share/(applications|icons)/.*$|^/usr/lib/halvex/7za/7zSD\.sfx$)");
    for (const auto& [path, what] : files) {
        if (expected.count(path) == 0) {
            EXPECT_TRUE(std::regex_match(path, allowed)) << "unexpected " << path;
        }
    }
}

TEST_F(DebianPackage, DependsOnItsLibrariesAndTheArchiver)
{
    const ChildResult fields =
        RunChild(HALVEX_DPKG_DEB, {"--field", package.string(), "Package", "Version", "Depends"});
    ASSERT_EQ(fields.exitCode, 0) << fields.err;
    EXPECT_NE(fields.out.find("Package: halvex\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("Version: " HALVEX_VERSION "\n"), std::string::npos) << fields.out;
    const std::string depends = fields.out.substr(fields.out.find("Depends: "));
    std::set<std::string> names;
    const std::regex name(R"((?:: |, )([a-z0-9][a-z0-9.+-]+))");
    for (auto it = std::sregex_iterator(depends.begin(), depends.end(), name); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1]);
    // Computed from the programs' libraries, and the two the programs run or load by name.
    for (const char* needed : {"libc6", "libstdc++6", "libssl3", "libqt6widgets6", "libqt6core6",
                               "libboost-filesystem1.74.0", "p7zip-full", "qt6-qpa-plugins"})
        EXPECT_EQ(names.count(needed), 1u) << needed << " in " << depends;
}

TEST_F(DebianPackage, LintianFindsNoError)
{
    const ChildResult lintian =
        RunChild(HALVEX_LINTIAN, {"--fail-on", "error", "--tag-display-limit", "0", package.string()});
    EXPECT_EQ(lintian.exitCode, 0) << lintian.out << lintian.err;
    for (const auto& line : Lines(lintian.out))
        EXPECT_NE(line.rfind("E: ", 0), 0u) << line;
    // Warnings are for the maintainers to read, not a failure.
    std::cout << lintian.out;
}

TEST_F(DebianPackage, BinariesCarryDebiansHardeningAndNoCompilerComment)
{
    const ChildResult lintian =
        RunChild(HALVEX_LINTIAN, {"-I", "--pedantic", "--tag-display-limit", "0", package.string()});
    for (const auto& line : Lines(lintian.out)) {
        EXPECT_EQ(line.find(" hardening-"), std::string::npos) << line;
        EXPECT_EQ(line.find(" binary-has-unneeded-section"), std::string::npos) << line;
        EXPECT_EQ(line.find(" copyright"), std::string::npos) << line;
    }
}

}  // namespace
