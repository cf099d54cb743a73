#pragma once

#include <string>
#include <vector>

#include "core/Logging.h"
#include "packaging/StepResult.h"

// Whether every name a package holds can be held by the Windows client that extracts it:
// no reserved or control characters, no trailing dot or blank, no device name, and no two
// names in one folder that differ only in letter case. The names are given folder by
// folder as the copy lists them, and judged at once; only what offends is kept.
class ClientNames {
public:
    // The names in one folder of the package, `folder` relative to its top with '/' between
    // the parts (empty for the top). Every folder but the top comes in one call; the top's
    // names may come in several, and are judged by `Check`.
    void AddFolder(const std::wstring& folder, const std::vector<std::wstring>& names);

    // Logs a line per offending path (up to a cap, then their count) and a warning per path
    // long enough to pass Windows' 260-character limit under a typical temporary folder,
    // all in the order of a sorted walk of the package. A failure when a name cannot be held.
    StepResult Check(CLogging& log);

private:
    struct Finding {
        std::vector<std::wstring> parts;  // the path, part by part, to sort by
        bool offence = false;
        std::wstring problem;
    };

    void Judge(const std::wstring& folder, const std::vector<std::wstring>& names);

    std::vector<std::wstring> topNames;
    std::vector<Finding> findings;
};
