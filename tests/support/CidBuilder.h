#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace TestSupport {

// The component folders a package with the default options takes from a CID.
extern const std::vector<std::string> kDefaultComponents;
// Every component folder a package can take from a CID.
extern const std::vector<std::string> kAllComponents;

// Builds a CID on disk, from a bare folder holding the marker up to the full one below:
//     const auto cid = CidBuilder(root / "cid").Components(kDefaultComponents).Path();
class CidBuilder {
public:
    // Makes `folder` and the package marker, cidsync.upd, in it.
    explicit CidBuilder(std::filesystem::path folder);

    // Each component folder with one file, payload.txt, in it.
    CidBuilder& Components(const std::vector<std::string>& names);
    // A file `relative` to the CID, its folders made as needed.
    CidBuilder& File(const std::string& relative, const std::string& bytes);
    // An empty folder `relative` to the CID.
    CidBuilder& Folder(const std::string& relative);
    // The exploit-prevention folder KELDWIN beside the CID, with its four component folders.
    CidBuilder& KeldwinBeside();

    const std::filesystem::path& Path() const { return folder; }

    // The CID the packaging tests build from, named `name` in `parent`: every component
    // folder, a nested and an empty folder in "torqel", the top-level files setup.exe,
    // cac.pem and mrinit.conf, kett/mrinit.conf, a folder no component names, and KELDWIN
    // beside it.
    static std::filesystem::path Full(const std::filesystem::path& parent, const std::string& name = "NORDAVIN");

private:
    std::filesystem::path folder;
};

// A program folder `parent`/program as an installation has it: `archiver` (none when
// empty) linked as 7za/7za, and clearly labelled stand-ins for the two files an
// administrator supplies, the installer module 7za/7zSD.sfx and ConfigUpdate.exe.
std::filesystem::path MakeProgramFolder(const std::filesystem::path& parent,
                                        const std::string& archiver = "/usr/bin/7za");

}  // namespace TestSupport
