#pragma once

#include <filesystem>

namespace TestSupport {

// This test process's private scratch folder. Every program linked with the test support
// has one: the folder HALVEX_TEST_TMP names, or else a temporary folder made before any
// static object is constructed and removed at exit, with ProgramData and TEMP pointed
// inside it, so the program's log and work folders never touch the machine's real ones.
std::filesystem::path ScratchFolder();

}  // namespace TestSupport
