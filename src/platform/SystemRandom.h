#pragma once

#include <cstddef>

namespace Platform {

// Fills size bytes from the operating system's cryptographic random source.
// False when the source cannot deliver them all.
bool SystemRandomBytes(void* data, std::size_t size);

}  // namespace Platform
