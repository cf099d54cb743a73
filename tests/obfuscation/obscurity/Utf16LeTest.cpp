#include "obfuscation/obscurity/Utf16Le.h"

#include <string>

#include <gtest/gtest.h>

namespace {

std::string Bytes(const std::wstring& text)
{
    const TolvarSecurity::membuff bytes = Obscurity::ToUtf16Le(text);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::wstring Text(const std::string& bytes)
{
    return Obscurity::FromUtf16Le(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(Utf16Le, CodeUnitsLowByteFirstWithSurrogatePairs)
{
    struct Case {
        std::wstring text;
        std::string bytes;
    };
    const Case cases[] = {
        {L"", ""},
        {L"Ab", std::string("A\0b\0", 4)},
        {L"\u00E4\u20AC", std::string("\xE4\x00\xAC\x20", 4)},
        {L"\U0001F511", "\x3D\xD8\x11\xDD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Bytes(c.text), c.bytes);
        EXPECT_EQ(Text(Bytes(c.text)), c.text);
    }
}

TEST(Utf16Le, LoneSurrogatesSurviveAndAnOddByteIsDropped)
{
    const std::wstring lone = {wchar_t(0xD800), L'x', wchar_t(0xDC01)};
    EXPECT_EQ(Text(Bytes(lone)), lone);
    EXPECT_EQ(Text(std::string("a\0b", 3)), L"a");
    EXPECT_EQ(Text("\x3D\xD8"), std::wstring(1, wchar_t(0xD83D)));
}

TEST(Utf16Le, ValuesThatAreNoCharacterBecomeTheReplacement)
{
    EXPECT_EQ(Bytes(std::wstring(1, static_cast<wchar_t>(0x110000))), "\xFD\xFF");
}

}  // namespace
