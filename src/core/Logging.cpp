#include "core/Logging.h"

#include <cstring>
#include <ctime>
#include <iomanip>
#include <locale>

#include <boost/filesystem/detail/utf8_codecvt_facet.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include "platform/HostFolders.h"
#include "platform/PathEncoding.h"
#include "platform/StandardStreams.h"

namespace {

// Constructed during static initialisation, so every run starts a fresh file
// before anything else happens.
CLogging theLog;

}  // namespace

CLogging& GetLogging()
{
    return theLog;
}

CLogging::CLogging()
    : std::basic_ostringstream<wchar_t>(std::ios_base::out)
{
    // The log is the first file the program opens: standard streams come first.
    Platform::PrepareStandardStreams();
    Platform::UseUtf8ForPaths();
    const std::wstring appData = Platform::CommonAppDataFolder();
    const boost::filesystem::path folder = boost::filesystem::path(appData) / L"Veskor/Zastrel/Log";
    logFilePath = (folder / L"log.txt").wstring();
    // No application-data folder at all: no log, rather than one under the current folder.
    if (appData.empty())
        return;
    try {
        boost::filesystem::create_directories(folder);
    } catch (const boost::filesystem::filesystem_error&) {
        // No log folder: the program runs on without a log; message 116 still names the path.
        return;
    }
    logFile.open((folder / L"log.txt").string(), std::ios_base::out | std::ios_base::trunc);
    if (logFile.is_open()) {
        // The facet converts every wide character to UTF-8, the byte-order mark included.
        logFile.imbue(std::locale(logFile.getloc(), new boost::filesystem::detail::utf8_codecvt_facet));
        logFile << L'\xFEFF' << std::flush;
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
    std::wstring widened;
    for (const char* c = text; *c != '\0'; ++c)
        widened.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
    static_cast<std::wostream&>(*this) << widened << L' ';
    return *this;
}

CLogging& CLogging::operator<<(const std::wstring& text)
{
    static_cast<std::wostream&>(*this) << text << L' ';
    return *this;
}

CLogging& CLogging::operator<<(const int& value)
{
    static_cast<std::wostream&>(*this) << value << L' ';
    return *this;
}

void CLogging::WriteLine()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::wostringstream stamp;
    stamp.fill(L'0');
    stamp << local.tm_year + 1900 << L'/' << std::setw(2) << local.tm_mon + 1 << L'/' << std::setw(2)
          << local.tm_mday << L' ' << std::setw(2) << local.tm_hour << L':' << std::setw(2) << local.tm_min
          << L':' << std::setw(2) << local.tm_sec;
    // Text mode on Windows turns the newline into CR LF; here the pair is written as is.
    logFile << stamp.str() << L' ' << str() << L"\r\n" << std::flush;
    str(std::wstring());
}

std::wstring CLogging::GetLogFilePath() const
{
    return logFilePath;
}
