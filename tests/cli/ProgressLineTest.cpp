#include "cli/ProgressLine.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::seconds;

TEST(ProgressLine, ElapsedTimeGrowsAnHourFieldOnlyWhenItNeedsOne)
{
    const struct {
        long long seconds;
        const wchar_t* text;
    } cases[] = {
        {0, L"0:00"},       {9, L"0:09"},       {102, L"1:42"},         {3599, L"59:59"},
        {3600, L"1:00:00"}, {3725, L"1:02:05"}, {360000, L"100:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ElapsedText(seconds(c.seconds)), c.text) << c.seconds;
}

TEST(ProgressLine, StatusIsCutToTheTerminalFiguresNever)
{
    const std::wstring status = L"Creating the final self-extracting archive...";
    const struct {
        const char* name;
        std::size_t columns;
        const wchar_t* text;
    } cases[] = {
        {"room to spare", 80, L"Creating the final self-extracting archive...  67%  1:42"},
        {"the last column stays free", 57, L"Creating the final self-extracting archive...  67%  1:42"},
        {"one column short", 56, L"Creating the final self-extracting archiv...  67%  1:42"},
        {"a narrow terminal", 40, L"Creating the final self-e...  67%  1:42"},
        {"room for one character of the status", 16, L"C...  67%  1:42"},
        {"too narrow for any status", 15, L"67%  1:42"},
        {"the figures alone", 10, L"67%  1:42"},
        {"too narrow for the figures", 9, L""},
        {"no columns at all", 0, L""},
    };
    for (const auto& c : cases) {
        const std::wstring text = ProgressLineText(status, 67, seconds(102), c.columns);
        EXPECT_EQ(text, c.text) << c.name;
        EXPECT_LT(text.size(), std::max<std::size_t>(c.columns, 1)) << c.name;
    }
}

}  // namespace
