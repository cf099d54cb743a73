#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Joins files byte for byte, as `copy /b a + b + c target` does, without a shell. The
// result is written under a temporary name in the target's folder and only Commit puts
// it under the target name, so the target name never holds a partial or unchecked file.
// An uncommitted result is removed when the object ends.
class CJoinedFile {
public:
    // Sees every byte written, in order, as it is written: the result is never read back.
    using Observer = std::function<void(std::string_view bytes)>;

    explicit CJoinedFile(const std::wstring& target);
    ~CJoinedFile();

    CJoinedFile(const CJoinedFile&) = delete;
    CJoinedFile& operator=(const CJoinedFile&) = delete;

    // Writes the sources one after another. Stops early when an interrupt is requested.
    // Returns 0 on success, else the system error code (ECANCELED when interrupted).
    int Join(const std::vector<std::wstring>& sources, const Observer& observe = {});

    // Where the joined bytes are until Commit.
    const std::wstring& TemporaryPath() const { return temporary; }

    // Renames the joined file over the target. Returns 0 or the system error code.
    int Commit();

private:
    std::wstring target;
    std::wstring temporary;
    int fd = -1;
    int error = 0;
    bool committed = false;
};

// Writes `bytes` to `target` through a temporary file in the same folder that is renamed
// over it when complete. Returns 0 or the system error code; on failure nothing is left.
int WriteFileAtomically(const std::wstring& target, std::string_view bytes);

}  // namespace Platform
