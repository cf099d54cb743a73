#include "core/Logging.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/LogLines.h"

namespace {

TEST(Logging, FileLivesUnderTheApplicationDataFolder)
{
    const std::string programData = std::getenv("ProgramData");
    EXPECT_EQ(GetLogging().GetLogFilePath(),
              std::wstring(programData.begin(), programData.end()) + L"/Veskor/Zastrel/Log/log.txt");
}

TEST(Logging, LinesCarryStampItemsSpacesAndCrLf)
{
    LogLines log;
    CLogging& logging = GetLogging();
    logging << "Destination path: " << std::wstring(L"/srv/\u00E4\u4E2D") << " is OK" << "\n";
    logging << "\n";
    logging << "code" << static_cast<int>(0x80000001u) << 0 << "\n";
    logging << "not\nthe end" << "\n";
    logging << "never written";

    EXPECT_EQ(log.Take(), (std::vector<std::string>{"Destination path:  /srv/\xC3\xA4\xE4\xB8\xAD  is OK ", "",
                                                    "code -2147483647 0 ", "not\nthe end "}));
    EXPECT_FALSE(LogLines::All(LogLines::Path()).empty()) << "the file begins with the byte-order mark";
}

}  // namespace
