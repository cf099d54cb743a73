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
    boost::system::error_code error;
    if (!fs::is_symlink(fs::symlink_status(entry, error)))
        return entry;
    const Path target = fs::read_symlink(entry, error);
    const Path real = fs::canonical(entry, error);
    if (error) {
        log << (error.value() == ELOOP ? "Link loops:" : "Link points to nothing:") << entry.wstring() << "->"
            << target.wstring() << "\n";
        return std::nullopt;
    }
    if (std::none_of(roots.begin(), roots.end(), [&](const Path& root) { return IsWithin(real, root); })) {
        log << "Link leaves the source folder:" << entry.wstring() << "->" << target.wstring() << "\n";
        return std::nullopt;
    }
    // A folder holding one being copied would be copied into itself, without end.
    if (std::any_of(openFolders.begin(), openFolders.end(), [&](const Path& open) { return IsWithin(open, real); })) {
        log << "Link loops:" << entry.wstring() << "->" << target.wstring() << "\n";
        return std::nullopt;
    }
    return real;
}

void CidLinks::Enter(const Path& folder)
{
    boost::system::error_code error;
    const Path real = fs::canonical(folder, error);
    openFolders.push_back(error ? folder : real);
}

void CidLinks::Leave()
{
    openFolders.pop_back();
}
