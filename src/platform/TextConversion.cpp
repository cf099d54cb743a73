#include "platform/TextConversion.h"

#include <array>
#include <cwchar>
#include <locale>

#include <boost/filesystem/detail/utf8_codecvt_facet.hpp>

namespace Platform {
namespace {

using Utf8Facet = boost::filesystem::detail::utf8_codecvt_facet;

const Utf8Facet& Utf8()
{
    // Reference count 1: the facet is never handed to a locale that would delete it.
    static const Utf8Facet facet(1);
    return facet;
}

// Windows-1252 bytes 0x80 to 0x9F; 0 where the code page leaves the byte undefined.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

std::wstring WidenHostText(std::string_view text)
{
    std::wstring result;
    result.reserve(text.size());
    std::mbstate_t state{};
    const char* from = text.data();
    const char* const end = text.data() + text.size();
    wchar_t buffer[256];
    while (from != end) {
        const char* next = from;
        wchar_t* out = buffer;
        const auto status = Utf8().in(state, from, end, next, buffer, buffer + 256, out);
        result.append(buffer, out);
        if (status == std::codecvt_base::error || (status == std::codecvt_base::partial && next == from)) {
            // An invalid or truncated sequence: replace one byte and go on after it.
            result.push_back(L'\xFFFD');
            from = next + 1;
            state = std::mbstate_t{};
        } else {
            from = next;
        }
    }
    return result;
}

std::string NarrowHostText(std::wstring_view text)
{
    std::string result;
    result.reserve(text.size());
    std::mbstate_t state{};
    const wchar_t* from = text.data();
    const wchar_t* const end = text.data() + text.size();
    char buffer[1024];
    while (from != end) {
        const wchar_t* next = from;
        char* out = buffer;
        const auto status = Utf8().out(state, from, end, next, buffer, buffer + 1024, out);
        result.append(buffer, out);
        if (status == std::codecvt_base::error) {
            // A value that is no Unicode scalar: write the replacement character.
            result.append("\xEF\xBF\xBD");
            from = next + 1;
            state = std::mbstate_t{};
        } else {
            from = next;
        }
    }
    return result;
}

std::string ToWindows1252(std::wstring_view text)
{
    std::string result;
    result.reserve(text.size());
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            result.push_back(static_cast<char>(code));
            continue;
        }
        char mapped = '?';
        for (std::size_t i = 0; i < kHighControls.size(); ++i) {
            if (kHighControls[i] != 0 && kHighControls[i] == code) {
                mapped = static_cast<char>(0x80 + i);
                break;
            }
        }
        result.push_back(mapped);
    }
    return result;
}

}  // namespace Platform
