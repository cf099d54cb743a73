#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "obfuscation/obscurity/Obfuscation.h"
#include "support/ChildRun.h"

namespace {

using TestSupport::ChildResult;

ChildResult WithInput(const std::string& input, const std::vector<std::string>& arguments = {})
{
    TestSupport::ChildOptions options;
    options.input = input;
    return TestSupport::RunChild(HALVEX_OBSCURE, arguments, options);
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
    const ChildResult run = WithInput("secret\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, 2), "Bw");
    EXPECT_EQ(run.out.size(), 37u) << "36 characters and the line end";
    EXPECT_EQ(RevealLine(run.out), L"secret");
    EXPECT_EQ(run.err, "") << "no prompt when standard input is no terminal";
}

TEST(HalvexObscure, LineEndIsNotPartOfThePassword)
{
    struct Case {
        std::string input;
        std::wstring password;
    };
    const Case cases[] = {
        {"secret\r\n", L"secret"},
        {"secret", L"secret"},
        {"two words \n", L"two words "},
        {"first line\nsecond line\n", L"first line"},
        {"p\xC3\xA4ss \xE2\x82\xAC \xF0\x9F\x94\x91\n", L"p\u00E4ss \u20AC \U0001F511"},
    };
    for (const auto& c : cases) {
        const ChildResult run = WithInput(c.input);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(RevealLine(run.out), c.password);
    }
}

TEST(HalvexObscure, RefusesEmptyOverlongOrUnreadablePasswordsAndArguments)
{
    struct Case {
        std::string input;
        std::vector<std::string> arguments;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {"", {}, 1, "halvex-obscure: the password is empty; nothing to obscure\n"},
        {"\n", {}, 1, "halvex-obscure: the password is empty; nothing to obscure\n"},
        {"\r\n", {}, 1, "halvex-obscure: the password is empty; nothing to obscure\n"},
        {"bad \xFF byte\n", {}, 1, "halvex-obscure: the password is not valid UTF-8 text\n"},
        {std::string(1025, 'p') + "\n",
         {},
         1,
         "halvex-obscure: the password is longer than 1024 bytes; nothing obscured\n"},
        {std::string(10 << 20, 'p'),
         {},
         1,
         "halvex-obscure: the password is longer than 1024 bytes; nothing obscured\n"},
        {"secret\n", {"secret"}, 2, "usage: halvex-obscure"},
        {"secret\n", {"--HELP"}, 2, "usage: halvex-obscure"},
        {"secret\n", {"--help", "--version"}, 2, "usage: halvex-obscure"},
        {"secret\n", {"-h"}, 2, "usage: halvex-obscure"},
    };
    for (const auto& c : cases) {
        const ChildResult run = WithInput(c.input, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.message;
        EXPECT_EQ(run.err.substr(0, c.message.size()), c.message);
        EXPECT_EQ(run.out, "") << "no token on a refusal";
    }
}

TEST(HalvexObscure, HelpAndVersionGoToStandardOutputAndReadNoPassword)
{
    struct Case {
        std::string argument;
        std::string start;
    };
    const Case cases[] = {
        {"--help", "usage: halvex-obscure < password-file\n"},
        {"--version", std::string("halvex-obscure ") + HALVEX_VERSION + "\n"},
    };
    for (const auto& c : cases) {
        const ChildResult run = WithInput("secret\n", {c.argument});
        EXPECT_EQ(run.exitCode, 0) << c.argument;
        EXPECT_EQ(run.out.substr(0, c.start.size()), c.start);
        EXPECT_EQ(run.out.find("Bw"), std::string::npos) << "no token: " << run.out;
        EXPECT_EQ(run.err, "");
    }
}

}  // namespace
