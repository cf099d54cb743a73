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
    EXPECT_EQ(Platform::WidenHostText("a\xFF"
                                      "b\xC3"),
              std::wstring(L"a\uFFFDb\uFFFD"));
}

TEST(TextConversion, Windows1252KeepsWhatItCanAndMarksTheRest)
{
    struct Case {
        std::wstring in;
        std::string out;
    };
    const Case cases[] = {
        {L"plain ASCII \\ \"", "plain ASCII \\ \""},
        {L"\u00E4\u00FF\u00A0", "\xE4\xFF\xA0"},
        {L"\u20AC\u2013\u0178", "\x80\x96\x9F"},
        {L"\u0100\u4E2D\U0001F511\u0081", "????"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Platform::ToWindows1252(c.in), c.out);
}

TEST(TextConversion, BytesThatAreNotUtf8AreReplacedOrShownEscaped)
{
    struct Case {
        std::string bytes;
        bool valid;
        std::wstring escaped;
    };
    const Case cases[] = {
        {"", true, L""},
        {"/srv/\xC3\xA4\xE4\xB8\xAD", true, L"/srv/\u00E4\u4E2D"},
        {"/srv/bad\xFFname", false, L"/srv/bad\\xFFname"},
        {"/srv/\xC3", false, L"/srv/\\xC3"},
        {"\xE4\xB8/x", false, L"\\xE4\\xB8/x"},
        {"\x80\xC3\xA4", false, L"\\x80\u00E4"},
        {"\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80", false, L"\\xC0\\xAF\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80"},
        {"\xF0\x9F\x98\x80", true, L"\U0001F600"},
        // Old five- and six-byte forms: no character at all.
        {"\xFD\x88\xA7\xBD\x98\x88", false, L"\\xFD\\x88\\xA7\\xBD\\x98\\x88"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(Platform::IsValidHostText(c.bytes), c.valid);
        EXPECT_EQ(Platform::WidenHostTextEscaped(c.bytes), c.escaped);
        // The plain conversion puts one U+FFFD where the escaped one writes one \xHH.
        std::wstring replaced = c.escaped;
        for (std::size_t at; (at = replaced.find(L"\\x")) != std::wstring::npos;)
            replaced.replace(at, 4, 1, L'\xFFFD');
        EXPECT_EQ(Platform::WidenHostText(c.bytes), replaced);
    }
}

}  // namespace
