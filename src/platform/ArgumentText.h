#pragma once

#include <string>

namespace Platform {

// The program's arguments after its own name as one text, the way the argument parser
// reads a command line: joined by single spaces, an argument that is empty or holds a
// blank or a tab wrapped in double quotes, nothing else changed.
std::wstring ArgumentText(int argc, const char* const argv[]);

}  // namespace Platform
