#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Platform {

// The time the files a run writes itself carry, in seconds since 1970: the value of
// SOURCE_DATE_EPOCH when it is set (the reproducible-builds convention), else the time
// of the first call, the same for the whole run. Two runs with one SOURCE_DATE_EPOCH
// thus write the same times.
std::int64_t BuildTime();

// SOURCE_DATE_EPOCH's text when it is set but is not a number of seconds: it is then
// ignored, and a caller can say so.
std::optional<std::string> MalformedSourceDateEpoch();

// Gives the file or folder at `path` (a link itself, never what it points to) the build
// time as its modification and access time. 0, or the system error code.
int StampWithBuildTime(const std::wstring& path);

}  // namespace Platform
