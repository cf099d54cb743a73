#include "platform/StringTable.h"

#include <gtest/gtest.h>

namespace {

TEST(StringTable, KnownAndUnknownIds)
{
    EXPECT_EQ(Platform::LoadString(117), std::wstring(L"Veskor Zastrel"));
    EXPECT_EQ(Platform::LoadString(121), std::wstring(L"Executable files (*.exe)|*.exe||"));
    for (const unsigned missing : {100u, 102u, 112u, 124u, 134u, 141u, 143u})
        EXPECT_FALSE(Platform::LoadString(missing)) << missing;
}

TEST(StringTable, FormatInsertsOneValueWithoutReinterpretingIt)
{
    EXPECT_EQ(Platform::LoadFormattedString(116, L"/var/lib/Veskor/Zastrel/Log/log.txt"),
              std::wstring(L"Package generation failed. See \"/var/lib/Veskor/Zastrel/Log/log.txt\" for details."));
    EXPECT_EQ(Platform::FormatMessage(L"[%1]", L"50%1 %% %n"), L"[50%1 %% %n]");
    EXPECT_EQ(Platform::FormatMessage(L"a%%b%nc%0d", L"x"), L"a%b\r\nc");
}

}  // namespace
