#pragma once

// Shared by the packaging tests: a progress recorder, the log lines a test wrote, a
// small CID on disk, a program folder with the real archiver, and tree listings.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/IProgress.h"
#include "support/LogLines.h"

namespace PackagingTest {

namespace fs = std::filesystem;

inline fs::path ScratchFolder()
{
    return fs::path(std::getenv("HALVEX_TEST_TMP"));
}

inline std::string ReadBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

class RecordingProgress : public IProgress {
public:
    void SetStatus(const std::wstring& text) override { statuses.push_back(text); }
    void SetProgress(const int& percent) override { percents.push_back(percent); }
    void Refresh() override { ++refreshes; }

    std::vector<std::wstring> statuses;
    std::vector<int> percents;
    int refreshes = 0;
};

// Everything the log received since construction, however often it is asked.
class LogRecord {
public:
    const std::vector<std::string>& Get()
    {
        const auto more = log.Take();
        lines.insert(lines.end(), more.begin(), more.end());
        return lines;
    }

    std::string Joined()
    {
        std::string text;
        for (const auto& line : Get())
            text += line + "\n";
        return text;
    }

private:
    LogLines log;
    std::vector<std::string> lines;
};

// Every file and folder below `root`, relative, folders ending in "/".
inline std::set<std::string> Tree(const fs::path& root)
{
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        entries.insert(entry.is_directory() ? relative + "/" : relative);
    }
    return entries;
}

// A small CID named NORDAVIN with every component folder, a nested and an empty folder
// in "torqel", top-level files including cac.pem and mrinit.conf, kett/mrinit.conf, and
// KELDWIN beside it.
inline fs::path MakeCid(const fs::path& parent, const std::string& name = "NORDAVIN")
{
    const fs::path cid = parent / name;
    for (const char* folder : {"lorv", "bexu", "dimbel", "torqel", "ynda", "ynda64", "gulv", "gulv64", "kett", "wofa",
                               "zimr", "zimr64"})
        WriteBytes(cid / folder / "payload.txt", std::string(folder) + " payload\n");
    WriteBytes(cid / "torqel/defs/2024/defs.dat", "definitions\n");
    fs::create_directories(cid / "torqel/empty");
    WriteBytes(cid / "kett/mrinit.conf", "server=mgmt.example\n");
    WriteBytes(cid / "cidsync.upd", "sync\n");
    WriteBytes(cid / "setup.exe", "fixture setup stand-in\n");
    WriteBytes(cid / "cac.pem", "fixture certificate\n");
    WriteBytes(cid / "mrinit.conf", "top-level config\n");
    fs::create_directories(cid / "unlisted");
    WriteBytes(cid / "unlisted/ignored.txt", "not a component\n");
    const fs::path keldwin = parent / "KELDWIN";
    for (const char* folder : {"pexo", "vanto", "pexo64", "vanto64"})
        WriteBytes(keldwin / folder / "ep.txt", std::string(folder) + "\n");
    WriteBytes(keldwin / "keldwin.ini", "ep\n");
    return cid;
}

// A program folder as an installation has it: the real archiver linked into 7za/,
// and clearly labelled stand-ins for the administrator's installer module and tool.
inline fs::path MakeProgramFolder(const fs::path& parent, const std::string& archiver = "/usr/bin/7za")
{
    const fs::path folder = parent / "program";
    fs::create_directories(folder / "7za");
    if (!archiver.empty())
        fs::create_symlink(archiver, folder / "7za/7za");
    WriteBytes(folder / "7za/7zSD.sfx", "TEST STAND-IN FOR THE 7-ZIP INSTALLER MODULE\n");
    WriteBytes(folder / "ConfigUpdate.exe", "TEST STAND-IN FOR ConfigUpdate.exe\n");
    return folder;
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
        lines.push_back(text.substr(from, end - from));
    if (from < text.size())
        lines.push_back(text.substr(from));
    return lines;
}

}  // namespace PackagingTest
