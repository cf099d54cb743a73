#include "app/Logging.h"

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string ReadLogBytes()
{
    std::ifstream in(std::string(std::getenv("ProgramData")) + "/Veskor/Zastrel/Log/log.txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The last `count` CR LF lines of the log, time stamps checked and cut off.
std::vector<std::string> LastLines(std::size_t count)
{
    const std::string bytes = ReadLogBytes();
    std::vector<std::string> lines;
    std::size_t start = 3;
    for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start));
    EXPECT_EQ(start, bytes.size()) << "the file ends with a whole line";
    const std::regex stamp(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d )");
    std::vector<std::string> last;
    for (std::size_t i = lines.size() - std::min(count, lines.size()); i < lines.size(); ++i) {
        EXPECT_TRUE(std::regex_search(lines[i], stamp, std::regex_constants::match_continuous)) << lines[i];
        last.push_back(lines[i].substr(20));
    }
    return last;
}

TEST(Logging, FileLivesUnderTheApplicationDataFolder)
{
    const std::string programData = std::getenv("ProgramData");
    EXPECT_EQ(GetLogging().GetLogFilePath(),
              std::wstring(programData.begin(), programData.end()) + L"/Veskor/Zastrel/Log/log.txt");
}

TEST(Logging, LinesCarryStampItemsSpacesAndCrLf)
{
    CLogging& log = GetLogging();
    log << "Destination path: " << std::wstring(L"/srv/\u00E4\u4E2D") << " is OK" << "\n";
    log << "\n";
    log << "code" << static_cast<int>(0x80000001u) << 0 << "\n";
    log << "not\nthe end" << "\n";
    log << "never written";

    const std::string bytes = ReadLogBytes();
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    const auto lines = LastLines(4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Destination path:  /srv/\xC3\xA4\xE4\xB8\xAD  is OK ");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "code -2147483647 0 ");
    EXPECT_EQ(lines[3], "not\nthe end ");
}

}  // namespace
