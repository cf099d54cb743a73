#pragma once

#include <string>
#include <string_view>

namespace Platform {

// Writes `bytes` as the new file `path`, readable by all and writable by its owner: never
// over or through what is already at that name (a file, a folder or a link), and nothing
// stays at the name unless every byte was written and the file closed without error.
// 0, or the system error code (EEXIST when the name is taken).
int WriteNewFile(const std::wstring& path, std::string_view bytes);

}  // namespace Platform
