#include "cli/SigningChecks.h"

#include <fstream>

#include <unistd.h>

#include "core/PackageOptions.h"
#include "obfuscation/obscurity/SecureWipe.h"
#include "platform/ProgramSearch.h"
#include "platform/SecretInput.h"
#include "platform/TextConversion.h"

namespace {

constexpr std::wstring_view kTokenKey = L"pkcs11:";
// A password line longer than this is no password.
constexpr std::size_t kMaxPasswordLine = 4096;

bool Readable(const std::wstring& path)
{
    return !path.empty() && ::access(Platform::NarrowHostText(path).c_str(), R_OK) == 0;
}

std::wstring Lower(std::wstring text)
{
    for (auto& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

}  // namespace

std::optional<std::wstring> CheckSigningOptions(const PackageOptions& options)
{
    const bool pkcs12 = !options.GetSignPkcs12().empty();
    const bool certificate = !options.GetSignCertificate().empty();
    const std::wstring& key = options.GetSignKey();
    const bool tokenKey = Lower(key).starts_with(kTokenKey);
    if (pkcs12 && (certificate || !key.empty()))
        return L"give either -signpkcs12 or -signcert with -signkey, not both";
    if (!pkcs12 && !(certificate && !key.empty()))
        return L"signing needs -signpkcs12 FILE, or -signcert FILE with -signkey FILE (or a pkcs11: key)";
    if (tokenKey && options.GetSignModule().empty())
        return L"a key on a token (-signkey pkcs11:...) needs its PKCS#11 module: -signmodule LIB";
    if (!tokenKey && !options.GetSignModule().empty())
        return L"-signmodule serves only a key on a token (-signkey pkcs11:...)";
    const std::wstring lowerKey = Lower(key);
    if (tokenKey &&
        (lowerKey.find(L"pin-value") != std::wstring::npos || lowerKey.find(L"pin-source") != std::wstring::npos))
        return L"the token's PIN never goes on the command line: give it with -signpass FILE or -signpass -";
    for (const auto& [option, path] :
         {std::pair{L"-signpkcs12", options.GetSignPkcs12()}, std::pair{L"-signcert", options.GetSignCertificate()},
          std::pair{L"-signkey", tokenKey ? std::wstring() : key}, std::pair{L"-signmodule", options.GetSignModule()},
          std::pair{L"-signpass",
                    options.GetSignPasswordSource() == L"-" ? std::wstring() : options.GetSignPasswordSource()}})
        if (!path.empty() && !Readable(path))
            return std::wstring(L"the file of ") + option + L" cannot be read: " + path;
    const std::wstring timestamp = Lower(options.GetTimestampUrl());
    if (!timestamp.empty() && !timestamp.starts_with(L"http://") && !timestamp.starts_with(L"https://"))
        return L"the time-stamp server (-timestamp) must be an http:// or https:// URL: " + options.GetTimestampUrl();
    if (!Platform::FindProgramOnPath(L"osslsigncode"))
        return L"signing needs osslsigncode, which is not installed (Debian package osslsigncode)";
    return std::nullopt;
}

std::optional<std::wstring> ReadSigningPassword(PackageOptions& options)
{
    const std::wstring& source = options.GetSignPasswordSource();
    if (source.empty())
        return std::nullopt;
    // Owns the line read and overwrites it on every way out; the options keep their copy.
    struct WipedLine {
        std::string text;
        ~WipedLine() { TolvarSecurity::SecureWipe(text); }
    } read;
    std::string& line = read.text;
    if (source == L"-") {
        if (!Platform::ReadSecretLine("Signing key password: ", line, kMaxPasswordLine))
            return L"the signing password cannot be read from standard input";
        if (line.size() > kMaxPasswordLine)
            return L"the signing password from standard input is longer than any password";
    } else {
        std::ifstream file(Platform::NarrowHostText(source), std::ios::binary);
        line.resize(kMaxPasswordLine + 1);
        file.read(line.data(), static_cast<std::streamsize>(line.size()));
        if (file.bad() || !file.is_open())
            return L"the signing password cannot be read from " + source;
        line.resize(static_cast<std::size_t>(file.gcount()));
        if (const auto end = line.find('\n'); end != std::string::npos)
            line.resize(end);
        else if (line.size() > kMaxPasswordLine)
            return L"the signing password file " + source + L" holds no password line";
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    }
    if (line.empty())
        return L"the signing password from " + (source == L"-" ? std::wstring(L"standard input") : source) +
               L" is empty";
    options.SetSignPassword(line);
    return std::nullopt;
}
