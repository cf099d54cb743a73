#include "obfuscation/obscurity/Utf16Le.h"

#include <cstdint>
#include <limits>
#include <type_traits>

#include "obfuscation/obscurity/SecurityException.h"

namespace Obscurity {
namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(std::uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(std::uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Through the unsigned type of wchar_t's width, so a 16-bit wchar_t never sign-extends;
// a value that is no character becomes U+FFFD.
std::uint32_t CodeOf(wchar_t c)
{
    const std::uint32_t code = static_cast<std::make_unsigned_t<wchar_t>>(c);
    return code > 0x10FFFF ? kReplacement : code;
}

}  // namespace

TolvarSecurity::membuff ToUtf16Le(std::wstring_view text)
{
    std::uint64_t units = 0;
    for (const wchar_t c : text)
        units += CodeOf(c) > 0xFFFF ? 2 : 1;
    if (units * 2 > std::numeric_limits<std::uint32_t>::max())
        throw TolvarSecurity::UnproperInputData(__FILE__, __LINE__);

    TolvarSecurity::membuff bytes;
    bytes.allocate(static_cast<std::uint32_t>(units), 2);
    unsigned char* out = bytes.data();
    auto put = [&out](std::uint32_t unit) {
        *out++ = static_cast<unsigned char>(unit & 0xFF);
        *out++ = static_cast<unsigned char>(unit >> 8);
    };
    for (const wchar_t c : text) {
        std::uint32_t code = CodeOf(c);
        if (code > 0xFFFF) {
            code -= 0x10000;
            put(0xD800 | code >> 10);
            put(0xDC00 | (code & 0x3FF));
        } else {
            put(code);
        }
    }
    return bytes;
}

std::wstring FromUtf16Le(const unsigned char* bytes, std::size_t size)
{
    const std::size_t units = size / 2;
    std::wstring text;
    // Reserved once: growing would leave copies of the plain text in freed memory.
    text.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t unit = bytes[2 * i] | std::uint32_t{bytes[2 * i + 1]} << 8;
        if constexpr (sizeof(wchar_t) >= 4) {
            if (IsHighSurrogate(unit) && i + 1 < units) {
                const std::uint32_t next = bytes[2 * i + 2] | std::uint32_t{bytes[2 * i + 3]} << 8;
                if (IsLowSurrogate(next)) {
                    text.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00)));
                    ++i;
                    continue;
                }
            }
        }
        text.push_back(static_cast<wchar_t>(unit));
    }
    return text;
}

}  // namespace Obscurity
