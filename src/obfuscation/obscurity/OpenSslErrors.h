#pragma once

#include <string>

namespace TolvarSecurity {

// Drains the calling thread's OpenSSL error queue into one text, an entry per
// error: "[<error string>:at=<file>:<line>:data=<data>:flags=<flags>]".
// An empty queue gives an empty text.
std::string OpenSslErrorList();

}  // namespace TolvarSecurity
