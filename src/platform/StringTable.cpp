#include "platform/StringTable.h"

#include <map>

namespace Platform {
namespace {

const std::map<unsigned, std::wstring_view>& Table()
{
    static const std::map<unsigned, std::wstring_view> table = {
        {TextId::AboutMenu, L"&About Zastrel..."},
        {TextId::StatusSelecting, L"Establishing package components to transfer..."},
        {TextId::StatusCopying, L"Copying package data and ConfigUpdate tool to local machine..."},
        {TextId::StatusScript, L"Creating setup configuration script..."},
        {TextId::StatusArchive, L"Creating the final self-extracting archive..."},
        {TextId::StatusCleaning, L"Cleaning up package components from local machine..."},
        {TextId::StatusComplete, L"Package generation complete."},
        {TextId::StatusFailed, L"Package generation failed. See log for details."},
        {TextId::InvalidSource, L"Source folder \"%1\" must point to a software distribution location."},
        {TextId::InvalidOutput, L"Output package path \"%1\" is invalid."},
        {TextId::InvalidServerUrl,
         L"Management server URL \"%1\" is not in the correct format. Enter an HTTP location and try again."},
        {TextId::InvalidPrimaryLocation,
         L"Primary update location \"%1\" is not in the correct format. Enter either a UNC folder path or HTTP "
         L"location and try again."},
        {TextId::BuildComplete, L"Package generation complete."},
        {TextId::BuildFailed, L"Package generation failed. See \"%1\" for details."},
        {TextId::Caption, L"Veskor Zastrel"},
        {TextId::ErrorHeading, L"The following error was found:"},
        {TextId::OutputTitle, L"Destination package"},
        {TextId::SourceTitle, L"Source folder"},
        {TextId::ExecutableFilter, L"Executable files (*.exe)|*.exe||"},
        {TextId::PrimaryLocationTitle, L"Primary update location"},
        {TextId::SecondaryLocationTitle, L"Secondary update location"},
        {TextId::InvalidSecondaryLocation,
         L"Secondary update location \"%1\" is not in the correct format. Enter either a UNC folder path or HTTP "
         L"location and try again."},
        {TextId::BlankCredentials, L"Your Veskor username and password cannot be blank."},
        {TextId::BlankSource, L"Source folder cannot be blank. Enter a software distribution location and try again."},
        {TextId::BlankOutput, L"Output package cannot be blank. Enter a folder path and try again."},
        {TextId::BlankServerUrl, L"Management server URL cannot be blank. Enter an HTTP location and try again."},
        {TextId::BlankPrimaryLocation,
         L"Primary update location cannot be blank. Enter a UNC folder path or HTTP location and try again."},
        {TextId::BlankSecondaryLocation,
         L"Secondary update location cannot be blank. Enter a UNC folder path or HTTP location and try again."},
        {TextId::MissingComponents,
         L"One or more selected features or components are not available in source folder \"%1\". Choose a different "
         L"source folder and try again."},
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
        case L'1':
            result.append(argument);
            break;
        case L'0':
            return result;
        case L'n':
            result.append(L"\r\n");
            break;
        case L't':
            result.push_back(L'\t');
            break;
        default:
            result.push_back(next);
            break;  // %%, %. and the like: the character itself
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
