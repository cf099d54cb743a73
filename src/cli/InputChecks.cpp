#include "cli/InputChecks.h"

#include <optional>
#include <utility>
#include <vector>

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include "cli/UrlCracking.h"
#include "core/Logging.h"
#include "core/PackageNames.h"
#include "core/PackageOptions.h"
#include "core/PathWithin.h"
#include "core/TrailingSeparators.h"
#include "platform/HostFolders.h"
#include "platform/NameLength.h"
#include "platform/StringTable.h"
#include "platform/TextConversion.h"

namespace fs = boost::filesystem;

namespace {

// File-system errors the checks catch are reported in the log: in command-line mode
// standard output carries status lines only.
void LogError(CLogging& log, const char* label, const fs::filesystem_error& error)
{
    log << label << Platform::WidenHostText(error.what()) << "\n";
}

bool Exists(const fs::path& path, CLogging& log)
{
    try {
        return fs::exists(path);
    } catch (const fs::filesystem_error& error) {
        LogError(log, "Error:", error);
        return false;
    }
}

// Host text there and back, as the URL checks read their input.
std::optional<UrlParts> CrackHostText(const std::wstring& text, CLogging& log)
{
    auto parts = CrackUrl(Platform::WidenHostText(Platform::NarrowHostText(text)));
    if (!parts)
        log << "URL failed on crack URL test" << "\n";
    return parts;
}

bool HostWithoutCredentialsOrExtra(const UrlParts& parts)
{
    return !parts.hostName.empty() && parts.userName.empty() && parts.password.empty() && parts.extraInfo.empty();
}

// A path with every link and "." or ".." resolved as far as it exists, so two names of one
// place compare equal.
fs::path WeaklyCanonical(const fs::path& path)
{
    boost::system::error_code error;
    const fs::path real = fs::weakly_canonical(path, error);
    return error ? path.lexically_normal() : real;
}

// The package the options name: the default name in an output folder, else the path itself.
fs::path PackagePath(const PackageOptions& options)
{
    const std::wstring& path = options.GetOutputPackage();
    return options.GetOutputIsFolder() ? fs::path(path) / kDefaultPackageName.wide : fs::path(path);
}

}  // namespace

bool CheckSourceFolder(const std::wstring& path, CLogging& log)
{
    const fs::path folder(path);
    if (!Exists(folder, log)) {
        log << "Source path: " << path << " does not exist" << "\n";
        return false;
    }
    bool holdsPackage = false;
    try {
        for (fs::directory_iterator entry(folder), end; entry != end; ++entry) {
            try {
                if (fs::is_directory(entry->status()))
                    continue;
            } catch (const fs::filesystem_error& error) {
                LogError(log, "Error:", error);
                break;
            }
            if (entry->path().filename() == fs::path(kCidMarkerName.wide)) {
                holdsPackage = true;
                break;
            }
        }
    } catch (const fs::filesystem_error& error) {
        // A file instead of a folder, or a folder that cannot be listed: the caller ends the
        // run, and the log says why.
        LogError(log, "Error:", error);
        throw;
    }
    if (!holdsPackage) {
        log << "Source path: " << path << " does not point to a valid package" << "\n";
        return false;
    }
    log << "Source path: " << path << " is OK" << "\n";
    return true;
}

bool CheckOutputPackage(const std::wstring& path, bool isFolder, CLogging& log)
{
    if (path.empty()) {
        log << "Destination path: " << path << " is zero length" << "\n";
        return false;
    }
    const fs::path target = isFolder ? fs::path(path) : fs::path(path).parent_path();
    try {
        if (!fs::exists(target)) {
            if (target.empty())
                throw fs::filesystem_error(
                    "the output package has no folder part", target,
                    boost::system::errc::make_error_code(boost::system::errc::no_such_file_or_directory));
            // Probe that the folder can be made, then take back every folder the probe made,
            // the deepest first: the check leaves the file system as it found it.
            std::vector<fs::path> missing;
            for (fs::path folder = target; !folder.empty() && !fs::exists(folder); folder = folder.parent_path())
                missing.push_back(folder);
            std::vector<fs::path> made;
            const auto takeBack = [&made] {
                boost::system::error_code ignored;
                for (auto folder = made.rbegin(); folder != made.rend(); ++folder)
                    fs::remove(*folder, ignored);
            };
            try {
                for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
                    fs::create_directory(*folder);
                    made.push_back(*folder);
                }
            } catch (const fs::filesystem_error&) {
                takeBack();
                throw;
            }
            takeBack();
        } else {
            // A folder that exists must also take new files: a read-only one would fail
            // only after the whole archive was made.
            const fs::path probe = target / fs::unique_path(".halvex-probe-%%%%-%%%%-%%%%-%%%%");
            fs::create_directory(probe);
            fs::remove(probe);
        }
    } catch (const fs::filesystem_error& error) {
        LogError(log, "Error: ", error);
        log << "Destination path: " << path << " is invalid" << "\n";
        return false;
    }
    log << "Destination path: " << path << " is OK" << "\n";
    return true;
}

bool CheckOutputPlacement(const PackageOptions& options, CLogging& log)
{
    const std::wstring& path = options.GetOutputPackage();
    const fs::path package = PackagePath(options);
    const char* reason = nullptr;
    if (package.filename() == fs::path(kArchiveName.wide)) {
        reason = " is the intermediate archive, which the run deletes";
    } else {
        const fs::path real = WeaklyCanonical(fs::absolute(package));
        const fs::path source(WithoutTrailingSeparators(options.GetSourceFolder()));
        if (IsWithin(real, WeaklyCanonical(fs::absolute(fs::path(Platform::TempBase()) / kWorkFolderName.wide))))
            reason = " lies inside the work folder, which the run deletes";
        else if (!source.empty() && (IsWithin(real, WeaklyCanonical(fs::absolute(source))) ||
                                     IsWithin(real, WeaklyCanonical(fs::absolute(source.parent_path() /
                                                                                 kExploitPreventionFolderName.wide)))))
            reason = " lies inside the source folder, which the run packs";
    }
    if (reason == nullptr)
        return true;
    log << "Destination path: " << path << reason << "\n";
    return false;
}

bool CheckOutputNames(const PackageOptions& options, CLogging& log)
{
    const std::wstring& path = options.GetOutputPackage();
    const fs::path package = PackagePath(options);
    const fs::path checksum = package.parent_path() / (package.filename().wstring() + L".sha256");
    const std::size_t limit = Platform::LongestName(package.parent_path().wstring());
    for (const auto& [file, what] : {std::pair{package, "package's"}, std::pair{checksum, "checksum file's"}}) {
        const std::size_t length = Platform::NarrowHostText(file.filename().wstring()).size();
        if (length > limit) {
            log << "Destination path: " << path << " cannot be written: the" << what << "name"
                << file.filename().wstring() << "is" << static_cast<int>(length)
                << "bytes long, and the output folder's file system takes names of at most" << static_cast<int>(limit)
                << "bytes" << "\n";
            return false;
        }
        boost::system::error_code unknown;
        if (fs::is_directory(fs::symlink_status(file, unknown))) {
            log << "Destination path: " << path << " cannot be written: the" << what
                << "name is taken by a folder:" << file.wstring() << "\n";
            return false;
        }
    }
    return true;
}

bool IsExistingFolder(const std::wstring& path)
{
    return fs::is_directory(fs::path(path));
}

bool NamesFolder(const std::wstring& path)
{
    return path.ends_with(L'/');
}

bool CheckServerUrl(const std::wstring& url, CLogging& log)
{
    const auto parts = CrackHostText(url, log);
    const bool valid = parts && HostWithoutCredentialsOrExtra(*parts) &&
                       (parts->urlPath.empty() || parts->urlPath == L"/") &&
                       (parts->scheme == UrlScheme::Http || parts->scheme == UrlScheme::Https);
    log << "URL: " << url << (valid ? " is OK" : " is invalid") << "\n";
    return valid;
}

bool CheckUpdateLocation(const std::wstring& location, CLogging& log)
{
    bool valid = location.starts_with(L"\\\\");
    if (!valid) {
        const auto parts = CrackHostText(location, log);
        valid = parts && HostWithoutCredentialsOrExtra(*parts) && !parts->urlPath.empty() && parts->urlPath != L"/" &&
                parts->scheme == UrlScheme::Http;
    }
    log << "Updating source: " << location << (valid ? " is OK" : " is invalid") << "\n";
    return valid;
}

std::optional<InputProblem> CheckSourceInput(const std::wstring& source, CLogging& log)
{
    if (source.empty())
        return InputProblem{Platform::TextId::BlankSource, source};
    if (!CheckSourceFolder(source, log))
        return InputProblem{Platform::TextId::InvalidSource, source};
    return std::nullopt;
}

std::optional<InputProblem> CheckOutputInput(PackageOptions& options, CLogging& log)
{
    const std::wstring& output = options.GetOutputPackage();
    options.SetOutputIsFolder(IsExistingFolder(output) || NamesFolder(output));
    if (output.empty())
        return InputProblem{Platform::TextId::BlankOutput, output};
    if (!CheckOutputPackage(output, options.GetOutputIsFolder(), log) || !CheckOutputPlacement(options, log) ||
        !CheckOutputNames(options, log))
        return InputProblem{Platform::TextId::InvalidOutput, output};
    return std::nullopt;
}

std::optional<InputProblem> CheckServerInput(const std::wstring& url, CLogging& log)
{
    if (url.empty())
        return InputProblem{Platform::TextId::BlankServerUrl, url};
    if (!CheckServerUrl(url, log))
        return InputProblem{Platform::TextId::InvalidServerUrl, url};
    return std::nullopt;
}

std::optional<InputProblem> CheckPrimaryInput(const std::wstring& location, bool blankAllowed, CLogging& log)
{
    if (location.empty())
        return blankAllowed
                   ? std::nullopt
                   : std::optional<InputProblem>(InputProblem{Platform::TextId::BlankPrimaryLocation, location});
    if (!CheckUpdateLocation(location, log))
        return InputProblem{Platform::TextId::InvalidPrimaryLocation, location};
    return std::nullopt;
}

std::optional<InputProblem> CheckSecondaryInput(const std::wstring& location, const std::wstring& userName,
                                                const std::wstring& password, CLogging& log)
{
    if (location.empty())
        return InputProblem{Platform::TextId::BlankSecondaryLocation, location};
    if (location == L"VESKOR") {
        if (userName.empty() || password.empty())
            return InputProblem{Platform::TextId::BlankCredentials, std::wstring()};
        return std::nullopt;
    }
    if (!CheckUpdateLocation(location, log))
        return InputProblem{Platform::TextId::InvalidSecondaryLocation, location};
    return std::nullopt;
}
