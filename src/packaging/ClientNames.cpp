#include "packaging/ClientNames.h"

#include <algorithm>
#include <locale>
#include <optional>
#include <unordered_set>

#include <boost/container_hash/hash.hpp>

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
    return text.size() +
           static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](wchar_t c) { return c > 0xFFFF; }));
}

// One character in upper case: ASCII by arithmetic, the rest as the C.UTF-8 locale has it.
wchar_t Upper(wchar_t c)
{
    if (c < 0x80)
        return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c;
    static const std::locale utf8("C.UTF-8");
    static const auto& ctype = std::use_facet<std::ctype<wchar_t>>(utf8);
    return ctype.toupper(c);
}

std::wstring UpperCase(const std::wstring& text)
{
    std::wstring upper = text;
    for (auto& c : upper)
        c = Upper(c);
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

// Names of one folder compared in upper case, folded as they are hashed and compared,
// so no folded copy is made.
struct FoldedHash {
    const std::vector<std::wstring>* names;
    std::size_t operator()(std::size_t index) const
    {
        std::size_t seed = 0;
        for (const wchar_t c : (*names)[index])
            boost::hash_combine(seed, Upper(c));
        return seed;
    }
};
struct FoldedEqual {
    const std::vector<std::wstring>* names;
    bool operator()(std::size_t a, std::size_t b) const
    {
        const std::wstring& x = (*names)[a];
        const std::wstring& y = (*names)[b];
        return x.size() == y.size() &&
               std::equal(x.begin(), x.end(), y.begin(), [](wchar_t p, wchar_t q) { return Upper(p) == Upper(q); });
    }
};

std::vector<std::wstring> Parts(const std::wstring& folder, const std::wstring& name)
{
    std::vector<std::wstring> parts;
    for (std::size_t start = 0; start < folder.size();) {
        const std::size_t end = std::min(folder.find(L'/', start), folder.size());
        parts.push_back(folder.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(name);
    return parts;
}

std::wstring Joined(const std::vector<std::wstring>& parts)
{
    std::wstring path;
    for (const auto& part : parts)
        path += (path.empty() ? L"" : L"/") + part;
    return path;
}

}  // namespace

void ClientNames::AddFolder(const std::wstring& folder, const std::vector<std::wstring>& names)
{
    if (folder.empty())
        topNames.insert(topNames.end(), names.begin(), names.end());
    else
        Judge(folder, names);
}

void ClientNames::Judge(const std::wstring& folder, const std::vector<std::wstring>& names)
{
    const std::size_t folderLength = folder.empty() ? 0 : Utf16Length(folder) + 1;
    std::unordered_set<std::size_t, FoldedHash, FoldedEqual> seen(names.size(), FoldedHash{&names},
                                                                  FoldedEqual{&names});
    // Names that differ only in case, by the first of them met.
    std::vector<std::pair<std::size_t, std::size_t>> clashes;
    for (std::size_t index = 0; index < names.size(); ++index) {
        const std::wstring& name = names[index];
        if (const auto problem = NameProblem(name))
            findings.push_back({Parts(folder, name), true, *problem});
        const auto [first, added] = seen.insert(index);
        if (!added)
            clashes.emplace_back(*first, index);
        if (kTypicalPrefix + folderLength + Utf16Length(name) > kMaxPath)
            findings.push_back({Parts(folder, name), false, L""});
    }
    // Of names that differ only in case, the first in sorted order is the one the others
    // are said to clash with.
    std::sort(clashes.begin(), clashes.end());
    for (auto group = clashes.begin(); group != clashes.end();) {
        const auto end = std::find_if(group, clashes.end(), [&](const auto& c) { return c.first != group->first; });
        std::vector<std::wstring> members{names[group->first]};
        for (auto member = group; member != end; ++member)
            members.push_back(names[member->second]);
        std::sort(members.begin(), members.end());
        for (auto member = members.begin() + 1; member != members.end(); ++member)
            findings.push_back(
                {Parts(folder, *member), true, L"(differs only in letter case from " + members[0] + L")"});
        group = end;
    }
}

StepResult ClientNames::Check(CLogging& log)
{
    log << "Checking that a Windows client can hold every name in the package..." << "\n";
    Judge(L"", topNames);
    topNames.clear();
    // A path's own lines keep their order: what is wrong with the name, a clash, the length.
    const auto rank = [](const Finding& finding) {
        return finding.offence ? (finding.problem.starts_with(L"(differs") ? 1 : 0) : 2;
    };
    std::stable_sort(findings.begin(), findings.end(), [&](const Finding& a, const Finding& b) {
        if (a.parts != b.parts)
            return a.parts < b.parts;
        return rank(a) < rank(b);
    });
    int offences = 0;
    for (const auto& finding : findings) {
        const std::wstring relative = Joined(finding.parts);
        if (!finding.offence)
            log << "Warning: this path may pass 260 characters when the package is extracted on a Windows client:"
                << relative << "\n";
        else if (++offences <= kLineCap)
            log << "Name a Windows client cannot hold:" << relative << finding.problem << "\n";
    }
    findings.clear();
    if (offences > kLineCap)
        log << "Names a Windows client cannot hold, not listed above:" << offences - kLineCap << "\n";
    if (offences > 0)
        return LogFailure(log, "Package not built: names a Windows client cannot hold:", offences);
    return {};
}
