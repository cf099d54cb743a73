#include "platform/HostFolders.h"

#include <cstdlib>

#include <gtest/gtest.h>

namespace {

class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedVariable()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(HostFolders, TempBaseNeverEmptyOrRelative)
{
    struct Case { const char* temp; const char* tmpdir; const wchar_t* expected; };
    const Case cases[] = {
        {"/srv/t mp", "/other", L"/srv/t mp"},
        {"", "/other", L"/other"},
        {"relative", nullptr, L"/tmp"},
        {nullptr, "relative/too", L"/tmp"},
        {nullptr, nullptr, L"/tmp"},
    };
    for (const auto& c : cases) {
        ScopedVariable temp("TEMP", c.temp);
        ScopedVariable tmpdir("TMPDIR", c.tmpdir);
        EXPECT_EQ(Platform::TempBase(), c.expected);
    }
}

TEST(HostFolders, ProgramDataWinsWhenSet)
{
    ScopedVariable programData("ProgramData", "/data/\xC3\xA4");
    EXPECT_EQ(Platform::CommonAppDataFolder(), L"/data/\u00E4");
}

TEST(HostFolders, ProgramFolderHoldsThisExecutable)
{
    const std::wstring folder = Platform::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), L'/');
    EXPECT_NE(folder.back(), L'/');
}

}  // namespace
