#pragma once

#include <memory>
#include <string>

namespace Obscurity {

class IObscurity;

// Turns passwords into obscured tokens and back. A token is the Base64 text of
// the obscured bytes; the plain bytes inside are the password's UTF-16LE code
// units.
//
// Every operation replaces its output string, and leaves it untouched when it
// throws: ObscurityException for what the obscuring refuses, a
// TolvarSecurity::SecurityException subclass for inconsistent data, memory and
// the random generator.
class Obfuscation {
public:
    Obfuscation();
    virtual ~Obfuscation();

    Obfuscation(const Obfuscation&) = delete;
    Obfuscation& operator=(const Obfuscation&) = delete;

    void obscure(const std::wstring& password, std::string& token);
    // Characters outside the Base64 alphabet and "=" (spaces, line breaks) are ignored.
    void reveal(const std::string& token, std::wstring& password);

private:
    std::unique_ptr<IObscurity> implementation;
};

}  // namespace Obscurity
