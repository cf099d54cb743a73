#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Reads what the process's log received after a given point, line by line: each line's
// time stamp and CR LF are checked and cut off, the text is returned as UTF-8 bytes.
class LogLines {
public:
    LogLines() : start(Contents().size()) {}

    // The lines written since construction or the previous call.
    std::vector<std::string> Take()
    {
        const std::string bytes = Contents();
        std::vector<std::string> lines;
        static const std::regex stamp(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d )");
        std::size_t position = start;
        for (std::size_t end; (end = bytes.find("\r\n", position)) != std::string::npos; position = end + 2) {
            const std::string line = bytes.substr(position, end - position);
            EXPECT_TRUE(std::regex_search(line, stamp, std::regex_constants::match_continuous)) << line;
            lines.push_back(line.size() >= 20 ? line.substr(20) : line);
        }
        EXPECT_EQ(position, bytes.size()) << "the log ends with a whole line";
        start = position;
        return lines;
    }

    static std::string Path()
    {
        return std::string(std::getenv("ProgramData")) + "/Veskor/Zastrel/Log/log.txt";
    }

private:
    static std::string Contents()
    {
        std::ifstream in(Path(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::size_t start;
};
