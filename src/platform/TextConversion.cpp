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
constexpr std::array<char16_t, 32> kHighControls = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The length of the well-formed UTF-8 sequence at the start of the bytes (RFC 3629: no
// overlong forms, no surrogates, nothing above U+10FFFF), or 0. Boost's facet does not
// check continuation bytes and accepts old five- and six-byte forms, so it decodes
// invalid input into values that are no characters at all.
std::size_t SequenceLength(std::string_view bytes, char32_t& decoded)
{
    const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        decoded = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, decoded = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, decoded = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, decoded = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((at(i) & 0xC0) != 0x80)
            return 0;
        decoded = (decoded << 6) | (at(i) & 0x3F);
    }
    if (decoded < minimum || decoded > 0x10FFFF || (decoded >= 0xD800 && decoded <= 0xDFFF))
        return 0;
    return length;
}

// Decodes the bytes, handing each byte outside a well-formed sequence to invalid(byte, text).
template <typename OnInvalid>
std::wstring DecodeUtf8(std::string_view bytes, OnInvalid invalid)
{
    std::wstring result;
    result.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t decoded = 0;
        const std::size_t length = SequenceLength(bytes, decoded);
        if (length == 0) {
            invalid(static_cast<unsigned char>(bytes.front()), result);
            bytes.remove_prefix(1);
        } else {
            result.push_back(static_cast<wchar_t>(decoded));
            bytes.remove_prefix(length);
        }
    }
    return result;
}

}  // namespace

std::wstring WidenHostText(std::string_view text)
{
    return DecodeUtf8(text, [](unsigned char, std::wstring& result) { result.push_back(L'\xFFFD'); });
}

std::wstring WidenHostTextEscaped(std::string_view text)
{
    return DecodeUtf8(text, [](unsigned char byte, std::wstring& result) {
        wchar_t escape[8];
        std::swprintf(escape, 8, L"\\x%02X", static_cast<unsigned>(byte));
        result.append(escape);
    });
}

bool IsValidHostText(std::string_view text)
{
    bool valid = true;
    DecodeUtf8(text, [&valid](unsigned char, std::wstring&) { valid = false; });
    return valid;
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

std::wstring FromWindows1252(std::string_view text)
{
    std::wstring result;
    result.reserve(text.size());
    for (const char byte : text) {
        const auto code = static_cast<unsigned char>(byte);
        // The five bytes Windows-1252 leaves undefined stand for themselves, as Windows maps them.
        if (code >= 0x80 && code < 0xA0 && kHighControls[code - 0x80] != 0)
            result.push_back(static_cast<wchar_t>(kHighControls[code - 0x80]));
        else
            result.push_back(static_cast<wchar_t>(code));
    }
    return result;
}

}  // namespace Platform
