#pragma once

// Shared by the packaging tests: a progress recorder, the log lines a test wrote and text
// split into lines, beside the test support's CID builder, program folder and file helpers.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/IProgress.h"
#include "support/CidBuilder.h"
#include "support/Files.h"
#include "support/LogLines.h"
#include "support/TestFolder.h"

namespace PackagingTest {

namespace fs = std::filesystem;
using namespace TestSupport;

class RecordingProgress : public IProgress {
public:
    void SetStatus(const std::wstring& text) override { statuses.push_back(text); }
    void SetProgress(const int& percent) override { percents.push_back(percent); }
    void Refresh() override { ++refreshes; }

    std::vector<std::wstring> statuses;
    std::vector<int> percents;
    int refreshes = 0;
};

// Everything the log received since construction, however often it is asked.
class LogRecord {
public:
    const std::vector<std::string>& Get()
    {
        const auto more = log.Take();
        lines.insert(lines.end(), more.begin(), more.end());
        return lines;
    }

    std::string Joined()
    {
        std::string text;
        for (const auto& line : Get())
            text += line + "\n";
        return text;
    }

private:
    LogLines log;
    std::vector<std::string> lines;
};

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
        lines.push_back(text.substr(from, end - from));
    if (from < text.size())
        lines.push_back(text.substr(from));
    return lines;
}

}  // namespace PackagingTest
