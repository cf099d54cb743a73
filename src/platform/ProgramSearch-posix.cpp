#include "platform/ProgramSearch.h"

#include <cstdlib>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/TextConversion.h"

namespace Platform {

std::optional<std::wstring> FindProgramOnPath(const std::wstring& name)
{
    const char* path = std::getenv("PATH");
    std::string_view folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    const std::string file = NarrowHostText(name);
    while (true) {
        const auto colon = folders.find(':');
        // An empty entry means the current folder, which is never searched here.
        if (const std::string_view folder = folders.substr(0, colon); !folder.empty()) {
            const std::string candidate = std::string(folder) + "/" + file;
            struct stat status{};
            if (::stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
                ::access(candidate.c_str(), X_OK) == 0)
                return WidenHostText(candidate);
        }
        if (colon == std::string_view::npos)
            return std::nullopt;
        folders.remove_prefix(colon + 1);
    }
}

}  // namespace Platform
