#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Platform {

// The ids of the program's numbered user-facing texts, named after what each says.
namespace TextId {
enum : unsigned {
    AboutMenu = 101,
    StatusSelecting = 103,
    StatusCopying = 104,
    StatusScript = 105,
    StatusArchive = 106,
    StatusCleaning = 107,
    StatusComplete = 108,
    StatusFailed = 109,
    InvalidSource = 110,
    InvalidOutput = 111,
    InvalidServerUrl = 113,
    InvalidPrimaryLocation = 114,
    BuildComplete = 115,
    BuildFailed = 116,
    Caption = 117,
    ErrorHeading = 118,
    OutputTitle = 119,
    SourceTitle = 120,
    ExecutableFilter = 121,
    PrimaryLocationTitle = 122,
    SecondaryLocationTitle = 123,
    InvalidSecondaryLocation = 130,
    BlankCredentials = 131,
    BlankSource = 132,
    BlankOutput = 133,
    BlankServerUrl = 135,
    BlankPrimaryLocation = 136,
    BlankSecondaryLocation = 137,
    MissingComponents = 142,
};
}  // namespace TextId

// The program's numbered user-facing texts (the ids above); nothing for an unknown id.
std::optional<std::wstring> LoadString(unsigned id);

// Message formatting with one inserted value: %1 is replaced by `argument` (whose own
// % signs are not interpreted), %% gives %, %n a line break, %t a tab, %0 ends the text.
std::wstring FormatMessage(std::wstring_view text, std::wstring_view argument);

// LoadString and FormatMessage together; nothing for an unknown id.
std::optional<std::wstring> LoadFormattedString(unsigned id, std::wstring_view argument);

}  // namespace Platform
