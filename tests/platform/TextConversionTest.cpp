#include "platform/TextConversion.h"

#include <gtest/gtest.h>

namespace {

TEST(TextConversion, HostTextRoundTripsBeyondLatin1)
{
    const std::string utf8 = "p\xC3\xA4ss \xE2\x82\xAC \xF0\x9F\x94\x91";  // "päss € 🔑"
    const std::wstring wide = Platform::WidenHostText(utf8);
    EXPECT_EQ(wide, std::wstring(L"p\u00E4ss \u20AC \U0001F511"));
    EXPECT_EQ(Platform::NarrowHostText(wide), utf8);
}

TEST(TextConversion, InvalidUtf8BecomesReplacementCharacterPerByte)
{
    EXPECT_EQ(Platform::WidenHostText("a\xFF" "b\xC3"), std::wstring(L"a\uFFFDb\uFFFD"));
}

TEST(TextConversion, Windows1252KeepsWhatItCanAndMarksTheRest)
{
    struct Case { std::wstring in; std::string out; };
    const Case cases[] = {
        {L"plain ASCII \\ \"", "plain ASCII \\ \""},
        {L"\u00E4\u00FF\u00A0", "\xE4\xFF\xA0"},
        {L"\u20AC\u2013\u0178", "\x80\x96\x9F"},
        {L"\u0100\u4E2D\U0001F511\u0081", "????"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Platform::ToWindows1252(c.in), c.out);
}

}  // namespace
