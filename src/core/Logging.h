#pragma once

#include <chrono>
#include <ctime>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {
class RunLock;
}

// The one process-wide log. Callers insert narrow literals, wide strings and
// integers, each followed by one space; inserting exactly "\n" writes the line
// with a local time stamp in front. The file is UTF-8 with a byte-order mark and
// CR LF line ends, emptied at every start and flushed after every line, except while a
// Batch is held (a line per file of a large copy): then at least every kBatchTime and
// when the last Batch ends, however it ends, so the file is whole whenever the program
// stops without crashing. Control
// characters inside an item are written escaped, so one line is always one event.
//
// A run holds a lock on its log file for its whole life, so a run started while another
// is still writing log.txt neither empties nor writes into it: it takes the first of
// log-2.txt, log-3.txt, ... that no running program holds. GetLogFilePath names the file
// this run writes.
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

    // Lets the lines written while it lives reach the file in batches.
    class Batch {
    public:
        explicit Batch(CLogging& log) : log(log) { ++log.batches; }
        ~Batch()
        {
            if (--log.batches == 0)
                log.Flush();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        CLogging& log;
    };
    static constexpr std::chrono::milliseconds kBatchTime{100};

    // Writes `text` at once as the log's last line, as if inserted alone before "\n", flushed
    // with every line batched before it; every line after it is dropped. Safe against the
    // program's thread logging meanwhile: for the console control handler, which runs on a
    // thread of its own, just before it ends the process.
    void WriteLastLine(const std::wstring& text);

    std::wstring GetLogFilePath() const;
    // The texts of the last lines written (at most kRecentLines), oldest first, as the
    // file holds them without their time stamps: what a failure notice can quote.
    std::vector<std::wstring> RecentLines() const;

    static constexpr std::size_t kRecentLines = 8;

private:
    std::wstring logFilePath;
    std::basic_ofstream<wchar_t> logFile;
    std::unique_ptr<Platform::RunLock> fileLock;
    std::deque<std::wstring> recentLines;
    std::time_t stampTime = -1;
    std::wstring stamp;
    int batches = 0;
    std::chrono::steady_clock::time_point lastFlush;
    // Held while a line goes to the file and the recent lines, and while the file is flushed.
    mutable std::mutex fileMutex;
    // Set by WriteLastLine.
    bool closed = false;

    // The time stamp, `text` and the line end; flushed as batching says, or at once when
    // it is the `last` line.
    void WriteStamped(const std::wstring& text, bool last);
    void Flush();
    void FlushHeld();
};

CLogging& GetLogging();

// The designed name of the log file, which a run uses unless another run holds it.
inline constexpr std::wstring_view kLogFileName = L"log.txt";

// An item as the log writes it: CR, LF and TAB as \r, \n and \t, every other control
// character (C0, DEL, C1, the Unicode line and paragraph separators) as \xHH or \uHHHH;
// text without them is returned unchanged. A backslash stays as it is.
std::wstring EscapeControlCharacters(std::wstring_view text);
