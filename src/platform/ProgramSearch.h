#pragma once

#include <optional>
#include <string>

namespace Platform {

// The first executable file of this name in the folders of PATH, as the shell would
// find it; nothing when there is none.
std::optional<std::wstring> FindProgramOnPath(const std::wstring& name);

}  // namespace Platform
