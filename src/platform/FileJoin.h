#pragma once

#include <string>
#include <vector>

namespace Platform {

// Joins the sources byte for byte into target, as `copy /b a + b + c target` does,
// without a shell. The result is written under a temporary name in the target's folder
// and renamed over the target only when complete, so the target name never holds a
// partial file. Stops early when an interrupt is requested. Returns 0 on success, else
// the system error code (ECANCELED when interrupted); on failure nothing is left behind.
int JoinFiles(const std::vector<std::wstring>& sources, const std::wstring& target);

}  // namespace Platform
