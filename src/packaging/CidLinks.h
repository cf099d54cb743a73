#pragma once

#include <optional>
#include <vector>

#include <boost/filesystem/path.hpp>

#include "core/Logging.h"

// What a symbolic link met while copying the CID may stand for. A link whose target lies
// inside the CID (or "KELDWIN" beside it) is copied as that target's content; a link that
// leaves them, points to nothing, or leads back into a folder being copied stops the copy
// with a log line naming the link and its target. Nothing outside ever enters a package.
class CidLinks {
public:
    using Path = boost::filesystem::path;

    // What a link was found to stand for: its real target, or why it must not be followed.
    struct Verdict {
        std::optional<Path> real;
        const char* refusal = nullptr;  // the log line's first item, when refused
        Path target;  // the link's own text
    };

    // A folder whose content may be packed; links are followed to find where it really is.
    void AddRoot(const Path& folder);
    // The same for a folder that may itself be a link: taken only when it really lies
    // within `boundary`; else a log line, and false.
    bool AddRootWithin(const Path& folder, const Path& boundary, CLogging& log);
    // The real paths of the folders taken, in the order they were added.
    const std::vector<Path>& Roots() const { return roots; }

    // The path to copy for `entry`: the entry itself when it is no link, else the link's
    // real target. Nothing, after a log line, when the link must not be followed.
    std::optional<Path> Resolve(const Path& entry, CLogging& log) const;
    // The same judgement without the log line, which `Report` writes later.
    Verdict Judge(const Path& entry) const;
    static void Report(const Path& entry, const Verdict& verdict, CLogging& log);

    // Brackets the walk of one folder, given by its real path, so a link back into it is
    // seen as a loop.
    void Enter(const Path& folder);
    void Leave();

private:
    std::vector<Path> roots;
    std::vector<Path> openFolders;
};
