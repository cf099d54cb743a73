#pragma once

#include <functional>
#include <string>

namespace Platform {

// A folder for one run's intermediate files, made inside `parent` for its owner only and
// held by descriptor from then on. Whoever may write to `parent` can rename the folder or
// put another at its name, but cannot reach into it, and every use goes through the
// descriptor: what the run wrote there is what it reads back.
class PrivateFolder {
public:
    explicit PrivateFolder(const std::wstring& parent);
    // Removes what is left in the folder and the folder itself.
    ~PrivateFolder();

    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // 0 when the folder is held, else the system error code (EPERM for a folder that
    // turned out not to be this user's private one).
    int Error() const { return error; }

    // The folder's place under its first name, for messages.
    const std::wstring& Name() const { return name; }
    // A path that reaches the held folder through its descriptor, whatever its name now
    // is: good for this process and as the folder a started program runs in.
    std::wstring HeldPath() const;
    // The path of `file` inside the held folder.
    std::wstring HeldPath(const std::wstring& file) const;

    // Renames `file` from the held folder to `target` in the parent, replacing what is
    // there. 0, or the system error code.
    int MoveOut(const std::wstring& file, const std::wstring& target) const;
    // Swaps `file` in the held folder with the file `target` in the parent. 0, or the
    // system error code: ENOENT when either is missing, EISDIR when `target` is a folder.
    int Exchange(const std::wstring& file, const std::wstring& target) const;
    // Renames `target` in the parent back into the held folder as `file`.
    int MoveIn(const std::wstring& target, const std::wstring& file) const;

    // Removes every file in the folder, and the folder when it still has its first name.
    // Large files are given back in pieces first, `between` called after each piece.
    void Remove(const std::function<void()>& between = {});

private:
    std::wstring name;
    std::string leaf;
    int parentFd = -1;
    int fd = -1;
    int error = 0;
};

// True when users other than the owner may write to `folder` and it is not sticky: they
// can then rename or replace any file in it.
bool OpenToOtherWriters(const std::wstring& folder);

}  // namespace Platform
