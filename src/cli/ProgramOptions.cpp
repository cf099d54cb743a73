#include "cli/ProgramOptions.h"

#include <algorithm>

const ProgramOption* FindProgramOption(std::wstring_view name)
{
    const auto found = std::find_if(kProgramOptions.begin(), kProgramOptions.end(),
                                    [name](const ProgramOption& option) { return option.name == name; });
    return found == kProgramOptions.end() ? nullptr : &*found;
}
