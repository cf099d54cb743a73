#pragma once

#include <string_view>

namespace Platform {

// Asks the desktop to open an address (a web page in the user's browser, a file with
// its usual program). Returns whether the desktop took the request; needs a running
// graphical session.
bool ShellOpen(std::wstring_view address);

}  // namespace Platform
