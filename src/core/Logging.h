#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

// The one process-wide log. Callers insert narrow literals, wide strings and
// integers, each followed by one space; inserting exactly "\n" writes the line
// with a local time stamp in front. The file is UTF-8 with a byte-order mark and
// CR LF line ends, emptied at every start and flushed after every line. Control
// characters inside an item are written escaped, so one line is always one event.
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

// An item as the log writes it: CR, LF and TAB as \r, \n and \t, every other control
// character (C0, DEL, C1, the Unicode line and paragraph separators) as \xHH or \uHHHH;
// text without them is returned unchanged. A backslash stays as it is.
std::wstring EscapeControlCharacters(std::wstring_view text);
