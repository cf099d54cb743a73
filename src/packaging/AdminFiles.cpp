#include "packaging/AdminFiles.h"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

namespace fs = boost::filesystem;

namespace {

// The installed program's folder below its prefix; the install rules use the same text.
constexpr const char* kProgramSubfolder = HALVEX_PROGRAM_SUBFOLDER;

}  // namespace

std::optional<std::wstring> AdminConfigFolder(const std::wstring& programFolder)
{
    fs::path prefix(programFolder);
    const fs::path subfolder(kProgramSubfolder);
    for (auto part = subfolder.end(); part != subfolder.begin();) {
        --part;
        if (prefix.filename() != *part)
            return std::nullopt;
        prefix = prefix.parent_path();
    }
    if (prefix.empty())
        return std::nullopt;
    const fs::path root = prefix.filename() == "usr" ? prefix.parent_path() : prefix;
    return (root / "etc/halvex").wstring();
}

std::vector<std::wstring> InstallerModulePlaces(const std::wstring& programFolder)
{
    std::vector<std::wstring> places;
    if (const auto config = AdminConfigFolder(programFolder))
        places.push_back(*config + L"/7zSD.sfx");
    places.push_back(programFolder + L"/7za/7zSD.sfx");
    return places;
}

std::vector<std::wstring> ConfigToolPlaces(const std::wstring& programFolder)
{
    std::vector<std::wstring> places;
    if (const auto config = AdminConfigFolder(programFolder))
        places.push_back(*config + L"/ConfigUpdate.exe");
    places.push_back(programFolder + L"/ConfigUpdate.exe");
    return places;
}
