#pragma once

#include <string>

namespace Platform {

// Keeps two runs of one user from using the same thing (the work folder, a log file) at
// once: an exclusive lock on a file of the user's own, held for the object's life and
// released by the system even when the process dies.
class CRunLock {
public:
    enum class State { Held, Busy, Unusable };
    // Whether the lock file goes when the lock is released (a lock file that is only a
    // lock), or stays (a file that holds something, such as a log).
    enum class File { Keep, RemoveWhenReleased };

    // Never waits: a lock held by another run gives Busy at once. A lock file that is a
    // link, not a plain file, or belongs to another user gives Unusable and is not followed.
    // A missing file is created with `permissions` (less the process's umask).
    explicit CRunLock(const std::wstring& lockFile, unsigned permissions = 0600, File file = File::Keep);
    ~CRunLock();

    CRunLock(const CRunLock&) = delete;
    CRunLock& operator=(const CRunLock&) = delete;

    State GetState() const { return state; }

private:
    std::string path;
    File file;
    int fd = -1;
    State state = State::Unusable;
};

// Keeps two runs from writing into the same output folder at once: an exclusive lock
// on the folder's own descriptor, so no file is created for it, held for the object's
// life and released by the system even when the process dies. Never waits.
class CFolderLock {
public:
    enum class State { Held, Busy, Unusable };

    explicit CFolderLock(const std::wstring& folder);
    ~CFolderLock();

    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

    State GetState() const { return state; }
    // The system error code when Unusable.
    int Error() const { return error; }

private:
    int fd = -1;
    int error = 0;
    State state = State::Unusable;
};

// True when something exists at `path` that is not a real folder of this user's own:
// a link (to anything), another kind of file, or a folder of another user.
bool IsForeignFolder(const std::wstring& path);

// Creates the folder for this user only (mode 0700). Returns 0, or the system error
// code; an existing entry is EEXIST, never reused.
int CreatePrivateFolder(const std::wstring& path);

// The text of a system error code.
std::string SystemErrorText(int code);

}  // namespace Platform
