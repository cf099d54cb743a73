#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "obfuscation/obscurity/membuff.h"

namespace Obscurity {

// The text as UTF-16 code units, two bytes each, low byte first, whatever the
// width of wchar_t. A character beyond U+FFFF becomes a surrogate pair, a lone
// surrogate stays the unit it is, and a value that is no character becomes U+FFFD.
TolvarSecurity::membuff ToUtf16Le(std::wstring_view text);

// The inverse: size / 2 code units (an odd last byte is dropped); a surrogate
// pair joins into one character, a lone surrogate is kept as it is.
std::wstring FromUtf16Le(const unsigned char* bytes, std::size_t size);

}  // namespace Obscurity
