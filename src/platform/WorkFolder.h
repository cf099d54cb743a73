#pragma once

#include <string>

#include "platform/FileDescriptor.h"

namespace Platform {

// Keeps two runs of one user from using the same thing (the work folder, a log file) at
// once: an exclusive lock on a file of the user's own, held for the object's life and
// released by the system even when the process dies.
class RunLock {
public:
    enum class State { Held, Busy, Unusable };
    // What the lock file is: a file that holds something and stays (a log), or a file that
    // is only a lock. One that is only a lock lives in a folder that no one but this user
    // may write to (made for the user alone when missing, its parents must exist), names
    // the run that holds it, and goes when the lock is released.
    enum class File { Keep, OnlyALock };

    // Never waits: a lock held by another run gives Busy at once. A lock file that is a
    // link, not a plain file, belongs to another user, or that others may write to beyond
    // `permissions`, gives Unusable and is not followed; so does a folder that fails the
    // test above for a lock file that is only a lock. A missing file is created with
    // `permissions` (less the process's umask).
    explicit RunLock(const std::wstring& lockFile, unsigned permissions = 0600, File file = File::Keep);
    ~RunLock();

    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    State GetState() const { return state; }
    // Why the lock is Unusable: the system error code, EPERM for a file or folder that is
    // not this user's own as said above.
    int Error() const { return error; }
    // Who holds a Busy lock file that is only a lock, as the holder wrote it into the file
    // ("process 1234 since 2026/12/11 04:40:26"); empty when it has not written it yet.
    const std::string& Holder() const { return holder; }

private:
    bool Open(const std::string& path, unsigned permissions);
    void WriteHolder();
    void ReadHolder();

    std::string leaf;
    File file;
    // The lock file's folder, held so the file is opened and removed where it was checked.
    FileDescriptor folder;
    FileDescriptor fd;
    int error = 0;
    std::string holder;
    State state = State::Unusable;
};

// Keeps two runs from writing into the same output folder at once: an exclusive lock
// on the folder's own descriptor, so no file is created for it, held for the object's
// life and released by the system even when the process dies. Never waits.
class FolderLock {
public:
    enum class State { Held, Busy, Unusable };

    explicit FolderLock(const std::wstring& folder);
    ~FolderLock();

    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

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
