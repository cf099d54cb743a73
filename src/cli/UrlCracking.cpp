#include "cli/UrlCracking.h"

#include <array>
#include <string_view>

#include "core/AsciiLowerCase.h"
#include "platform/TextConversion.h"

namespace {

struct SchemeRow {
    std::wstring_view name;
    std::uint16_t defaultPort;
};

constexpr std::array<SchemeRow, 8> kSchemes = {{
    {L"ftp", 21},
    {L"gopher", 70},
    {L"http", 80},
    {L"https", 443},
    {L"file", 0},
    {L"news", 0},
    {L"mailto", 0},
    {L"socks", 1080},
}};

constexpr std::size_t kSchemeLimit = 32;
constexpr std::size_t kHostLimit = 256;
constexpr std::size_t kUserLimit = 128;
constexpr std::size_t kPasswordLimit = 128;
constexpr std::size_t kPathLimit = 2048;
constexpr std::size_t kExtraLimit = 2048;
constexpr std::size_t kPortTextLimit = 128;
constexpr std::size_t kRunLimit = 2088;

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Percent-decodes the UTF-8 form of a component and reads the bytes back as UTF-8.
std::optional<std::wstring> Decode(std::wstring_view component, std::size_t limit)
{
    if (component.size() > kRunLimit)
        return std::nullopt;
    const std::string bytes = Platform::NarrowHostText(component);
    std::string decoded;
    decoded.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '%') {
            decoded.push_back(bytes[i]);
            continue;
        }
        if (i + 2 >= bytes.size())
            return std::nullopt;
        const int high = HexValue(bytes[i + 1]);
        const int low = HexValue(bytes[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0))
            return std::nullopt;
        decoded.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    std::wstring result = Platform::WidenHostText(decoded);
    if (result.size() > limit)
        return std::nullopt;
    return result;
}

}  // namespace

std::optional<UrlParts> CrackUrl(const std::wstring& text)
{
    UrlParts parts;
    const std::wstring_view url = text;

    // Scheme: up to the first ":" outside square brackets; a "/" or "?" before it is fatal.
    std::size_t colon = std::wstring_view::npos;
    bool inBrackets = false;
    for (std::size_t i = 0; i < url.size(); ++i) {
        const wchar_t c = url[i];
        if (c == L'[')
            inBrackets = true;
        else if (c == L']')
            inBrackets = false;
        else if (!inBrackets && (c == L'/' || c == L'?'))
            return std::nullopt;
        else if (!inBrackets && c == L':') {
            colon = i;
            break;
        }
    }
    if (colon == std::wstring_view::npos || colon > kSchemeLimit)
        return std::nullopt;
    parts.schemeName = std::wstring(url.substr(0, colon));
    std::uint16_t defaultPort = 0;
    const std::wstring lowerScheme = AsciiLowerCase(parts.schemeName);
    for (std::size_t kind = 0; kind < kSchemes.size(); ++kind) {
        if (lowerScheme == kSchemes[kind].name) {
            parts.scheme = static_cast<UrlScheme>(kind);
            defaultPort = kSchemes[kind].defaultPort;
            break;
        }
    }

    // Where the host part begins, if there is one.
    std::size_t position = colon + 1;
    bool hasHost = true;
    if (url.substr(position, 2) == L"//") {
        if (parts.scheme == UrlScheme::Mailto)
            return std::nullopt;
        position += 2;
    } else if (url.substr(position, 1) == L"/") {
        hasHost = false;
    }
    if (parts.scheme == UrlScheme::File)
        hasHost = false;

    std::wstring_view rest = url.substr(position);
    std::optional<std::uint16_t> port;
    if (hasHost) {
        // The host part ends where the path, the query or the fragment begins.
        const std::size_t end = rest.find_first_of(L"/?#");
        const std::wstring_view hostPart = rest.substr(0, end);
        rest = end == std::wstring_view::npos ? std::wstring_view() : rest.substr(end);

        std::wstring_view hostAndPort = hostPart;
        const std::size_t at = hostPart.find(L'@');
        if (at != std::wstring_view::npos) {
            if (hostPart.find(L'@', at + 1) != std::wstring_view::npos)
                return std::nullopt;
            const std::wstring_view userInfo = hostPart.substr(0, at);
            const std::size_t separator = userInfo.find(L':');
            const std::wstring_view user = userInfo.substr(0, separator);
            if (separator != std::wstring_view::npos) {
                if (user.empty())
                    return std::nullopt;
                const auto password = Decode(userInfo.substr(separator + 1), kPasswordLimit);
                if (!password)
                    return std::nullopt;
                parts.password = *password;
            }
            const auto userName = Decode(user, kUserLimit);
            if (!userName)
                return std::nullopt;
            parts.userName = *userName;
            hostAndPort = hostPart.substr(at + 1);
        }

        std::size_t portColon = std::wstring_view::npos;
        if (!hostAndPort.empty() && hostAndPort.front() == L'[') {
            const std::size_t close = hostAndPort.find(L']');
            if (close != std::wstring_view::npos)
                portColon = hostAndPort.find(L':', close);
        } else {
            portColon = hostAndPort.find(L':');
        }
        const auto hostName = Decode(hostAndPort.substr(0, portColon), kHostLimit);
        if (!hostName)
            return std::nullopt;
        parts.hostName = *hostName;
        if (portColon != std::wstring_view::npos) {
            const std::wstring_view portText = hostAndPort.substr(portColon + 1);
            if (portText.size() > kPortTextLimit)
                return std::nullopt;
            unsigned long value = 0;
            bool anyDigit = false;
            for (const wchar_t c : portText) {
                if (c < L'0' || c > L'9')
                    break;
                anyDigit = true;
                value = value * 10 + static_cast<unsigned long>(c - L'0');
                if (value > 65535)
                    return std::nullopt;
            }
            if (anyDigit)
                port = static_cast<std::uint16_t>(value);
        }
    }
    parts.port = port.value_or(defaultPort);

    // Path, then the query or fragment (a file path runs to the end).
    const std::size_t extra = parts.scheme == UrlScheme::File ? std::wstring_view::npos : rest.find_first_of(L"?#");
    const auto path = Decode(rest.substr(0, extra), kPathLimit);
    if (!path)
        return std::nullopt;
    parts.urlPath = *path;
    if (extra != std::wstring_view::npos) {
        const auto extraInfo = Decode(rest.substr(extra), kExtraLimit);
        if (!extraInfo)
            return std::nullopt;
        parts.extraInfo = *extraInfo;
    }
    return parts;
}
