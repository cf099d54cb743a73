#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Splits a command line into the arguments a Windows program receives from it:
// blanks (space, tab) separate arguments outside double quotes; 2n backslashes before
// a quote give n backslashes and the quote groups, 2n+1 give n backslashes and a literal
// quote; "" inside quotes is a literal quote; other backslashes stand for themselves.
// The first argument (the program) ends at the next quote when it starts with one, else
// at the first blank, and knows no escapes.
std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine);

}  // namespace Platform
