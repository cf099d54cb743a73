#include "obfuscation/obscurity/membuff.h"

#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "obfuscation/obscurity/SecureWipe.h"
#include "obfuscation/obscurity/SecurityException.h"

namespace TolvarSecurity {

membuff::membuff(const unsigned char* bytes, std::uint32_t length)
{
    assign(bytes, length);
}

membuff::membuff(const membuff& other)
{
    assign(other.data_, other.size_);
}

membuff& membuff::operator=(const membuff& other)
{
    assign(other.data_, other.size_);
    return *this;
}

membuff::membuff(membuff&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0))
{}

membuff& membuff::operator=(membuff&& other) noexcept
{
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

membuff::~membuff()
{
    release();
}

void membuff::allocate(std::uint32_t count, std::uint32_t elementSize)
{
    release();
    const std::uint64_t total = std::uint64_t{count} * elementSize;
    if (total == 0)
        return;
    // A product that does not fit the 32-bit size is a request no block can satisfy.
    if (total > std::numeric_limits<std::uint32_t>::max())
        throw InsufficientMemory(__FILE__, __LINE__);
    data_ = new (std::nothrow) unsigned char[total];
    if (!data_)
        throw InsufficientMemory(__FILE__, __LINE__);
    size_ = static_cast<std::uint32_t>(total);
}

void membuff::assign(const unsigned char* bytes, std::uint32_t length)
{
    // Copy before releasing: the source may lie inside this buffer, and a failed
    // allocation must leave the buffer as it was.
    membuff copy;
    if (bytes && length != 0) {
        copy.allocate(length, 1);
        std::memcpy(copy.data_, bytes, length);
    }
    release();
    std::swap(data_, copy.data_);
    std::swap(size_, copy.size_);
}

void membuff::release() noexcept
{
    NotifyRelease(data_, size_);
    delete[] data_;
    data_ = nullptr;
    size_ = 0;
}

void membuff::wipe(unsigned char fill) noexcept
{
    SecureWipe(data_, size_, fill);
}

}  // namespace TolvarSecurity
