#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "obfuscation/obscurity/Obfuscation.h"

namespace {

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Scratch(const std::string& name)
{
    return std::string(std::getenv("HALVEX_TEST_TMP")) + "/" + name;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a shell command line with the command's output and exit code caught in files.
CommandResult Shell(const std::string& commandLine)
{
    const std::string script = commandLine + " >'" + Scratch("out") + "' 2>'" + Scratch("err") + "'; echo $? >'" +
                               Scratch("rc") + "'";
    EXPECT_EQ(std::system(script.c_str()), 0) << script;
    return {std::stoi(ReadFile(Scratch("rc"))), ReadFile(Scratch("out")), ReadFile(Scratch("err"))};
}

CommandResult WithInput(const std::string& input, const std::string& arguments = "")
{
    std::ofstream(Scratch("in"), std::ios::binary) << input;
    return Shell(std::string("'") + HALVEX_OBSCURE + "' " + arguments + " <'" + Scratch("in") + "'");
}

std::wstring RevealLine(const std::string& out)
{
    EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line: " << out;
    std::wstring password;
    Obscurity::Obfuscation().reveal(out, password);
    return password;
}

TEST(HalvexObscure, PrintsATokenThatRevealsToThePipedPassword)
{
    const CommandResult run = Shell(std::string("printf 'secret\\n' | '") + HALVEX_OBSCURE + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, 2), "Bw");
    EXPECT_EQ(run.out.size(), 37u) << "36 characters and the line end";
    EXPECT_EQ(RevealLine(run.out), L"secret");
    EXPECT_EQ(run.err, "") << "no prompt when standard input is no terminal";
}

TEST(HalvexObscure, LineEndIsNotPartOfThePassword)
{
    struct Case { std::string input; std::wstring password; };
    const Case cases[] = {
        {"secret\r\n", L"secret"},
        {"secret", L"secret"},
        {"two words \n", L"two words "},
        {"first line\nsecond line\n", L"first line"},
        {"p\xC3\xA4ss \xE2\x82\xAC \xF0\x9F\x94\x91\n", L"p\u00E4ss \u20AC \U0001F511"},
    };
    for (const auto& c : cases) {
        const CommandResult run = WithInput(c.input);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(RevealLine(run.out), c.password);
    }
}

TEST(HalvexObscure, RefusesEmptyOrUnreadablePasswordsAndArguments)
{
    struct Case { std::string input; std::string arguments; int exitCode; std::string message; };
    const Case cases[] = {
        {"", "", 1, "halvex-obscure: the password is empty; nothing to obscure\n"},
        {"\n", "", 1, "halvex-obscure: the password is empty; nothing to obscure\n"},
        {"\r\n", "", 1, "halvex-obscure: the password is empty; nothing to obscure\n"},
        {"bad \xFF byte\n", "", 1, "halvex-obscure: the password is not valid UTF-8 text\n"},
        {"secret\n", "secret", 2, "usage: halvex-obscure"},
        {"secret\n", "--HELP", 2, "usage: halvex-obscure"},
        {"secret\n", "--help --version", 2, "usage: halvex-obscure"},
        {"secret\n", "-h", 2, "usage: halvex-obscure"},
    };
    for (const auto& c : cases) {
        const CommandResult run = WithInput(c.input, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_EQ(run.err.substr(0, c.message.size()), c.message);
        EXPECT_EQ(run.out, "") << "no token on a refusal";
    }
}

TEST(HalvexObscure, HelpAndVersionGoToStandardOutputAndReadNoPassword)
{
    struct Case { std::string argument; std::string start; };
    const Case cases[] = {
        {"--help", "usage: halvex-obscure < password-file\n"},
        {"--version", std::string("halvex-obscure ") + HALVEX_VERSION + "\n"},
    };
    for (const auto& c : cases) {
        const CommandResult run = WithInput("secret\n", c.argument);
        EXPECT_EQ(run.exitCode, 0) << c.argument;
        EXPECT_EQ(run.out.substr(0, c.start.size()), c.start);
        EXPECT_EQ(run.out.find("Bw"), std::string::npos) << "no token: " << run.out;
        EXPECT_EQ(run.err, "");
    }
}

}  // namespace
