#pragma once

#include <string>

#include "core/Logging.h"
#include "core/IProgress.h"

// Builds the package executable from the filled work folder: the 7-Zip archiver packs
// it into an intermediate archive beside the output, the installer module's
// configuration is written, module + configuration + archive are joined into the
// output, and the intermediate archive is removed. The first failing step clears `ok`
// and every later step does nothing.
class ArchiveBuilder {
public:
    ArchiveBuilder(const std::wstring& archiverPath, IProgress* progress);

    void CreateArchive(const std::wstring& workFolder, const std::wstring& outputFolder);
    void WriteSfxConfig(const std::wstring& workFolder);
    void CreateExecutable(const std::wstring& workFolder, const std::wstring& outputFolder,
                          const std::wstring& fileName, const std::wstring& programFolder);
    void RemoveArchive(const std::wstring& folder, bool mustExist);
    bool Succeeded() const { return ok; }

private:
    void RunArchiver(const std::wstring& commandLine);
    void DiscardInterruptedArchive(const std::wstring& outputFolder);

    std::wstring archiverPath;
    bool ok;
    CLogging& log;
    IProgress* progress;
};
