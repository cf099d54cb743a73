#include "core/PackageOptions.h"

#include <utility>

PackageOptions::PackageOptions()
{
    // The setup parameter names the parser recognises, and whether each takes a value.
    static constexpr std::pair<const wchar_t*, bool> known[] = {
        {L"-mng", true},     {L"-wofa", false}, {L"-pexo", false}, {L"-patch", true}, {L"-updp", true},
        {L"-user", true},    {L"-pwd", true},   {L"-ouser", true}, {L"-opwd", true},  {L"-mngcfg", true},
        {L"-g", true},       {L"-group", true}, {L"-s", false},    {L"-ni", false},   {L"-login", false},
        {L"-rlogin", false}, {L"-bexu", true},
    };
    for (const auto& [name, takesValue] : known)
        knownSetupParameters.emplace(name, takesValue);
}
