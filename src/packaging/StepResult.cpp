#include "packaging/StepResult.h"

#include <iterator>
#include <vector>

#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/path.hpp>

#include "platform/TextConversion.h"

StepResult StepResult::Logged(const CLogging& log)
{
    const std::vector<std::wstring> lines = log.RecentLines();
    const auto toolLine = [](const std::wstring& line) {
        return line.starts_with(L"Archiver: ") || line.starts_with(L"osslsigncode: ");
    };
    auto first = lines.end();
    while (first != lines.begin() && toolLine(*std::prev(first)))
        --first;
    if (first != lines.begin())
        --first;
    std::wstring reason;
    for (auto line = first; line != lines.end(); ++line) {
        // Each item was written with one space behind it.
        const std::wstring text = line->substr(0, line->find_last_not_of(L' ') + 1);
        reason += (reason.empty() ? L"" : L"\n") + text;
    }
    return StepResult(std::move(reason));
}

const std::wstring& StepResult::Reason() const
{
    static const std::wstring none;
    return reason ? *reason : none;
}

namespace {

StepResult Described(CLogging& log, const boost::filesystem::filesystem_error& error)
{
    return LogFailure(log, "Boost file system error:", Platform::WidenHostText(error.what()));
}

boost::system::error_code SystemError(int error)
{
    return boost::system::error_code(error, boost::system::system_category());
}

}  // namespace

std::wstring FileSystemErrorText(const char* operation, const boost::filesystem::path& path,
                                 const boost::system::error_code& error)
{
    return Platform::WidenHostText(boost::filesystem::filesystem_error(operation, path, error).what());
}

StepResult FileSystemFailure(CLogging& log, const char* operation, const boost::filesystem::path& path,
                             const boost::system::error_code& error)
{
    return Described(log, boost::filesystem::filesystem_error(operation, path, error));
}

StepResult FileSystemFailure(CLogging& log, const char* operation, const boost::filesystem::path& path, int error)
{
    return FileSystemFailure(log, operation, path, SystemError(error));
}

StepResult FileSystemFailure(CLogging& log, const char* operation, const boost::filesystem::path& from,
                             const boost::filesystem::path& to, int error)
{
    return Described(log, boost::filesystem::filesystem_error(operation, from, to, SystemError(error)));
}
