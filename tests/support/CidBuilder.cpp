#include "support/CidBuilder.h"

#include <utility>

#include "support/Files.h"

namespace TestSupport {

namespace fs = std::filesystem;

const std::vector<std::string> kDefaultComponents = {"lorv", "bexu", "dimbel", "torqel", "ynda", "ynda64"};
const std::vector<std::string> kAllComponents = {"lorv", "bexu",   "dimbel", "torqel", "ynda", "ynda64",
                                                 "gulv", "gulv64", "kett",   "wofa",   "zimr", "zimr64"};

CidBuilder::CidBuilder(fs::path folder) : folder(std::move(folder))
{
    File("cidsync.upd", "sync\n");
}

CidBuilder& CidBuilder::Components(const std::vector<std::string>& names)
{
    for (const auto& name : names)
        File(name + "/payload.txt", name + " payload\n");
    return *this;
}

CidBuilder& CidBuilder::File(const std::string& relative, const std::string& bytes)
{
    WriteBytes(folder / relative, bytes);
    return *this;
}

CidBuilder& CidBuilder::Folder(const std::string& relative)
{
    fs::create_directories(folder / relative);
    return *this;
}

CidBuilder& CidBuilder::KeldwinBeside()
{
    const fs::path keldwin = folder.parent_path() / "KELDWIN";
    for (const char* component : {"pexo", "vanto", "pexo64", "vanto64"})
        WriteBytes(keldwin / component / "ep.txt", std::string(component) + "\n");
    WriteBytes(keldwin / "keldwin.ini", "ep\n");
    return *this;
}

fs::path CidBuilder::Full(const fs::path& parent, const std::string& name)
{
    return CidBuilder(parent / name)
        .Components(kAllComponents)
        .File("torqel/defs/2024/defs.dat", "definitions\n")
        .Folder("torqel/empty")
        .File("kett/mrinit.conf", "server=mgmt.example\n")
        .File("setup.exe", "fixture setup stand-in\n")
        .File("cac.pem", "fixture certificate\n")
        .File("mrinit.conf", "top-level config\n")
        .File("unlisted/ignored.txt", "not a component\n")
        .KeldwinBeside()
        .Path();
}

fs::path MakeProgramFolder(const fs::path& parent, const std::string& archiver)
{
    const fs::path folder = parent / "program";
    fs::create_directories(folder / "7za");
    if (!archiver.empty())
        fs::create_symlink(archiver, folder / "7za/7za");
    WriteBytes(folder / "7za/7zSD.sfx", "TEST STAND-IN FOR THE 7-ZIP INSTALLER MODULE\n");
    WriteBytes(folder / "ConfigUpdate.exe", "TEST STAND-IN FOR ConfigUpdate.exe\n");
    return folder;
}

}  // namespace TestSupport
