// The installer module's configuration text as a package of ours holds it, and what is refused.
#include <gtest/gtest.h>

#include "inspect/SfxConfigReading.h"

namespace {

const std::string kOurs =
    ";!@Install@!UTF-8!\r\nInstallPath=\"%temp%\\halvex_temp\"\r\nExecuteFile=\"setup.vbs\"\r\nProgress=\"No\"\r\n"
    ";!@InstallEnd@!";

TEST(SfxConfigReading, ReadsOurs)
{
    const auto reading = ReadSfxConfig(kOurs);
    ASSERT_TRUE(reading.config) << reading.problem;
    EXPECT_EQ(reading.config->Value("installpath"), "%temp%\\halvex_temp");
    EXPECT_EQ(reading.config->Value("ExecuteFile"), "setup.vbs");
    EXPECT_EQ(reading.config->Value("Progress"), "No");
    EXPECT_FALSE(reading.config->Value("RunProgram"));
}

TEST(SfxConfigReading, RefusesOthers)
{
    const auto replaced = [](std::string from, std::string to) {
        std::string text = kOurs;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct {
        const char* name;
        std::string text;
        const char* problem;
    } cases[] = {
        {"a program run besides the script", replaced("Progress", "RunProgram=\"cmd.exe\"\r\nProgress"), "RunProgram"},
        {"another file to execute", replaced("setup.vbs", "evil.vbs"), "does not run setup.vbs"},
        {"a key twice", replaced("Progress=\"No\"", "Progress=\"No\"\r\nProgress=\"Yes\""), "twice"},
        {"a line that is no setting", replaced("Progress=\"No\"", "Progress No"), "not key=\"value\""},
        {"no end marker", kOurs.substr(0, kOurs.size() - 3), "start marker to its end marker"},
        {"the markers alone overlapping", ";!@Install@!UTF-8!", "start marker to its end marker"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto reading = ReadSfxConfig(c.text);
        EXPECT_FALSE(reading.config);
        EXPECT_NE(reading.problem.find(c.problem), std::string::npos) << reading.problem;
    }
}

}  // namespace
