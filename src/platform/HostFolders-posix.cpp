#include "platform/HostFolders.h"

#include <cstdlib>
#include <optional>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include "platform/TextConversion.h"

namespace Platform {
namespace {

std::optional<std::string> NonEmptyVariable(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return std::string(value);
}

}  // namespace

std::wstring ProgramFolder()
{
    boost::system::error_code error;
    const boost::filesystem::path self = boost::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return WidenHostText(self.parent_path().string());
}

std::wstring CommonAppDataFolder()
{
    if (const auto programData = NonEmptyVariable("ProgramData"))
        return WidenHostText(*programData);
    if (::access("/var/lib", W_OK | X_OK) == 0)
        return L"/var/lib";
    if (const auto stateHome = NonEmptyVariable("XDG_STATE_HOME"))
        return WidenHostText(*stateHome);
    if (const auto home = NonEmptyVariable("HOME"))
        return WidenHostText(*home + "/.local/state");
    return {};
}

std::wstring TempBase()
{
    for (const char* name : {"TEMP", "TMPDIR"}) {
        const auto value = NonEmptyVariable(name);
        if (value && value->front() == '/')
            return WidenHostText(*value);
    }
    return L"/tmp";
}

}  // namespace Platform
