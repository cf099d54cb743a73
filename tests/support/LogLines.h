#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Reads a log file line by line: each line's time stamp and CR LF are checked and cut off,
// the text is returned as UTF-8 bytes.
class LogLines {
public:
    // Follows this process's own log from its present end.
    LogLines() : start(Contents(Path()).size()) {}

    // The lines this process logged since construction or the previous call.
    std::vector<std::string> Take() { return Parse(Contents(Path()), start); }

    // Every line of a log file, which must begin with the UTF-8 byte-order mark.
    static std::vector<std::string> All(const std::string& file)
    {
        const std::string bytes = Contents(file);
        EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF") << file;
        std::size_t position = 3;
        return Parse(bytes, position);
    }

    static std::string Path() { return std::string(std::getenv("ProgramData")) + "/Veskor/Zastrel/Log/log.txt"; }

private:
    static std::string Contents(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // "yyyy/mm/dd hh:mm:ss " at the start of the line.
    static bool HasStamp(const std::string& line)
    {
        static const std::string shape = "dddd/dd/dd dd:dd:dd ";
        if (line.size() < shape.size())
            return false;
        for (std::size_t i = 0; i < shape.size(); ++i) {
            const bool digit = line[i] >= '0' && line[i] <= '9';
            if (shape[i] == 'd' ? !digit : line[i] != shape[i])
                return false;
        }
        return true;
    }

    static std::vector<std::string> Parse(const std::string& bytes, std::size_t& position)
    {
        std::vector<std::string> lines;
        for (std::size_t end; (end = bytes.find("\r\n", position)) != std::string::npos; position = end + 2) {
            const std::string line = bytes.substr(position, end - position);
            EXPECT_TRUE(HasStamp(line)) << line;
            lines.push_back(line.size() >= 20 ? line.substr(20) : line);
        }
        EXPECT_EQ(position, bytes.size()) << "the log ends with a whole line";
        return lines;
    }

    std::size_t start;
};
