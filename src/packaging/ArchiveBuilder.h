#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/Logging.h"
#include "core/IProgress.h"
#include "core/PackageOptions.h"

// Builds the package executable from the filled work folder: the 7-Zip archiver packs
// it into an intermediate archive beside the output, the installer module's
// configuration is written, module + configuration + archive are joined into the
// output, and the intermediate archive is removed. The joined package is listed by the
// archiver and must hold exactly what the work folder held before it takes the output
// name; its SHA-256, computed while joining, goes beside it as "<output>.sha256". The
// first failing step clears `ok` and every later step does nothing.
class ArchiveBuilder {
public:
    ArchiveBuilder(const std::wstring& archiverPath, IProgress* progress);

    void CreateArchive(const std::wstring& workFolder, const std::wstring& outputFolder);
    void WriteSfxConfig(const std::wstring& workFolder);
    void CreateExecutable(const std::wstring& workFolder, const std::wstring& outputFolder,
                          const std::wstring& fileName, const std::wstring& programFolder);
    void RemoveArchive(const std::wstring& folder, bool mustExist);
    bool Succeeded() const { return ok; }
    // Signs the joined package with the key these options name before it is checked;
    // the options must outlive the builder.
    void SignWith(const PackageOptions& options) { signing = &options; }
    // After a failure: removes the intermediate archive, whatever `ok` says.
    void DiscardArchive(const std::wstring& folder);

private:
    using EntrySet = std::set<std::wstring>;

    // Runs the archiver to its end; its exit code, logged unless it is 0. With `percentDone`,
    // the percentages the archiver prints are passed on while it runs.
    int RunArchiver(const std::vector<std::wstring>& arguments, const std::wstring& folder, std::string* output,
                    const std::function<void(int)>& percentDone = {});
    void DiscardInterruptedArchive(const std::wstring& outputFolder);
    void ShrinkArchive(const std::wstring& path);
    bool VerifyPackage(const std::wstring& joined);
    bool WriteChecksum(const std::wstring& target, const std::string& digest);

    std::wstring archiverPath;
    bool ok;
    // What the work folder held when the archiver packed it, relative, in its form.
    EntrySet packedEntries;
    CLogging& log;
    IProgress* progress;
    const PackageOptions* signing = nullptr;
};
