#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <string>

// The SHA-256 of one file, read once on a thread of its own, so that the file can be
// checked some other way meanwhile. Destroying it abandons the read and waits for it.
class FileDigest {
public:
    // Starts reading the regular file `name` in `folder`.
    FileDigest(const std::wstring& folder, const std::string& name);
    ~FileDigest();
    FileDigest(const FileDigest&) = delete;
    FileDigest& operator=(const FileDigest&) = delete;

    struct Result {
        std::string hexDigest;  // as sha256sum prints it; empty on failure
        int error = 0;  // the system error code (ECANCELED when abandoned)
    };

    // The bytes read so far.
    std::uint64_t BytesRead() const { return bytesRead.load(); }
    // Waits for the digest, calling `between` every few tens of milliseconds; when it
    // answers false the read is abandoned. Once only.
    Result Wait(const std::function<bool()>& between);

private:
    std::atomic<std::uint64_t> bytesRead{0};
    std::atomic<bool> abandoned{false};
    std::future<Result> result;
};
