#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// Lower-cases the letters A to Z only, whatever the process locale (the graphical
// session switches it to the user's), so option names and schemes match the same way
// in both run modes.
inline std::wstring AsciiLowerCase(std::wstring_view text)
{
    std::wstring lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; });
    return lower;
}
