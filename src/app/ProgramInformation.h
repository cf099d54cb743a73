#pragma once

#include <optional>
#include <string_view>

// What `halvex --help` and `halvex --version` print. Only one of these exact words as the
// only argument asks for it; every other argument list is a run's, parsed as always (an
// unknown switch goes on to the suite's setup).
std::optional<std::string_view> InformationRequested(int argc, const char* const* argv);

// The option reference: every option of the parser on a line of its own, then the exit codes.
std::string_view HelpText();
std::string_view VersionText();
