#pragma once

#include <string>
#include <string_view>

namespace Platform {

// Host text (arguments, paths, dialog fields) is UTF-8 on this host.
// A byte sequence that is not valid UTF-8 becomes U+FFFD per bad byte.
std::wstring WidenHostText(std::string_view text);

// The same, but each byte that is not part of valid UTF-8 is written as \xHH, so a name
// that cannot be converted can still be shown.
std::wstring WidenHostTextEscaped(std::string_view text);

// Whether the bytes are valid UTF-8 throughout (no overlong forms, no surrogates).
bool IsValidHostText(std::string_view text);
std::string NarrowHostText(std::wstring_view text);

// Text for files that Windows clients read: Windows-1252, '?' for what it cannot hold.
std::string ToWindows1252(std::wstring_view text);
// And back: the text a Windows client reads from those bytes.
std::wstring FromWindows1252(std::string_view text);

}  // namespace Platform
