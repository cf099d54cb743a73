#pragma once

#include <cstddef>
#include <string_view>

namespace Platform {

// Makes sure descriptors 0, 1 and 2 are open before the program opens any file, so a
// stream the starting process closed can never lend its number to the log or a package
// (a closed one is pointed at /dev/null and remembered as closed). Ignores SIGPIPE, so a
// write into a pipe nobody reads fails instead of ending the process.
void PrepareStandardStreams();

// Attaches the console reporter to standard output: false ("detached") when the process
// was started with standard output closed or open for reading only. After a false answer
// WriteStandardOutputLine writes nothing.
bool AttachStandardOutput();

// One line of host text on standard output, written at once; "\n" is appended. Errors are
// ignored and a broken pipe detaches the output for the rest of the run.
void WriteStandardOutputLine(std::wstring_view text);

// One line of host text on standard error, written at once; errors are ignored.
void WriteStandardErrorLine(std::wstring_view text);

// Whether standard error is a terminal, where a line can be rewritten in place.
bool StandardErrorIsTerminal();

// How many columns the terminal on standard error has now (the user may resize it
// during a run); 80 when it does not say.
std::size_t StandardErrorColumns();

// Host text on standard error as it is, without a line end, written at once. False when it
// could not be written whole (a closed or hung-up terminal, or a pipe nobody reads, which
// raises no SIGPIPE once PrepareStandardStreams ran).
bool WriteStandardError(std::string_view bytes);

}  // namespace Platform
