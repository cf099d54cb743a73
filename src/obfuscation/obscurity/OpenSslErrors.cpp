#include "obfuscation/obscurity/OpenSslErrors.h"

#include <openssl/err.h>

namespace TolvarSecurity {

std::string OpenSslErrorList()
{
    std::string list;
    const char* file = nullptr;
    int line = 0;
    const char* data = nullptr;
    int flags = 0;
    // OpenSSL 3 loads its error texts on its own; no explicit loading is needed.
    while (const unsigned long code = ERR_get_error_all(&file, &line, nullptr, &data, &flags)) {
        char text[512];
        ERR_error_string_n(code, text, sizeof text);
        list += "[";
        list += text;
        list += ":at=";
        list += file ? file : "";
        list += ":" + std::to_string(line) + ":data=";
        list += data ? data : "";
        list += ":flags=" + std::to_string(flags) + "]";
    }
    return list;
}

}  // namespace TolvarSecurity
