#include "platform/ArgumentText.h"

#include <string_view>

#include "platform/TextConversion.h"

namespace Platform {

std::wstring ArgumentText(int argc, const char* const argv[])
{
    std::string text;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (i > 1)
            text.push_back(' ');
        if (argument.empty() || argument.find_first_of(" \t") != std::string_view::npos) {
            text.push_back('"');
            text.append(argument);
            text.push_back('"');
        } else {
            text.append(argument);
        }
    }
    return WidenHostText(text);
}

}  // namespace Platform
