// `halvex --help` and `halvex --version`, and the option references beside them: each must
// name exactly the options the parser knows.
#include "app/ProgramInformation.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "cli/ProgramOptions.h"
#include "core/PackageOptions.h"
#include "platform/TextConversion.h"
#include "support/ChildRun.h"
#include "support/LogLines.h"

namespace {

using TestSupport::ChildOptions;
using TestSupport::ChildResult;
using TestSupport::RunChild;
using Names = std::set<std::string>;

// Options that set or remove (given no value) environment variables.
ChildOptions WithEnvironment(std::map<std::string, std::optional<std::string>> variables)
{
    ChildOptions options;
    options.environment = std::move(variables);
    return options;
}

// Every option the parser recognises: its own table and the setup parameters it knows.
Names ParserOptions()
{
    Names names;
    for (const auto& option : kProgramOptions)
        names.insert(Platform::NarrowHostText(std::wstring(option.name)));
    const PackageOptions defaults;
    for (const auto& [name, takesValue] : defaults.GetKnownSetupParameters())
        names.insert(Platform::NarrowHostText(name));
    return names;
}

// The options a reference lists: the first word of each line that starts with a dash
// after `indent` blanks.
Names ListedOptions(const std::string& text, const std::string& indent)
{
    Names names;
    const std::regex line("^" + indent + "(-[a-z0-9]+)( |$)");
    std::istringstream in(text);
    for (std::string each; std::getline(in, each);) {
        std::smatch match;
        if (std::regex_search(each, match, line))
            names.insert(match[1]);
    }
    return names;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.is_open()) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ProgramInformation, HelpAndVersionGoToStandardOutputWithStatus0)
{
    const ChildResult help = RunChild(HALVEX_PROGRAM, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out, HelpText());
    EXPECT_EQ(help.err, "");
    EXPECT_NE(help.out.find("\n  0 "), std::string::npos) << "exit status 0 explained";
    EXPECT_NE(help.out.find("\n  82 "), std::string::npos) << "exit status 82 explained";

    const ChildResult version = RunChild(HALVEX_PROGRAM, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind(std::string("halvex ") + HALVEX_VERSION + "\n", 0), 0u) << version.out;
    EXPECT_NE(version.out.find("Installer module 7zSD.sfx: 7-Zip " HALVEX_7ZIP_VERSION " "), std::string::npos)
        << version.out;
    EXPECT_NE(version.out.find("GNU LGPL 2.1 or later"), std::string::npos) << version.out;
    EXPECT_EQ(version.err, "");
}

TEST(ProgramInformation, HelpListsEveryOptionTheParserKnowsOnALineOfItsOwn)
{
    EXPECT_EQ(ListedOptions(std::string(HelpText()), "  "), ParserOptions());
    std::istringstream lines{std::string(HelpText())};
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 79u) << line;
}

// Any other spelling, or company, keeps the designed parse: the word is an unknown switch
// that goes on to setup, and the run goes on as the other arguments say.
TEST(ProgramInformation, OnlyTheExactWordAloneAsksForInformation)
{
    const std::vector<std::vector<std::string>> runs = {
        {"--HELP", "-cli"}, {"--help", "-cli"}, {"-cli", "--help"}, {"--version", "-cli"}, {"-cli", "--Version"},
    };
    for (const auto& arguments : runs) {
        const ChildResult run =
            RunChild(HALVEX_PROGRAM, arguments, WithEnvironment({{"DISPLAY", {}}, {"WAYLAND_DISPLAY", {}}}));
        SCOPED_TRACE(arguments.front() + " " + arguments.back());
        EXPECT_EQ(run.exitCode, 82) << "no source folder given";
        EXPECT_EQ(run.out, "");
        const auto log = LogLines::All(LogLines::Path());
        const std::string word = arguments.front() == "-cli" ? arguments.back() : arguments.front();
        std::string lower = word;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_NE(std::find(log.begin(), log.end(), "Unknown argument  " + lower + "  found. Using it anyway "),
                  log.end());
    }
}

TEST(ProgramInformation, ReadmeCarriesTheHelpAndTheManualPageEveryOption)
{
    const std::string readme = ReadFile(HALVEX_SOURCE_DIR "/README.md");
    EXPECT_NE(readme.find("```\n" + std::string(HelpText()) + "```\n"), std::string::npos)
        << "README's option reference is the text of halvex --help";

    // The page as man shows it, checked by groff for mistakes on the way.
    const ChildResult page = RunChild(HALVEX_GROFF, {"-ww", "-man", "-Tascii", "-P-cbou", HALVEX_MANUAL_PAGE});
    ASSERT_EQ(page.exitCode, 0);
    EXPECT_EQ(page.err, "");
    EXPECT_EQ(ListedOptions(page.out, "       "), ParserOptions());
    for (const char* section : {"SYNOPSIS", "OPTIONS", "EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES"})
        EXPECT_NE(page.out.find(std::string("\n") + section + "\n"), std::string::npos) << section;
    for (const char* name : {"ProgramData", "TEMP", "TMPDIR", "log.txt", "$TEMP/Halvex", "Veskor/Zastrel/Lock",
                             "/etc/halvex/", "halvex-obscure"})
        EXPECT_NE(page.out.find(name), std::string::npos) << name;
}

}  // namespace
