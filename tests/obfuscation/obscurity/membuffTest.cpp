#include "obfuscation/obscurity/membuff.h"

#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "obfuscation/obscurity/SecurityException.h"

namespace {

using TolvarSecurity::membuff;

membuff Text(const std::string& text)
{
    return membuff(reinterpret_cast<const unsigned char*>(text.data()), static_cast<std::uint32_t>(text.size()));
}

std::string Contents(const membuff& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size());
}

TEST(membuff, CopiesAreDeepAndEmptyInputGivesAnEmptyBuffer)
{
    const unsigned char bytes[] = {1, 2, 3};
    membuff original(bytes, 3);
    const membuff copy(original);
    membuff assigned;
    assigned = original;
    original.data()[0] = 9;
    EXPECT_EQ(Contents(copy), std::string("\x01\x02\x03", 3));
    EXPECT_EQ(Contents(assigned), std::string("\x01\x02\x03", 3));
    EXPECT_NE(copy.data(), original.data());

    for (const membuff& empty : {membuff(nullptr, 5), membuff(bytes, 0)}) {
        EXPECT_EQ(empty.size(), 0u);
        EXPECT_EQ(empty.data(), nullptr);
    }
}

TEST(membuff, AssignFromItsOwnBytesKeepsThem)
{
    membuff buffer = Text("abcdef");
    buffer.assign(buffer.data() + 2, 3);
    EXPECT_EQ(Contents(buffer), "cde");
    buffer = buffer;
    EXPECT_EQ(Contents(buffer), "cde");
}

TEST(membuff, AllocateSizesByProductAndRefusesWhatCannotBeHeld)
{
    membuff buffer = Text("old");
    buffer.allocate(4, 3);
    EXPECT_EQ(buffer.size(), 12u);
    buffer.allocate(0, 8);
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(buffer.data(), nullptr);

    const auto max = std::numeric_limits<std::uint32_t>::max();
    EXPECT_THROW(buffer.allocate(max, 2), TolvarSecurity::InsufficientMemory);
    EXPECT_EQ(buffer.size(), 0u);
}

TEST(membuff, MovingHandsTheBlockOver)
{
    membuff source = Text("secret");
    const unsigned char* block = source.data();
    membuff moved(std::move(source));
    EXPECT_EQ(moved.data(), block);
    EXPECT_EQ(source.size(), 0u);
    membuff target = Text("other");
    target = std::move(moved);
    EXPECT_EQ(target.data(), block);
    EXPECT_EQ(Contents(target), "secret");
}

}  // namespace
