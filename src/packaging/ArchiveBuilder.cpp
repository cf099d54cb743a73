#include "packaging/ArchiveBuilder.h"

#include <chrono>
#include <exception>
#include <fstream>
#include <sstream>
#include <thread>

#include <boost/filesystem/operations.hpp>

#include "platform/ChildProcess.h"
#include "platform/FileJoin.h"
#include "platform/Interrupt.h"
#include "platform/TextConversion.h"
#include "platform/WorkFolder.h"

namespace fs = boost::filesystem;

namespace {

constexpr const wchar_t* kArchiveName = L"/halvex_archive.7z";
constexpr const wchar_t* kSfxConfigName = L"/halvex_setup.txt";
constexpr const wchar_t* kModuleName = L"/7za/7zSD.sfx";
constexpr const wchar_t* kDefaultFileName = L"/VeskorEndpoint.exe";

// Paths are put between quotes with nothing escaped, as the command lines have always
// carried them.
std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

const char* ArchiverFailureText(int code)
{
    switch (code) {
    case 1:
        return "Failed to invoke archiver tool: One or more files were locked and could not be compressed. Return code:";
    case 2:
        return "Failed to invoke archiver tool: A fatal error occurred in the archiver tool. Return code:";
    case 7:
        return "Failed to invoke archiver tool: Command-line error. Return code:";
    case 8:
        return "Failed to invoke archiver tool: Insufficient memory for archiving operation. Return code:";
    case 255:
        return "Failed to invoke archiver tool: User cancelled archiving operation. Return code:";
    default:
        return "Failed to invoke archiver tool: Return code:";
    }
}

}  // namespace

ArchiveBuilder::ArchiveBuilder(const std::wstring& archiverPath, IProgress* progress)
    : archiverPath(archiverPath), ok(true), log(GetLogging()), progress(progress)
{
}

void ArchiveBuilder::CreateArchive(const std::wstring& workFolder, const std::wstring& outputFolder)
{
    if (!ok)
        return;
    log << "About to run self-extracting archive tool..." << "\n";
    RemoveArchive(outputFolder, false);

    log << "Calling" << archiverPath << "with source:" << workFolder << "and destination:" << outputFolder << "\n";
    const std::wstring commandLine = Quoted(archiverPath) + L" a " + Quoted(outputFolder + kArchiveName) + L" " +
                                     Quoted(workFolder + L"/*") + L" -r -mx5 -mmt -ms=e256m";
    RunArchiver(commandLine);
    if (Platform::InterruptRequested())
        DiscardInterruptedArchive(outputFolder);
}

void ArchiveBuilder::RunArchiver(const std::wstring& commandLine)
{
    Platform::CChildProcess archiver(commandLine);
    int code = archiver.StartError();
    if (code == 0) {
        // One Refresh per poll, the last one included, so the interface is kept alive
        // however short the run.
        while (true) {
            const auto exitCode = archiver.Poll();
            progress->Refresh();
            if (exitCode) {
                code = *exitCode;
                break;
            }
            if (Platform::InterruptRequested()) {
                archiver.Terminate();
                code = archiver.Poll().value_or(-1);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    ok = false;
    if (code == 0) {
        log << "Successfully invoked archiver tool" << "\n";
        ok = true;
        return;
    }
    log << ArchiverFailureText(code) << code << "\n";
    // What the archiver said about its failure, line by line, after the line for its code.
    std::istringstream said(archiver.ErrorOutput());
    for (std::string line; std::getline(said, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            log << "Archiver:" << Platform::WidenHostText(line) << "\n";
    }
}

void ArchiveBuilder::DiscardInterruptedArchive(const std::wstring& outputFolder)
{
    ok = false;
    log << "Archiving interrupted: the run was asked to stop" << "\n";
    boost::system::error_code ignored;
    fs::remove(outputFolder + kArchiveName, ignored);
}

void ArchiveBuilder::WriteSfxConfig(const std::wstring& workFolder)
{
    if (!ok)
        return;
    log << "About to create 7Zip configuration file..." << "\n";
    const std::wstring text =
        L";!@Install@!UTF-8!\r\n"
        L"InstallPath=\"%temp%\\halvex_temp\"\r\n"
        L"ExecuteFile=\"setup.vbs\"\r\n"
        L"Progress=\"No\"\r\n"
        L";!@InstallEnd@!";
    const std::wstring path = workFolder + kSfxConfigName;
    try {
        std::ofstream file(Platform::NarrowHostText(path), std::ios::binary | std::ios::trunc);
        if (!file.is_open()) {
            log << "Failed to open file " << path << " for writing" << "\n";
            ok = false;
            return;
        }
        // A write that fails must not be reported as a written file.
        file.exceptions(std::ios::badbit | std::ios::failbit);
        file << Platform::NarrowHostText(text);
        file.close();
        log << "Successfully created 7Zip configuration" << "\n";
    } catch (const std::exception& error) {
        log << "Failed to open file " << path << " for writing with error" << Platform::WidenHostText(error.what())
            << "\n";
        ok = false;
    }
}

void ArchiveBuilder::CreateExecutable(const std::wstring& workFolder, const std::wstring& outputFolder,
                                      const std::wstring& fileName, const std::wstring& programFolder)
{
    if (!ok)
        return;
    log << "About to create final self-extracting archive..." << "\n";
    const std::wstring module = programFolder + kModuleName;
    const std::wstring config = workFolder + kSfxConfigName;
    const std::wstring archive = outputFolder + kArchiveName;
    const std::wstring target = fileName.empty() ? outputFolder + kDefaultFileName : outputFolder + L"/" + fileName;
    const std::wstring command = L"copy /b " + Quoted(module) + L" + " + Quoted(config) + L" + " + Quoted(archive) +
                                 L" " + Quoted(target);
    log << "Command line: " << command << "\n";

    const int result = Platform::JoinFiles({module, config, archive}, target);
    if (result != 0) {
        log << "Failed to create final self-extracting archive with return code: " << result << "\n";
        log << "Reason:" << Platform::WidenHostText(Platform::SystemErrorText(result)) << "\n";
        ok = false;
        if (Platform::InterruptRequested())
            DiscardInterruptedArchive(outputFolder);
        return;
    }
    log << "Successfully created final self-extracting archive" << "\n";
}

void ArchiveBuilder::RemoveArchive(const std::wstring& folder, bool mustExist)
{
    if (!ok)
        return;
    log << "About to remove halvex_archive.7z file..." << "\n";
    const std::wstring path = folder + kArchiveName;
    if (fs::exists(path)) {
        try {
            fs::remove(path);
        } catch (const fs::filesystem_error& error) {
            log << "Failed to remove file with error: " << Platform::WidenHostText(error.what()) << "\n";
            ok = false;
        }
    } else {
        log << "File: " << path << " does not exist" << "\n";
        if (mustExist)
            ok = false;
    }
    if (ok && mustExist)
        log << "Successfully removed halvex_archive.7z" << "\n";
}
