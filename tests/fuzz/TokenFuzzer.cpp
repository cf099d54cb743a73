// The token path: Base64 decoding and revealing a token, as an -opwd value reaches them;
// and, for the same bytes read as a password, obscuring and revealing it again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "obfuscation/obscurity/Base64.h"
#include "obfuscation/obscurity/Obfuscation.h"
#include "platform/TextConversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::vector<unsigned char> bytes(size);
    std::size_t length = bytes.size();
    if (!Obscurity::Base64Decode(text.data(), text.size(), bytes.data(), length) || length > size)
        std::abort();

    Obscurity::Obfuscation obfuscation;
    std::wstring revealed = L"untouched";
    try {
        obfuscation.reveal(text, revealed);
    } catch (const std::exception&) {
        // Refused tokens raise; the output must then be left as it was.
        if (revealed != L"untouched")
            std::abort();
    }

    // Bytes as a password: whatever the user typed must come back from its token. An empty
    // password is never obscured: it travels as no token at all.
    const std::wstring password = Platform::WidenHostText(text);
    if (password.empty())
        return 0;
    std::string token;
    obfuscation.obscure(password, token);
    std::wstring back;
    obfuscation.reveal(token, back);
    if (back != password)
        std::abort();
    return 0;
}
