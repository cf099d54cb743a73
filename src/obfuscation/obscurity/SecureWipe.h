#pragma once

#include <cstddef>
#include <string>

namespace TolvarSecurity {

// Overwrites size bytes at data with fill in a way the compiler may not drop,
// even when the memory is freed right after.
void SecureWipe(void* data, std::size_t size, unsigned char fill = 0) noexcept;

// Overwrites a string's characters (its whole capacity) before it goes away.
template <typename Char>
void SecureWipe(std::basic_string<Char>& text) noexcept
{
    SecureWipe(text.data(), text.capacity() * sizeof(Char));
}

// Called with each freed block of key material or plain text just before it is
// freed, so tests can see that nothing secret was left in it. Null in the program.
using ReleaseObserver = void (*)(const unsigned char* data, std::size_t size);
void SetReleaseObserver(ReleaseObserver observer) noexcept;
void NotifyRelease(const unsigned char* data, std::size_t size) noexcept;

}  // namespace TolvarSecurity
