#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Platform {

// The program's numbered user-facing texts (ids 101 to 142); nothing for an unknown id.
std::optional<std::wstring> LoadString(unsigned id);

// Message formatting with one inserted value: %1 is replaced by `argument` (whose own
// % signs are not interpreted), %% gives %, %n a line break, %t a tab, %0 ends the text.
std::wstring FormatMessage(std::wstring_view text, std::wstring_view argument);

// LoadString and FormatMessage together; nothing for an unknown id.
std::optional<std::wstring> LoadFormattedString(unsigned id, std::wstring_view argument);

}  // namespace Platform
