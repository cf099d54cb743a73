#pragma once

#include <fstream>
#include <sstream>
#include <string>

// The one process-wide log. Callers insert narrow literals, wide strings and
// integers, each followed by one space; inserting exactly "\n" writes the line
// with a local time stamp in front. The file is UTF-8 with a byte-order mark and
// CR LF line ends, emptied at every start and flushed after every line.
class CLogging : public std::basic_ostringstream<wchar_t> {
public:
    CLogging();
    ~CLogging() override;

    CLogging(const CLogging&) = delete;
    CLogging& operator=(const CLogging&) = delete;

    CLogging& operator<<(const char* text);
    CLogging& operator<<(const std::wstring& text);
    CLogging& operator<<(const int& value);

    void WriteLine();
    std::wstring GetLogFilePath() const;

private:
    std::wstring logFilePath;
    std::basic_ofstream<wchar_t> logFile;
};

CLogging& GetLogging();
