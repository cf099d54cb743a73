#include "obfuscation/obscurity/Base64.h"

#include <string>

#include <gtest/gtest.h>

namespace {

std::string Encode(const std::string& bytes)
{
    std::string text((bytes.size() + 2) / 3 * 4, '?');
    std::size_t length = text.size();
    EXPECT_TRUE(Obscurity::Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text.data(),
                                        length));
    text.resize(length);
    return text;
}

std::string Decode(const std::string& text, std::size_t room = 64)
{
    std::string bytes(room, '?');
    std::size_t length = room;
    if (!Obscurity::Base64Decode(text.data(), text.size(), reinterpret_cast<unsigned char*>(bytes.data()), length))
        return "<failed>";
    bytes.resize(length);
    return bytes;
}

TEST(Base64, EncodesTheStandardWayWithPadding)
{
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\x07\x08\xFB\xFF\x00", 5), "Bwj7/wA="},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Encode(c.bytes), c.text);
        EXPECT_EQ(Decode(c.text), c.bytes);
    }
}

TEST(Base64, EncoderNeedsRoomForTheWholeText)
{
    char text[8];
    std::size_t length = 7;
    EXPECT_FALSE(Obscurity::Base64Encode(reinterpret_cast<const unsigned char*>("abcd"), 4, text, length));
    EXPECT_EQ(length, 7u);
}

TEST(Base64, DecoderSkipsStrangersAndCompletesShortGroups)
{
    struct Case {
        std::string text;
        std::string bytes;
    };
    const Case cases[] = {
        {"Zm 9v\r\nYm-Fy", "foobar"},  // anything outside the alphabet is skipped
        {"Z=m=9=v", "foo"},  // so is "=", wherever it stands
        {"Zm9vYmE", "fooba"},  // a last group of three gives two bytes
        {"Zm9vYg", "foob"},  // of two, one byte
        {"Zm9vY", "foo"},  // of one, nothing
        {std::string("Zm9v\0YmFy", 9), "foo"},  // a NUL ends the text
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.text), c.bytes) << c.text;
}

TEST(Base64, DecoderFailsOnlyWhenTheBytesDoNotFit)
{
    EXPECT_EQ(Decode("Zm9vYmFy", 6), "foobar");
    EXPECT_EQ(Decode("Zm9vYmFy", 5), "<failed>");
    EXPECT_EQ(Decode("Zm9vYg", 3), "<failed>");
}

}  // namespace
