#include "platform/StringTable.h"

#include <map>

namespace Platform {
namespace {

const std::map<unsigned, std::wstring_view>& Table()
{
    static const std::map<unsigned, std::wstring_view> table = {
        {101, L"&About Zastrel..."},
        {103, L"Establishing package components to transfer..."},
        {104, L"Copying package data and ConfigUpdate tool to local machine..."},
        {105, L"Creating setup configuration script..."},
        {106, L"Creating the final self-extracting archive..."},
        {107, L"Cleaning up package components from local machine..."},
        {108, L"Package generation complete."},
        {109, L"Package generation failed. See log for details."},
        {110, L"Source folder \"%1\" must point to a software distribution location."},
        {111, L"Output package path \"%1\" is invalid."},
        {113, L"Management server URL \"%1\" is not in the correct format. Enter an HTTP location and try again."},
        {114, L"Primary update location \"%1\" is not in the correct format. Enter either a UNC folder path or HTTP location and try again."},
        {115, L"Package generation complete."},
        {116, L"Package generation failed. See \"%1\" for details."},
        {117, L"Veskor Zastrel"},
        {118, L"The following error was found:"},
        {119, L"Destination package"},
        {120, L"Source folder"},
        {121, L"Executable files (*.exe)|*.exe||"},
        {122, L"Primary update location"},
        {123, L"Secondary update location"},
        {130, L"Secondary update location \"%1\" is not in the correct format. Enter either a UNC folder path or HTTP location and try again."},
        {131, L"Your Veskor username and password cannot be blank."},
        {132, L"Source folder cannot be blank. Enter a software distribution location and try again."},
        {133, L"Output package cannot be blank. Enter a folder path and try again."},
        {135, L"Management server URL cannot be blank. Enter an HTTP location and try again."},
        {136, L"Primary update location cannot be blank. Enter a UNC folder path or HTTP location and try again."},
        {137, L"Secondary update location cannot be blank. Enter a UNC folder path or HTTP location and try again."},
        {142, L"One or more selected features or components are not available in source folder \"%1\". Choose a different source folder and try again."},
    };
    return table;
}

}  // namespace

std::optional<std::wstring> LoadString(unsigned id)
{
    const auto& table = Table();
    const auto entry = table.find(id);
    if (entry == table.end())
        return std::nullopt;
    return std::wstring(entry->second);
}

std::wstring FormatMessage(std::wstring_view text, std::wstring_view argument)
{
    std::wstring result;
    result.reserve(text.size() + argument.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%' || i + 1 == text.size()) {
            result.push_back(text[i]);
            continue;
        }
        const wchar_t next = text[++i];
        switch (next) {
        case L'1': result.append(argument); break;
        case L'0': return result;
        case L'n': result.append(L"\r\n"); break;
        case L't': result.push_back(L'\t'); break;
        default: result.push_back(next); break;  // %%, %. and the like: the character itself
        }
    }
    return result;
}

std::optional<std::wstring> LoadFormattedString(unsigned id, std::wstring_view argument)
{
    auto text = LoadString(id);
    if (!text)
        return std::nullopt;
    return FormatMessage(*text, argument);
}

}  // namespace Platform
