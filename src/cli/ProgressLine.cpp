#include "cli/ProgressLine.h"

#include <cwchar>
#include <iterator>

namespace {

constexpr std::wstring_view kCutMark = L"...";
constexpr std::wstring_view kGap = L"  ";

}  // namespace

std::wstring ElapsedText(std::chrono::seconds elapsed)
{
    const long long total = elapsed.count();
    const long long hours = total / 3600;
    const long long minutes = total / 60 % 60;
    const long long seconds = total % 60;
    wchar_t text[32];
    if (hours > 0)
        std::swprintf(text, std::size(text), L"%lld:%02lld:%02lld", hours, minutes, seconds);
    else
        std::swprintf(text, std::size(text), L"%lld:%02lld", minutes, seconds);
    return text;
}

std::wstring ProgressLineText(std::wstring_view status, int percent, std::chrono::seconds elapsed, std::size_t columns)
{
    const std::wstring figures = std::to_wstring(percent) + L"%" + std::wstring(kGap) + ElapsedText(elapsed);
    const std::size_t room = columns > 0 ? columns - 1 : 0;
    if (figures.size() > room)
        return {};
    const std::size_t statusRoom = room - figures.size();
    if (status.size() + kGap.size() <= statusRoom)
        return std::wstring(status) + std::wstring(kGap) + figures;
    // Less than one character of the status beside the cut mark says nothing.
    if (statusRoom < kGap.size() + kCutMark.size() + 1)
        return figures;
    const std::size_t kept = statusRoom - kGap.size() - kCutMark.size();
    return std::wstring(status.substr(0, kept)) + std::wstring(kCutMark) + std::wstring(kGap) + figures;
}
