#include "platform/HostFolders.h"

#include <cstdlib>
#include <optional>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

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
    struct Case {
        const char* temp;
        const char* tmpdir;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"/srv/t mp", "/other", L"/srv/t mp"}, {"", "/other", L"/other"},   {"relative", nullptr, L"/tmp"},
        {nullptr, "relative/too", L"/tmp"},    {nullptr, nullptr, L"/tmp"},
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

// Without ProgramData a user who may not write to /var/lib gets a folder of their own. Run
// in a child process that is such a user (nobody, when this one is root).
TEST(HostFolders, WithoutProgramDataAnUnprivilegedUserLogsInTheirStateFolder)
{
    struct Case {
        const char* stateHome;
        const char* home;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"/srv/state", "/home/ann", L"/srv/state"},
        {"", "/home/ann", L"/home/ann/.local/state"},
        {nullptr, "/home/\xC3\xA4", L"/home/\u00E4/.local/state"},
        {nullptr, nullptr, L""},
    };
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(report[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        if (::access("/var/lib", W_OK | X_OK) == 0)
            ::_exit(3);
        ::unsetenv("ProgramData");
        std::string mismatches;
        for (const auto& c : cases) {
            ScopedVariable stateHome("XDG_STATE_HOME", c.stateHome);
            ScopedVariable home("HOME", c.home);
            if (Platform::CommonAppDataFolder() != c.expected)
                mismatches += std::string("wrong folder with HOME ") + (c.home ? c.home : "unset") + "\n";
        }
        const bool written =
            ::write(report[1], mismatches.data(), mismatches.size()) == static_cast<ssize_t>(mismatches.size());
        ::_exit(written && mismatches.empty() ? 0 : 1);
    }
    ::close(report[1]);
    std::string said;
    char buffer[256];
    for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<std::size_t>(got));
    ::close(report[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "this user may write to /var/lib";
    EXPECT_EQ(WEXITSTATUS(status), 0) << said;
}

TEST(HostFolders, ProgramFolderHoldsThisExecutable)
{
    const std::wstring folder = Platform::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), L'/');
    EXPECT_NE(folder.back(), L'/');
}

}  // namespace
