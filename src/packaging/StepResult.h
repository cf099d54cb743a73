#pragma once

#include <optional>
#include <string>
#include <utility>

#include <boost/system/error_code.hpp>

#include "core/Logging.h"

namespace boost::filesystem {
class path;
}

// What one step of the packaging job came to: success, or why it failed. A step logs its
// failure where it finds it; the reason is what that log line says (the path concerned and
// the system's own text), with the lines of the archiver or the signing tool behind it, so
// a failure notice quotes the log.
class [[nodiscard]] StepResult {
public:
    // Success.
    StepResult() = default;

    // The failure the log's last line describes, together with the tool lines (the
    // archiver's, the signing tool's) that follow the line they belong to.
    static StepResult Logged(const CLogging& log);

    // Keeps the first failure: `next` counts only while this is still a success.
    void Add(StepResult next)
    {
        if (Succeeded())
            *this = std::move(next);
    }

    bool Succeeded() const { return !reason; }
    explicit operator bool() const { return Succeeded(); }
    // Empty on success.
    const std::wstring& Reason() const;

private:
    explicit StepResult(std::wstring reason) : reason(std::move(reason)) {}

    std::optional<std::wstring> reason;
};

// Logs one line of `items` and answers the failure it describes.
template <typename... Items>
StepResult LogFailure(CLogging& log, const Items&... items)
{
    (log << ... << items) << "\n";
    return StepResult::Logged(log);
}

// A failed file-system call as Boost describes it: the call, the path and the system's text.
std::wstring FileSystemErrorText(const char* operation, const boost::filesystem::path& path,
                                 const boost::system::error_code& error);

// Logs a failed file-system call as Boost describes it (the call, the path and the
// system's text) and answers the failure.
StepResult FileSystemFailure(CLogging& log, const char* operation, const boost::filesystem::path& path,
                             const boost::system::error_code& error);
StepResult FileSystemFailure(CLogging& log, const char* operation, const boost::filesystem::path& path, int error);
StepResult FileSystemFailure(CLogging& log, const char* operation, const boost::filesystem::path& from,
                             const boost::filesystem::path& to, int error);
