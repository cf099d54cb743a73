#include "cli/CommandLineParser.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "core/Logging.h"
#include "core/PackageOptions.h"
#include "obfuscation/obscurity/Base64.h"
#include "obfuscation/obscurity/Obfuscation.h"
#include "obfuscation/obscurity/ObscurityException.h"
#include "obfuscation/obscurity/SecurityException.h"
#include "platform/StringTable.h"
#include "platform/TextConversion.h"
#include "support/CidBuilder.h"
#include "support/LogLines.h"
#include "support/TestFolder.h"

namespace fs = boost::filesystem;

namespace {

using Lines = std::vector<std::string>;
using Parameters = PackageOptions::ParameterMap;

const std::string kStart = "About to process argument list... ";
const std::string kInvalidPassword = "Option \xE2\x80\x93opwd is not a valid password. ";

std::string Text(unsigned id, const std::string& value)
{
    return Platform::NarrowHostText(*Platform::LoadFormattedString(id, Platform::WidenHostText(value))) + " ";
}

TEST(SplitArguments, BlanksSeparateQuotesOpenAndCloseTokens)
{
    struct Case {
        std::string text;
        std::vector<std::string> tokens;
    };
    const Case cases[] = {
        {"", {}},
        {" \t  ", {}},
        {"-cli", {"-cli"}},
        {"  a\tb  c ", {"a", "b", "c"}},
        {"a\"b c\"d", {"a\"b", "c\"d"}},
        {"\"ab\"cd", {"ab", "cd"}},
        {"-cidpath \"C:\\my cid\" -CLI", {"-cidpath", "C:\\my cid", "-CLI"}},
        {"x \"never closed  -cli", {"x", "never closed  -cli"}},
        {"-opwd \"\" -cli", {"-opwd", "", "-cli"}},
        {"\"\"", {""}},
        {"\"a b\"\"c d\"", {"a b", "c d"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitArguments(c.text), c.tokens) << c.text;
}

// The argument text the command line used to be joined into: arguments with a blank, and
// empty ones, between double quotes, nothing escaped.
std::string Joined(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const auto& argument : arguments) {
        if (!text.empty())
            text += ' ';
        text +=
            argument.empty() || argument.find_first_of(" \t") != std::string::npos ? '"' + argument + '"' : argument;
    }
    return text;
}

struct Parsed {
    Lines lines;
    PackageOptions options;
};

Parsed Parse(const std::vector<std::string>& arguments)
{
    Parsed parsed;
    LogLines log;
    ParseArguments(arguments, parsed.options, GetLogging());
    parsed.lines = log.Take();
    return parsed;
}

Parsed Parse(const std::string& text)
{
    Parsed parsed;
    LogLines log;
    ParseArguments(text, parsed.options, GetLogging());
    parsed.lines = log.Take();
    return parsed;
}

TEST(ParseArguments, ArgumentsWithoutQuotesParseAsTheirJoinedTextDid)
{
    const std::vector<std::vector<std::string>> lists = {
        {},
        {"-cli", "-cidpath", "/srv/my cid", "-sfxpath", "/out/Setup.exe", "-s", "-ni"},
        {"-g", "Sales team", "-mng", "no", "-opwd", "", "-user", "ann lee", "-arch", "32bit"},
        {"-Unknown", "", "-other", "tab\there", "/ncd", "  ", "-nodetect", "-lorvonly"},
        {"-cidpath", "/srv/\xC3\xA4\xE4\xB8\xAD", "-\xC3\x84X", "\xC3\x84NN", "-group", "bad \xFF byte"},
        {"-patch", "http://kett:8080", "-updp", "\\\\srv\\upd\\", "-wofa", "-pexo", "-bexu", "x", "-login"},
    };
    for (const auto& arguments : lists) {
        SCOPED_TRACE(Joined(arguments));
        const Parsed fromVector = Parse(arguments);
        const Parsed fromText = Parse(Joined(arguments));
        EXPECT_EQ(fromVector.lines, fromText.lines);
        EXPECT_EQ(fromVector.options.GetSetupParameters(), fromText.options.GetSetupParameters());
        EXPECT_EQ(fromVector.options.GetSourceFolder(), fromText.options.GetSourceFolder());
        EXPECT_EQ(fromVector.options.GetOutputPackage(), fromText.options.GetOutputPackage());
        EXPECT_EQ(fromVector.options.GetPrimaryUserName(), fromText.options.GetPrimaryUserName());
        EXPECT_EQ(fromVector.options.GetManaged(), fromText.options.GetManaged());
        EXPECT_EQ(fromVector.options.GetCommandLineMode(), fromText.options.GetCommandLineMode());
        EXPECT_EQ(fromVector.options.GetInclude32Bit(), fromText.options.GetInclude32Bit());
        EXPECT_EQ(fromVector.options.GetInclude64Bit(), fromText.options.GetInclude64Bit());
    }
}

TEST(ParseArguments, EachArgumentIsOneTokenWhateverItHolds)
{
    {
        // Joined and split again, this value turned the package into a managed one.
        const Parsed parsed = Parse(std::vector<std::string>{"-g", "Sales\" -mng \"yes", "-cli"});
        EXPECT_FALSE(parsed.options.GetManaged());
        EXPECT_TRUE(parsed.options.GetCommandLineMode());
        EXPECT_EQ(parsed.options.GetSetupParameters(), (Parameters{{L"-g", L"Sales\" -mng \"yes"}}));
        EXPECT_EQ(parsed.lines, (Lines{kStart, "Found argument:  -g ", "Found parameter:  Sales\" -mng \"yes ",
                                       "Command line interface mode set "}));
    }
    {
        const Parsed parsed = Parse(std::vector<std::string>{"-g", "a\" + x", "-cidpath", "\"/srv/q\" cid\""});
        EXPECT_EQ(parsed.options.GetSetupParameters(), (Parameters{{L"-g", L"a\" + x"}}));
        EXPECT_EQ(parsed.options.GetSourceFolder(), L"\"/srv/q\" cid\"");
    }
    {
        // A value that looks like an option is still the value of the one before it.
        const Parsed parsed = Parse(std::vector<std::string>{"-user", "-cli", "-sfxpath", "-nocheck"});
        EXPECT_EQ(parsed.options.GetPrimaryUserName(), L"-cli");
        EXPECT_EQ(parsed.options.GetOutputPackage(), L"-nocheck");
        EXPECT_FALSE(parsed.options.GetCommandLineMode());
        EXPECT_FALSE(parsed.options.GetSkipChecks());
    }
}

struct ParseCase {
    std::string text;
    Lines lines;
    std::function<void(const PackageOptions&)> check;
};

TEST(ParseArguments, EachOptionItsLinesAndEffect)
{
    const std::vector<ParseCase> cases = {
        {"",
         {},
         [](const PackageOptions& o) {
             EXPECT_FALSE(o.GetCommandLineMode());
             EXPECT_TRUE(o.GetSetupParameters().empty());
             EXPECT_EQ(o.GetSourceFolder(), L"/preset");
         }},
        {"-cidpath \"/srv/my cid\" -CLI",
         {"Package source path set to:  /srv/my cid ", "Command line interface mode set "},
         [](const PackageOptions& o) {
             EXPECT_EQ(o.GetSourceFolder(), L"/srv/my cid");
             EXPECT_TRUE(o.GetCommandLineMode());
         }},
        {"-sfxpath /out/Setup.EXE",
         {"Destination folder path set to:  /out/Setup.EXE "},
         [](const PackageOptions& o) { EXPECT_EQ(o.GetOutputPackage(), L"/out/Setup.EXE"); }},
        {"-cidpath",
         {"Package source path set to:   "},
         [](const PackageOptions& o) { EXPECT_EQ(o.GetSourceFolder(), L""); }},
        {"-user", {"Found argument:  -user "}, [](const PackageOptions& o) { EXPECT_EQ(o.GetPrimaryUserName(), L""); }},
        {"-user -pwd third",
         {"Found argument:  -user ", "User option set "},
         [](const PackageOptions& o) {
             EXPECT_EQ(o.GetPrimaryUserName(), L"-pwd");
             EXPECT_EQ(o.GetPrimaryPassword(), L"");
             EXPECT_TRUE(o.GetSetupParameters().empty());
         }},
        {"-pwd one -USER Ann -pwd \"two words\"",
         {"Found argument:  -pwd ", "Password option set ", "Found argument:  -user ", "User option set ",
          "Found argument:  -pwd ", "Password option set "},
         [](const PackageOptions& o) {
             EXPECT_EQ(o.GetPrimaryPassword(), L"two words");
             EXPECT_EQ(o.GetPrimaryUserName(), L"Ann");
         }},
        {"-ouser bob",
         {"Found argument:  -ouser ", "Found -ouser, ignoring parameter "},
         [](const PackageOptions& o) { EXPECT_EQ(o.GetPrimaryUserName(), L""); }},
        {"-updp \\\\srv\\Upd -patch http://KETT:8080",
         {"Found argument:  -updp ", "Update path option set ", "Found argument:  -patch ", "Patch option set "},
         [](const PackageOptions& o) {
             EXPECT_EQ(o.GetPrimaryUpdateLocation(), L"\\\\srv\\Upd");
             EXPECT_TRUE(o.GetPatch());
             EXPECT_EQ(o.GetManagementServerUrl(), L"http://KETT:8080");
         }},
        {"-MNG Yes stray",
         {"Found argument:  -mng ", "KETT option found, package is managed "},
         [](const PackageOptions& o) {
             EXPECT_TRUE(o.GetManaged());
             EXPECT_TRUE(o.GetSetupParameters().empty());
         }},
        {"-mng y -mng true",
         {"Found argument:  -mng ", "KETT option found, package is managed ", "Found argument:  -mng ",
          "KETT option found, package is unmanaged "},
         [](const PackageOptions& o) { EXPECT_FALSE(o.GetManaged()); }},
        {"-mng yE",
         {"Found argument:  -mng ", "KETT option found, package is managed "},
         [](const PackageOptions& o) { EXPECT_TRUE(o.GetManaged()); }},
        {"-mng 1",
         {"Found argument:  -mng ", "KETT option found, package is unmanaged "},
         [](const PackageOptions& o) { EXPECT_FALSE(o.GetManaged()); }},
        {"-mngcfg cfg.xml -group Sales -bexu x -g first -G second",
         {"Found argument:  -mngcfg ", "Found parameter:  cfg.xml ", "Found argument:  -group ",
          "Found parameter:  Sales ", "Found argument:  -bexu ", "Found parameter:  x ", "Found argument:  -g ",
          "Found parameter:  first ", "Found argument:  -g ", "Found parameter:  second "},
         [](const PackageOptions& o) {
             EXPECT_EQ(
                 o.GetSetupParameters(),
                 (Parameters{{L"-bexu", L"x"}, {L"-g", L"first"}, {L"-group", L"Sales"}, {L"-mngcfg", L"cfg.xml"}}));
         }},
        {"-wofa -PEXO -lorvonly -nocheck -login -RLogin",
         {"Found argument:  -wofa ", "WOFA option set ", "Found argument:  -pexo ", "Exploit Prevention option set ",
          "LORV only option set ", "No check option set ", "Found argument:  -login ", "Found argument:  -rlogin "},
         [](const PackageOptions& o) {
             EXPECT_TRUE(o.GetFirewall());
             EXPECT_TRUE(o.GetExploitPrevention());
             EXPECT_FALSE(o.GetIncludeComponents());
             EXPECT_TRUE(o.GetSkipChecks());
             EXPECT_EQ(o.GetSetupParameters(), (Parameters{{L"-login", L""}, {L"-rlogin", L""}}));
         }},
        {"-ni",
         {"Found argument:  -ni ", "Non-interactive option set "},
         [](const PackageOptions& o) {
             EXPECT_TRUE(o.GetNonInteractive());
             EXPECT_FALSE(o.GetSilent());
         }},
        {"-s -ni",
         {"Found argument:  -s ", "Silent option set ", "Found argument:  -ni ",
          "Non-interactive option overridden by silent option, ignoring -ni "},
         [](const PackageOptions& o) {
             EXPECT_TRUE(o.GetSilent());
             EXPECT_FALSE(o.GetNonInteractive());
         }},
        {"-ni -s",
         {"Found argument:  -ni ", "Non-interactive option set ", "Found argument:  -s ",
          "Non-interactive option overridden by silent option ", "Silent option set "},
         [](const PackageOptions& o) {
             EXPECT_TRUE(o.GetSilent());
             EXPECT_FALSE(o.GetNonInteractive());
         }},
        {"-arch 32BIT",
         {"Architecture set "},
         [](const PackageOptions& o) {
             EXPECT_TRUE(o.GetInclude32Bit());
             EXPECT_FALSE(o.GetInclude64Bit());
         }},
        {"-arch amd64 -arch",
         {"Architecture set ", "Architecture set "},
         [](const PackageOptions& o) { EXPECT_TRUE(o.GetInclude32Bit() && o.GetInclude64Bit()); }},
        {"-arch 64bit -arch 32bit",
         {"Architecture set ", "Architecture set "},
         [](const PackageOptions& o) { EXPECT_FALSE(o.GetInclude32Bit() || o.GetInclude64Bit()); }},
        {"-nodetect /NCD",
         {"Encryption competitor detection option set ", "Unknown argument  /ncd  found. Using it anyway "},
         [](const PackageOptions& o) { EXPECT_EQ(o.GetSetupParameters(), (Parameters{{L"/ncd", L""}})); }},
        {"/ncd kept -nodetect",
         {"Unknown argument  /ncd  found. Using it anyway ", "Found parameter:  kept ",
          "Encryption competitor detection option set "},
         [](const PackageOptions& o) { EXPECT_EQ(o.GetSetupParameters(), (Parameters{{L"/ncd", L"kept"}})); }},
        {"/Unknown -user ann",
         {"Unknown argument  /unknown  found. Using it anyway ", "Found argument:  -user ", "User option set "},
         [](const PackageOptions& o) {
             EXPECT_EQ(o.GetSetupParameters(), (Parameters{{L"/unknown", L""}}));
             EXPECT_EQ(o.GetPrimaryUserName(), L"ann");
         }},
        {"-Flag /Value -other \"\"",
         {"Unknown argument  -flag  found. Using it anyway ", "Found parameter:  /Value ",
          "Unknown argument  -other  found. Using it anyway ", "Found parameter:   "},
         [](const PackageOptions& o) {
             EXPECT_EQ(o.GetSetupParameters(), (Parameters{{L"-flag", L"/Value"}, {L"-other", L""}}));
         }},
        {"-cl -clix stray \"\" -cli",
         {"Unknown argument  -cl  found. Using it anyway ", "Unknown argument  -clix  found. Using it anyway ",
          "Found parameter:  stray ", "Command line interface mode set "},
         [](const PackageOptions& o) { EXPECT_TRUE(o.GetCommandLineMode()); }},
        {"-cidpath /srv/\xC3\x84 -\xC3\x84X \xC3\x84NN",
         {"Package source path set to:  /srv/\xC3\x84 ", "Unknown argument  -\xC3\x84x  found. Using it anyway ",
          "Found parameter:  \xC3\x84NN "},
         [](const PackageOptions& o) {
             EXPECT_EQ(o.GetSourceFolder(), L"/srv/\u00C4");
             EXPECT_EQ(o.GetSetupParameters(), (Parameters{{L"-\u00C4x", L"\u00C4NN"}}));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        PackageOptions options;
        options.SetSourceFolder(L"/preset");
        LogLines log;
        ParseArguments(c.text, options, GetLogging());
        Lines expected = {kStart};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(log.Take(), expected);
        c.check(options);
    }
}

// A token in Base64 made from raw bytes, to build the malformed ones.
std::string Encode(const std::string& bytes)
{
    std::string text(4 * ((bytes.size() + 2) / 3), '\0');
    std::size_t length = text.size();
    EXPECT_TRUE(Obscurity::Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text.data(),
                                        length));
    text.resize(length);
    return text;
}

std::string Decode(const std::string& text)
{
    std::string bytes(text.size(), '\0');
    std::size_t length = bytes.size();
    EXPECT_TRUE(
        Obscurity::Base64Decode(text.data(), text.size(), reinterpret_cast<unsigned char*>(bytes.data()), length));
    bytes.resize(length);
    return bytes;
}

TEST(ParseArguments, ObscuredPasswordIsRevealed)
{
    std::string token;
    Obscurity::Obfuscation().obscure(std::wstring(L"p\u00E4ss w\u00F6rd"), token);
    PackageOptions options;
    LogLines log;
    ParseArguments("-pwd plain -OPWD " + token + " -cli", options, GetLogging());
    EXPECT_EQ(options.GetPrimaryPassword(), L"p\u00E4ss w\u00F6rd");
    EXPECT_TRUE(options.GetCommandLineMode());
    EXPECT_EQ(log.Take(), (Lines{kStart, "Found argument:  -pwd ", "Password option set ", "Found argument:  -opwd ",
                                 "Password option set ", "Command line interface mode set "}));

    ParseArguments("-opwd \"\"", options, GetLogging());
    EXPECT_EQ(options.GetPrimaryPassword(), L"") << "an empty token stands for an empty password";
    EXPECT_EQ(log.Take(), (Lines{kStart, "Found argument:  -opwd ", "Password option set "}));
}

TEST(ParseArguments, UnusableObscuredPasswordEndsTheParse)
{
    std::string valid;
    Obscurity::Obfuscation().obscure(std::wstring(L"password"), valid);
    const std::string bytes = Decode(valid);
    const std::string wrongIdent = Encode(std::string(1, '\x06') + bytes.substr(1));
    const std::string partialBlock = Encode(bytes.substr(0, bytes.size() - 3));

    struct Case {
        std::string token;
        bool outsideAlphabet;
    };
    const Case cases[] = {
        {"abc$def", true},   {"Bwg\xC3\xA4", true}, {"Bw", false}, {"====", false}, {"AAAAAAAAAAAAAAAAAAAAAAAA", false},
        {wrongIdent, false}, {partialBlock, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token);
        PackageOptions options;
        LogLines log;
        try {
            ParseArguments("-pwd kept -opwd " + c.token + " -cli", options, GetLogging());
            ADD_FAILURE() << "the parse went on";
        } catch (const std::runtime_error& error) {
            if (c.outsideAlphabet)
                EXPECT_STREQ(error.what(), "Option \xE2\x80\x93opwd is not a valid password.");
            else
                EXPECT_NE(dynamic_cast<const Obscurity::ObscurityException*>(&error), nullptr);
        }
        Lines expected = {kStart, "Found argument:  -pwd ", "Password option set ", "Found argument:  -opwd "};
        if (c.outsideAlphabet)
            expected.push_back(
                "Option \xE2\x80\x93opwd is not a valid password. \xE2\x80\x93opwd may only contain "
                "a-z, A-Z, 0-9, +, /, or = ");
        expected.push_back(kInvalidPassword);
        EXPECT_EQ(log.Take(), expected);
        EXPECT_EQ(options.GetPrimaryPassword(), L"kept");
        EXPECT_FALSE(options.GetCommandLineMode()) << "nothing after -opwd is applied";
    }
}

TEST(ParseArguments, TokenWhoseSaltRunsPastItsDataIsLoggedAsMalformed)
{
    // The salt-length byte claims more salt than the token holds.
    const std::string token = Encode(std::string("\x07\xF0", 2) + std::string(12, 'x'));
    PackageOptions options;
    LogLines log;
    EXPECT_THROW(ParseArguments("-opwd " + token + " -cli", options, GetLogging()), TolvarSecurity::SecurityException);
    EXPECT_EQ(log.Take(), (Lines{kStart, "Found argument:  -opwd ",
                                 "Option \xE2\x80\x93opwd is a malformed token: its layout does not hold together. "}));
    EXPECT_FALSE(options.GetCommandLineMode()) << "nothing after -opwd is applied";
}

class CommandLineParserChecks : public testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(TestSupport::ScratchFolder().string()) / "parser";
        TestSupport::CidBuilder((root / "cid").string());
        fs::create_directories(root / "out");
    }

    std::string Path(const char* name) const { return (root / name).string(); }

    fs::path root;
};

TEST_F(CommandLineParserChecks, ConstructionSelectsAnArchitectureAndChecksSourceAndOutput)
{
    {
        PackageOptions options;
        LogLines log;
        const CommandLineParser parser({}, options);
        EXPECT_FALSE(parser.IsValid());
        EXPECT_EQ(log.Take(),
                  (Lines{kStart, "Source path:    does not exist ", "Destination path:    is zero length "}));
    }
    {
        PackageOptions options;
        LogLines log;
        const CommandLineParser parser({"-arch", "32bit", "-arch", "64bit", "-nocheck"}, options);
        EXPECT_TRUE(parser.IsValid());
        EXPECT_TRUE(options.GetInclude32Bit() && options.GetInclude64Bit());
        EXPECT_EQ(log.Take(), (Lines{kStart, "Architecture set ", "Architecture set ", "No check option set "}));
    }
    {
        PackageOptions options;
        LogLines log;
        const CommandLineParser parser({"-cidpath", Path("cid"), "-sfxpath", Path("out")}, options);
        EXPECT_TRUE(parser.IsValid());
        EXPECT_TRUE(options.GetOutputIsFolder());
        EXPECT_EQ(log.Take(), (Lines{kStart, "Package source path set to:  " + Path("cid") + " ",
                                     "Destination folder path set to:  " + Path("out") + " ",
                                     "Source path:  " + Path("cid") + "  is OK ",
                                     "Destination path:  " + Path("out") + "  is OK "}));
    }
}

TEST_F(CommandLineParserChecks, SourceThatIsAFileEndsConstruction)
{
    PackageOptions options;
    EXPECT_THROW(CommandLineParser({"-cidpath", Path("cid/cidsync.upd")}, options), fs::filesystem_error);
}

TEST_F(CommandLineParserChecks, ValidateRunsEveryGroupAndLogsOneTextPerFailure)
{
    struct Case {
        std::string arguments;
        Lines validateLines;
        bool valid;
    };
    const std::string cid = Path("cid");
    const std::string out = Path("out");
    const std::string file = Path("out/setup.exe");
    const std::vector<Case> cases = {
        {"-cli", {Text(132, ""), Text(133, "")}, false},
        {"-cli -nocheck", {}, true},
        {"-cidpath " + cid + " -sfxpath " + file,
         {"Source path:  " + cid + "  is OK ", "Destination path:  " + file + "  is OK "},
         true},
        {"-cidpath " + Path("missing") + " -sfxpath setup.exe -patch \"\" -updp https://upd.example/x",
         {"Source path:  " + Path("missing") + "  does not exist ", Text(110, Path("missing")),
          "Error:  the output package has no folder part: No such file or directory ",
          "Destination path:  setup.exe  is invalid ", Text(111, "setup.exe"), Text(135, ""),
          "Updating source:  https://upd.example/x  is invalid ", Text(114, "https://upd.example/x")},
         false},
        {"-cidpath " + cid + " -sfxpath " + out + " -patch kett.example -updp \\\\srv\\upd",
         {"Source path:  " + cid + "  is OK ", "Destination path:  " + out + "  is OK ",
          "URL failed on crack URL test ", "URL:  kett.example  is invalid ", Text(113, "kett.example"),
          "Updating source:  \\\\srv\\upd  is OK "},
         false},
        {"-cidpath " + cid + " -sfxpath " + out + " -patch https://kett.example:8443/",
         {"Source path:  " + cid + "  is OK ", "Destination path:  " + out + "  is OK ",
          "URL:  https://kett.example:8443/  is OK "},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        PackageOptions options;
        CommandLineParser parser(SplitArguments(c.arguments), options);
        LogLines log;
        parser.Validate(options);
        EXPECT_EQ(log.Take(), c.validateLines);
        EXPECT_EQ(parser.IsValid(), c.valid);
    }
}

TEST_F(CommandLineParserChecks, ValidateDecidesWhetherTheOutputIsAFolder)
{
    PackageOptions options;
    CommandLineParser parser({"-cidpath", Path("cid"), "-sfxpath", Path("out")}, options);
    ASSERT_TRUE(options.GetOutputIsFolder());
    fs::remove(root / "out");
    parser.Validate(options);
    EXPECT_FALSE(options.GetOutputIsFolder());
    EXPECT_TRUE(parser.IsValid());
}

}  // namespace
