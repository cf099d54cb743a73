#pragma once

#include <string>

#include "core/Logging.h"

// Whether every name below the work folder can be held by the Windows client that
// extracts the package: no reserved or control characters, no trailing dot or blank, no
// device name, and no two names in one folder that differ only in letter case. Logs a
// line per offending path (up to a cap, then their count) and a warning per path long
// enough to pass Windows' 260-character limit under a typical temporary folder.
// Returns false when a name cannot be held.
bool CheckClientNames(const std::wstring& workFolder, CLogging& log);
