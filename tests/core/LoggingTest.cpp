#include "core/Logging.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
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
    logging << "never written";

    EXPECT_EQ(log.Take(), (std::vector<std::string>{"Destination path:  /srv/\xC3\xA4\xE4\xB8\xAD  is OK ", "",
                                                    "code -2147483647 0 "}));
    EXPECT_FALSE(LogLines::All(LogLines::Path()).empty()) << "the file begins with the byte-order mark";
    // The open line ends here, so that the tests after this one in the same program start
    // on a line of their own.
    logging << "\n";
}

// Lines of a batch are all in the file once the outermost batch ends, however it ends;
// after it, every line is in the file as soon as it is written.
TEST(Logging, BatchedLinesAreAllInTheFileWhenTheBatchEnds)
{
    LogLines log;
    CLogging& logging = GetLogging();
    std::vector<std::string> expected;
    try {
        const CLogging::Batch outer(logging);
        for (int line = 0; line < 2000; ++line) {
            const CLogging::Batch inner(logging);
            logging << "Copying file from:" << line << "\n";
            expected.push_back("Copying file from: " + std::to_string(line) + " ");
        }
        throw std::runtime_error("a failure ends the batch");
    } catch (const std::runtime_error&) {}
    EXPECT_EQ(log.Take(), expected);
    logging << "after" << "\n";
    EXPECT_EQ(log.Take(), std::vector<std::string>{"after "});
}

// The last line, written from another thread while the program's thread builds one, goes
// in whole and at once, with the lines batched before it, and nothing follows it.
TEST(Logging, LastLineFromAnotherThreadReachesTheFileAtOnceAndEndsIt)
{
    LogLines log;
    EXPECT_EXIT(
        {
            CLogging& logging = GetLogging();
            {
                const CLogging::Batch batch(logging);
                logging << "batched" << "\n";
                logging << "begun";
                std::thread([&logging] { logging.WriteLastLine(L"the last\nline"); }).join();
            }
            logging << "ended" << "\n";
            // Ends without flushing what a stream still holds, as a signal would.
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"batched ", "the last\\nline "}));
}

TEST(Logging, ControlCharactersInsideItemsCannotStartALine)
{
    struct Case {
        std::wstring item;
        std::string written;
    };
    const Case cases[] = {
        {L"x\nZastrel completed successfully", "x\\nZastrel completed successfully"},
        {L"a\r\nb\tc", "a\\r\\nb\\tc"},
        {L"\x1b[31mred\x7f", "\\x1B[31mred\\x7F"},
        {std::wstring(L"nul\0inside", 10), "nul\\x00inside"},
        {L"next\x85line\u2028sep\u2029", "next\\x85line\\u2028sep\\u2029"},
        // Without control characters a value is written as it is, backslashes included.
        {L"C:\\dir\\n \"q\" \u00E4\u4E2D\u00A0", "C:\\dir\\n \"q\" \xC3\xA4\xE4\xB8\xAD\xC2\xA0"},
    };
    for (const auto& c : cases) {
        LogLines log;
        GetLogging() << "File:" << c.item << "\n";
        EXPECT_EQ(log.Take(), (std::vector<std::string>{"File: " + c.written + " "}));
    }
    LogLines log;
    GetLogging() << "not\nthe end" << "\x1b" << "\xE2\x80\x93" << "\n";
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"not\\nthe end \\x1B \xC3\xA2\xC2\x80\xC2\x93 "}))
        << "narrow items: C0 controls escaped, bytes above 0x7F written one by one as before";
}

}  // namespace
