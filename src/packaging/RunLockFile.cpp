#include "packaging/RunLockFile.h"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include "packaging/Sha256.h"
#include "platform/HostFolders.h"
#include "platform/TextConversion.h"

namespace fs = boost::filesystem;

std::wstring RunLockFile(const std::wstring& workFolder)
{
    const std::wstring appData = Platform::CommonAppDataFolder();
    if (appData.empty())
        return {};
    const fs::path base = fs::path(workFolder).parent_path();
    boost::system::error_code error;
    const fs::path real = fs::canonical(base, error);
    Sha256 digest;
    digest.Update(Platform::NarrowHostText((error ? base : real).wstring()));
    // 64 bits of the path's digest tell any two work folders of one user apart.
    const std::string name = "Halvex-" + digest.HexDigest().substr(0, 16) + ".lock";
    return (fs::path(appData) / L"Veskor/Zastrel/Lock" / Platform::WidenHostText(name)).wstring();
}
