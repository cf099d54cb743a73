#pragma once

#include <cstdint>

namespace TolvarSecurity {

// An owning heap block of bytes. Releasing frees the block without
// overwriting it: owners of secrets call wipe() first.
class membuff {
public:
    membuff() noexcept = default;
    // A copy of length bytes; empty when bytes is null or length is 0.
    membuff(const unsigned char* bytes, std::uint32_t length);
    membuff(const membuff& other);
    membuff& operator=(const membuff& other);
    // Moving hands the block over, so no stray copy of a secret is left behind.
    membuff(membuff&& other) noexcept;
    membuff& operator=(membuff&& other) noexcept;
    ~membuff();

    // Releases the current block, then allocates count * elementSize
    // uninitialised bytes; a product of 0 leaves the buffer empty.
    void allocate(std::uint32_t count, std::uint32_t elementSize);
    void assign(const unsigned char* bytes, std::uint32_t length);
    void release() noexcept;
    // Overwrites every byte with fill; the size stays.
    void wipe(unsigned char fill = 0) noexcept;

    unsigned char* data() noexcept { return data_; }
    const unsigned char* data() const noexcept { return data_; }
    std::uint32_t size() const noexcept { return size_; }

private:
    unsigned char* data_ = nullptr;
    std::uint32_t size_ = 0;
};

// Wipes a buffer when the scope ends, on every path out of it.
class ScopedWipe {
public:
    explicit ScopedWipe(membuff& buffer, unsigned char fill = 0) noexcept : buffer_(buffer), fill_(fill) {}
    ~ScopedWipe() { buffer_.wipe(fill_); }

    ScopedWipe(const ScopedWipe&) = delete;
    ScopedWipe& operator=(const ScopedWipe&) = delete;

private:
    membuff& buffer_;
    unsigned char fill_;
};

}  // namespace TolvarSecurity
