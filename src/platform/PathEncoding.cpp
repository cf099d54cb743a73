#include "platform/PathEncoding.h"

#include <locale>

#include <boost/filesystem/detail/utf8_codecvt_facet.hpp>
#include <boost/filesystem/path.hpp>

namespace Platform {

void UseUtf8ForPaths()
{
    static const bool done = [] {
        boost::filesystem::path::imbue(
            std::locale(std::locale::classic(), new boost::filesystem::detail::utf8_codecvt_facet));
        return true;
    }();
    static_cast<void>(done);
}

}  // namespace Platform
