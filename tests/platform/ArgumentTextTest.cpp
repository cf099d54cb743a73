#include "platform/ArgumentText.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(ArgumentText, JoinsAndQuotesOnlyWhatSplittingNeeds)
{
    struct Case {
        std::vector<const char*> arguments;
        std::wstring text;
    };
    const Case cases[] = {
        {{}, L""},
        {{"-cli"}, L"-cli"},
        {{"-cidpath", "/srv/my cid", "-CLI"}, L"-cidpath \"/srv/my cid\" -CLI"},
        {{"-opwd", ""}, L"-opwd \"\""},
        {{"tab\there"}, L"\"tab\there\""},
        {{"say\"hi\"", "/x"}, L"say\"hi\" /x"},
        {{"/srv/\xC3\xA4\xE4\xB8\xAD"}, L"/srv/\u00E4\u4E2D"},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv = {"halvex"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(Platform::ArgumentText(static_cast<int>(argv.size()), argv.data()), c.text);
    }
}

}  // namespace
