#pragma once

#include <cstddef>
#include <string>

namespace Platform {

// The longest name, in bytes, that the file system holding `folder` takes for a file in
// it; for a folder not made yet, that of the nearest folder above it that exists. 255 (the
// common limit) when the system does not say.
std::size_t LongestName(const std::wstring& folder);

}  // namespace Platform
