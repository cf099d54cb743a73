#include "platform/BuildTime.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/TextConversion.h"

namespace Platform {
namespace {

std::optional<std::int64_t> SourceDateEpoch()
{
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (text == nullptr || *text == '\0')
        return std::nullopt;
    std::int64_t seconds = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, seconds);
    if (error != std::errc() || stop != end || seconds < 0)
        return std::nullopt;
    return seconds;
}

}  // namespace

std::int64_t BuildTime()
{
    static const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    return SourceDateEpoch().value_or(now);
}

std::optional<std::string> MalformedSourceDateEpoch()
{
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (text == nullptr || *text == '\0' || SourceDateEpoch())
        return std::nullopt;
    return std::string(text);
}

int StampWithBuildTime(const std::wstring& path)
{
    struct timespec times[2] = {};
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(BuildTime());
    if (::utimensat(AT_FDCWD, NarrowHostText(path).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    return 0;
}

}  // namespace Platform
