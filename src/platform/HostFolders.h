#pragma once

#include <string>

namespace Platform {

// The folder that holds the running executable, without a trailing separator.
std::wstring ProgramFolder();

// The machine-wide application-data folder: $ProgramData when set and not empty,
// else /var/lib when writable, else $XDG_STATE_HOME, else ~/.local/state.
std::wstring CommonAppDataFolder();

// The base of the work folder: $TEMP, else $TMPDIR (each only when set, not empty
// and absolute), else /tmp. Never empty and never relative.
std::wstring TempBase();

}  // namespace Platform
