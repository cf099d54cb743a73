// The search itself logs, so it lives apart from the list of places: a program without the
// log (halvex-inspect) links the places alone and never opens, and so never empties, the log.
#include <boost/filesystem/operations.hpp>

#include "core/Logging.h"
#include "packaging/AdminFiles.h"

namespace fs = boost::filesystem;

std::wstring FindAdminFile(const std::vector<std::wstring>& places, const char* what, CLogging& log)
{
    for (const auto& place : places) {
        boost::system::error_code error;
        if (!fs::is_regular_file(place, error))
            continue;
        log << what << "found at:" << place << "\n";
        return place;
    }
    for (const auto& place : places)
        log << what << "not found at:" << place << "\n";
    return places.back();
}
