#include "platform/NameLength.h"

#include <cerrno>
#include <climits>

#include <unistd.h>

#include <boost/filesystem/path.hpp>

#include "platform/TextConversion.h"

namespace Platform {

std::size_t LongestName(const std::wstring& folder)
{
    boost::filesystem::path place = boost::filesystem::path(folder);
    if (place.empty())
        place = ".";
    for (; !place.empty(); place = place.parent_path()) {
        errno = 0;
        const long limit = ::pathconf(NarrowHostText(place.wstring()).c_str(), _PC_NAME_MAX);
        if (limit > 0)
            return static_cast<std::size_t>(limit);
        if (errno != ENOENT && errno != ENOTDIR)
            break;
    }
    return NAME_MAX;
}

}  // namespace Platform
