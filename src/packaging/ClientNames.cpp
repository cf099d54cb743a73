#include "packaging/ClientNames.h"

#include <algorithm>
#include <locale>
#include <map>
#include <optional>

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include "platform/TextConversion.h"

namespace fs = boost::filesystem;

namespace {

// Enough lines to show the pattern; the count covers the rest.
constexpr int kLineCap = 20;

// The folder the package extracts to on a typical client,
// "C:\Users\Administrator\AppData\Local\Temp\halvex_temp\", and the longest path the
// client's MAX_PATH leaves after it (260 with the terminating NUL).
constexpr std::size_t kTypicalPrefix = 54;
constexpr std::size_t kMaxPath = 259;

// The length Windows counts: UTF-16 code units.
std::size_t Utf16Length(const std::wstring& text)
{
    return text.size() + static_cast<std::size_t>(std::count_if(text.begin(), text.end(),
                                                                [](wchar_t c) { return c > 0xFFFF; }));
}

std::wstring UpperCase(const std::wstring& text)
{
    static const std::locale utf8("C.UTF-8");
    std::wstring upper = text;
    std::use_facet<std::ctype<wchar_t>>(utf8).toupper(upper.data(), upper.data() + upper.size());
    return upper;
}

bool IsDeviceName(const std::wstring& name)
{
    std::wstring stem = UpperCase(name.substr(0, name.find(L'.')));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL")
        return true;
    return stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT")) && stem[3] >= L'1' &&
           stem[3] <= L'9';
}

std::optional<std::wstring> NameProblem(const std::wstring& name)
{
    if (name.find_first_of(L"\"\\:*?<>|") != std::wstring::npos)
        return L"(a reserved character)";
    if (std::any_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x20; }))
        return L"(a control character)";
    if (name.back() == L'.' || name.back() == L' ')
        return L"(a trailing dot or blank)";
    if (IsDeviceName(name))
        return L"(a device name)";
    return std::nullopt;
}

class NameCheck {
public:
    NameCheck(const fs::path& root, CLogging& log) : root(root), log(log) {}

    void Walk(const fs::path& folder)
    {
        std::map<std::wstring, std::wstring> seen;  // upper case -> the name as found
        std::vector<fs::path> entries{fs::directory_iterator(folder), fs::directory_iterator()};
        // Listing order is the file system's; a sorted walk names the same path first
        // in every run.
        std::sort(entries.begin(), entries.end());
        for (const auto& entry : entries) {
            const std::wstring name = entry.filename().wstring();
            const std::wstring relative = fs::relative(entry, root).generic_wstring();
            if (const auto problem = NameProblem(name))
                Offend(relative, *problem);
            const auto [clash, added] = seen.emplace(UpperCase(name), name);
            if (!added)
                Offend(relative, L"(differs only in letter case from " + clash->second + L")");
            if (kTypicalPrefix + Utf16Length(relative) > kMaxPath)
                log << "Warning: this path may pass 260 characters when the package is extracted on a Windows client:"
                    << relative << "\n";
            if (fs::is_directory(fs::symlink_status(entry)))
                Walk(entry);
        }
    }

    int Offences() const { return offences; }

private:
    void Offend(const std::wstring& relative, const std::wstring& problem)
    {
        if (++offences <= kLineCap)
            log << "Name a Windows client cannot hold:" << relative << problem << "\n";
    }

    fs::path root;
    CLogging& log;
    int offences = 0;
};

}  // namespace

bool CheckClientNames(const std::wstring& workFolder, CLogging& log)
{
    log << "Checking that a Windows client can hold every name in the package..." << "\n";
    NameCheck check(workFolder, log);
    try {
        check.Walk(workFolder);
    } catch (const fs::filesystem_error& error) {
        log << "Boost file system error:" << Platform::WidenHostText(error.what()) << "\n";
        return false;
    }
    if (check.Offences() > kLineCap)
        log << "Names a Windows client cannot hold, not listed above:" << check.Offences() - kLineCap << "\n";
    if (check.Offences() > 0) {
        log << "Package not built: names a Windows client cannot hold:" << check.Offences() << "\n";
        return false;
    }
    return true;
}
