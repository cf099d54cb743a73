#pragma once

#include <cstddef>
#include <string>

namespace Platform {

// Reads one line from standard input for a secret. When standard input is a
// terminal, the prompt goes to standard error and the typed characters are not
// echoed. The line end (LF, or CR LF) is not part of the line; the end of the
// input also ends it. The buffer never reallocates without overwriting the
// old block, so the caller only has to wipe `line` itself. False on a read error.
// Reading stops after `limit` + 1 bytes of the line, so a line longer than `limit` is seen
// as such without the rest of an endless input being read.
bool ReadSecretLine(const char* prompt, std::string& line, std::size_t limit);

}  // namespace Platform
