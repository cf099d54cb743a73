#include "platform/CommandLineSplit.h"

#include <gtest/gtest.h>

namespace {

using Arguments = std::vector<std::wstring>;

TEST(CommandLineSplit, FollowsTheWindowsRules)
{
    struct Case { const wchar_t* line; Arguments expected; };
    const Case cases[] = {
        {LR"("/opt/my tools/7za" a "/out dir/x.7z" "/w/*" -r)",
         {L"/opt/my tools/7za", L"a", L"/out dir/x.7z", L"/w/*", L"-r"}},
        {L"prog  \t a\tb  ", {L"prog", L"a", L"b"}},
        {LR"(prog a\\\"b "c\\" d\e)", {L"prog", LR"(a\"b)", LR"(c\)", LR"(d\e)"}},
        {LR"(prog "say ""hi""" x)", {L"prog", LR"(say "hi")", L"x"}},
        {LR"(prog "" "open)", {L"prog", L"", L"open"}},
        {LR"("C:\dir\"rest x)", {LR"(C:\dir\rest)", L"x"}},
        {L"", {L""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Platform::SplitCommandLine(c.line), c.expected) << c.line;
}

}  // namespace
