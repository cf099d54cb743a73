#include "core/Logging.h"

#include <cstring>
#include <ctime>
#include <cwchar>
#include <iomanip>
#include <locale>

#include <boost/filesystem/detail/utf8_codecvt_facet.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include "platform/HostFolders.h"
#include "platform/PathEncoding.h"
#include "platform/StandardStreams.h"
#include "platform/WorkFolder.h"

namespace {

// Constructed during static initialisation, so every run starts a fresh file
// before anything else happens.
CLogging theLog;

bool IsControl(wchar_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// log.txt, then log-2.txt, log-3.txt, ...: one for each run going on at once.
constexpr int kLogFileCount = 64;

std::wstring LogFileName(int number)
{
    return number == 1 ? std::wstring(kLogFileName) : L"log-" + std::to_wstring(number) + L".txt";
}

std::wstring HexEscape(const wchar_t* prefix, unsigned value, int digits)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"%ls%0*X", prefix, digits, value);
    return text;
}

}  // namespace

std::wstring EscapeControlCharacters(std::wstring_view text)
{
    std::wstring escaped;
    escaped.reserve(text.size());
    for (const wchar_t c : text) {
        if (!IsControl(c))
            escaped.push_back(c);
        else if (c == L'\r')
            escaped.append(L"\\r");
        else if (c == L'\n')
            escaped.append(L"\\n");
        else if (c == L'\t')
            escaped.append(L"\\t");
        else if (c <= 0xFF)
            escaped.append(HexEscape(L"\\x", static_cast<unsigned>(c), 2));
        else
            escaped.append(HexEscape(L"\\u", static_cast<unsigned>(c), 4));
    }
    return escaped;
}

CLogging& GetLogging()
{
    return theLog;
}

CLogging::CLogging() : std::basic_ostringstream<wchar_t>(std::ios_base::out)
{
    // The log is the first file the program opens: standard streams come first.
    Platform::PrepareStandardStreams();
    Platform::UseUtf8ForPaths();
    const std::wstring appData = Platform::CommonAppDataFolder();
    const boost::filesystem::path folder = boost::filesystem::path(appData) / L"Veskor/Zastrel/Log";
    logFilePath = (folder / LogFileName(1)).wstring();
    // No application-data folder at all: no log, rather than one under the current folder.
    if (appData.empty())
        return;
    try {
        boost::filesystem::create_directories(folder);
    } catch (const boost::filesystem::filesystem_error&) {
        // No log folder: the program runs on without a log; message 116 still names the path.
        return;
    }
    // The file is emptied only once this run holds it: a run still writing it keeps it whole.
    for (int number = 1; number <= kLogFileCount; ++number) {
        const boost::filesystem::path file = folder / LogFileName(number);
        fileLock = std::make_unique<Platform::RunLock>(file.wstring(), 0666);
        if (fileLock->GetState() != Platform::RunLock::State::Held)
            continue;
        logFilePath = file.wstring();
        logFile.open(file.string(), std::ios_base::out | std::ios_base::trunc);
        break;
    }
    if (logFile.is_open()) {
        // The facet converts every wide character to UTF-8, the byte-order mark included.
        logFile.imbue(std::locale(logFile.getloc(), new boost::filesystem::detail::utf8_codecvt_facet));
        logFile << L'\xFEFF' << std::flush;
    } else {
        fileLock.reset();
    }
}

CLogging::~CLogging()
{
    logFile.close();
}

CLogging& CLogging::operator<<(const char* text)
{
    if (std::strcmp(text, "\n") == 0) {
        WriteLine();
        return *this;
    }
    // Narrow items are written byte for byte; only their C0 controls and DEL are escaped,
    // since their bytes above 0x7F belong to multi-byte characters.
    std::wstring widened;
    for (const char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7F)
            widened.append(EscapeControlCharacters(std::wstring(1, static_cast<wchar_t>(byte))));
        else
            widened.push_back(static_cast<wchar_t>(byte));
    }
    static_cast<std::wostream&>(*this) << widened << L' ';
    return *this;
}

CLogging& CLogging::operator<<(const std::wstring& text)
{
    static_cast<std::wostream&>(*this) << EscapeControlCharacters(text) << L' ';
    return *this;
}

CLogging& CLogging::operator<<(const int& value)
{
    static_cast<std::wostream&>(*this) << value << L' ';
    return *this;
}

void CLogging::WriteLine()
{
    WriteStamped(str(), false);
    str(std::wstring());
}

void CLogging::WriteLastLine(const std::wstring& text)
{
    WriteStamped(EscapeControlCharacters(text) + L' ', true);
}

void CLogging::WriteStamped(const std::wstring& text, bool last)
{
    const std::lock_guard hold(fileMutex);
    if (closed)
        return;
    // Lines come many a second: the stamp is made once a second.
    const std::time_t time = std::time(nullptr);
    if (time != stampTime) {
        std::tm local{};
        localtime_r(&time, &local);
        std::wostringstream made;
        made.fill(L'0');
        made << local.tm_year + 1900 << L'/' << std::setw(2) << local.tm_mon + 1 << L'/' << std::setw(2)
             << local.tm_mday << L' ' << std::setw(2) << local.tm_hour << L':' << std::setw(2) << local.tm_min << L':'
             << std::setw(2) << local.tm_sec;
        stamp = made.str();
        stampTime = time;
    }
    // Text mode on Windows turns the newline into CR LF; here the pair is written as is.
    logFile << stamp << L' ' << text << L"\r\n";
    closed = last;
    // Only the program's thread batches: the last line, from another, is flushed without asking.
    if (last || batches == 0 || std::chrono::steady_clock::now() - lastFlush >= kBatchTime)
        FlushHeld();
    recentLines.push_back(text);
    if (recentLines.size() > kRecentLines)
        recentLines.pop_front();
}

void CLogging::Flush()
{
    const std::lock_guard hold(fileMutex);
    FlushHeld();
}

void CLogging::FlushHeld()
{
    logFile.flush();
    lastFlush = std::chrono::steady_clock::now();
}

std::wstring CLogging::GetLogFilePath() const
{
    return logFilePath;
}

std::vector<std::wstring> CLogging::RecentLines() const
{
    const std::lock_guard hold(fileMutex);
    return {recentLines.begin(), recentLines.end()};
}
