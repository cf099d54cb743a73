// The search itself logs, so it lives apart from the list of places: a program without the
// log (halvex-inspect) links the places alone and never opens, and so never empties, the log.
#include <boost/filesystem/operations.hpp>

#include "core/Logging.h"
#include "packaging/AdminFiles.h"

namespace fs = boost::filesystem;

std::wstring FindAdminFile(const std::vector<std::wstring>& places, const char* what, CLogging& log)
{
    for (std::size_t i = 0; i < places.size(); ++i) {
        boost::system::error_code error;
        if (!fs::is_regular_file(places[i], error))
            continue;
        if (i > 0)
            log << what << "found at:" << places[i] << "\n";
        return places[i];
    }
    for (const auto& place : places)
        log << what << "not found at:" << place << "\n";
    return places.front();
}
