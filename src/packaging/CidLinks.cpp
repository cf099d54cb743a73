#include "packaging/CidLinks.h"

#include <algorithm>
#include <cerrno>

#include <boost/filesystem/operations.hpp>

#include "core/PathWithin.h"

namespace fs = boost::filesystem;

void CidLinks::AddRoot(const Path& folder)
{
    boost::system::error_code error;
    const Path real = fs::canonical(folder, error);
    if (!error)
        roots.push_back(real);
}

bool CidLinks::AddRootWithin(const Path& folder, const Path& boundary, CLogging& log)
{
    boost::system::error_code error;
    const Path real = fs::canonical(folder, error);
    if (error)
        return true;
    const Path realBoundary = fs::canonical(boundary, error);
    if (error || !IsWithin(real, realBoundary)) {
        log << "Link leaves the source folder:" << folder.wstring() << "->" << real.wstring() << "\n";
        return false;
    }
    roots.push_back(real);
    return true;
}

std::optional<CidLinks::Path> CidLinks::Resolve(const Path& entry, CLogging& log) const
{
    const Verdict verdict = Judge(entry);
    if (!verdict.real)
        Report(entry, verdict, log);
    return verdict.real;
}

CidLinks::Verdict CidLinks::Judge(const Path& entry) const
{
    Verdict verdict;
    boost::system::error_code error;
    if (!fs::is_symlink(fs::symlink_status(entry, error))) {
        verdict.real = entry;
        return verdict;
    }
    verdict.target = fs::read_symlink(entry, error);
    const Path real = fs::canonical(entry, error);
    if (error) {
        verdict.refusal = error.value() == ELOOP ? "Link loops:" : "Link points to nothing:";
        return verdict;
    }
    if (std::none_of(roots.begin(), roots.end(), [&](const Path& root) { return IsWithin(real, root); })) {
        verdict.refusal = "Link leaves the source folder:";
        return verdict;
    }
    // A folder holding one being copied would be copied into itself, without end.
    if (std::any_of(openFolders.begin(), openFolders.end(), [&](const Path& open) { return IsWithin(open, real); })) {
        verdict.refusal = "Link loops:";
        return verdict;
    }
    verdict.real = real;
    return verdict;
}

void CidLinks::Report(const Path& entry, const Verdict& verdict, CLogging& log)
{
    log << verdict.refusal << entry.wstring() << "->" << verdict.target.wstring() << "\n";
}

void CidLinks::Enter(const Path& folder)
{
    openFolders.push_back(folder);
}

void CidLinks::Leave()
{
    openFolders.pop_back();
}
