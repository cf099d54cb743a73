#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The URL schemes a location can name; the value is the scheme's position in the table.
enum class UrlScheme { Ftp = 0, Gopher, Http, Https, File, News, Mailto, Socks, Unknown };

// The pieces of a cracked URL, each percent-decoded.
struct UrlParts {
    std::wstring schemeName;
    UrlScheme scheme = UrlScheme::Unknown;
    std::wstring hostName;
    std::uint16_t port = 0;
    std::wstring userName;
    std::wstring password;
    std::wstring urlPath;
    std::wstring extraInfo;  // query and fragment, beginning with its "?" or "#"
};

// Splits a URL into its parts; nothing when the text is no URL this program can read: no
// scheme, a second "@", a password without a user name, "mailto://", a port above 65535, a
// part over its length limit, or a "%" not followed by two hexadecimal digits (or "%00").
std::optional<UrlParts> CrackUrl(const std::wstring& text);
