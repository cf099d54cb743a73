#pragma once

#include <functional>
#include <future>
#include <string>

namespace Platform {

// Removing a file frees all its blocks at once, which for a file of a gigabyte takes long
// enough to freeze a window. These give a file's blocks back in pieces first, calling
// `between` after each, so that the removal which follows is quick. Only a regular file
// with no other name is shrunk: a link's blocks belong to its other names too. Anything
// else, and every error, is left to the removal.
void ShrinkBeforeRemoval(const std::wstring& file, const std::function<void()>& between);
// Removes `folder` and everything below it in one walk through folder descriptors, links
// not followed, shrinking each large file with no other name first as above; without
// `between` nothing is shrunk and no file's status is read. 0, or the system error code of
// the first failure (what follows it is left).
int RemoveTree(const std::wstring& folder, const std::function<void()>& between);

// RemoveTree on a thread of its own, for a folder nothing reads or writes any more, so
// that the work which follows need not wait for it. Destroying it waits for the removal.
class TreeRemoval {
public:
    explicit TreeRemoval(const std::wstring& folder);

    // Waits for the removal, calling `between` every few tens of milliseconds meanwhile: 0,
    // or the system error code as RemoveTree gives it. Once only.
    int Wait(const std::function<void()>& between);

private:
    std::future<int> result;
};

}  // namespace Platform
