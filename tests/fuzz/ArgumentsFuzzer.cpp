// The argument parser, in both forms: the input as argument text (the dialog's field) and
// as an argument vector (NUL bytes separate the arguments). For a vector without a double
// quote, the parse must end as the parse of its joined text did.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CommandLineParser.h"
#include "core/Logging.h"
#include "core/PackageOptions.h"

namespace {

struct Outcome {
    bool threw = false;
    PackageOptions options;
};

template <typename Arguments>
Outcome Parse(const Arguments& arguments)
{
    Outcome outcome;
    try {
        ParseArguments(arguments, outcome.options, GetLogging());
    } catch (const std::exception&) {
        // An unusable -opwd token ends the parse; the program's handler takes it from there.
        outcome.threw = true;
    }
    return outcome;
}

bool SameOptions(const PackageOptions& a, const PackageOptions& b)
{
    return a.GetSetupParameters() == b.GetSetupParameters() && a.GetSourceFolder() == b.GetSourceFolder() &&
           a.GetOutputPackage() == b.GetOutputPackage() && a.GetPrimaryUserName() == b.GetPrimaryUserName() &&
           a.GetPrimaryPassword() == b.GetPrimaryPassword() &&
           a.GetPrimaryUpdateLocation() == b.GetPrimaryUpdateLocation() &&
           a.GetManagementServerUrl() == b.GetManagementServerUrl() && a.GetManaged() == b.GetManaged() &&
           a.GetPatch() == b.GetPatch() && a.GetSilent() == b.GetSilent() &&
           a.GetNonInteractive() == b.GetNonInteractive() && a.GetCommandLineMode() == b.GetCommandLineMode() &&
           a.GetInclude32Bit() == b.GetInclude32Bit() && a.GetInclude64Bit() == b.GetInclude64Bit() &&
           a.GetIncludeComponents() == b.GetIncludeComponents() && a.GetSkipChecks() == b.GetSkipChecks();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    Parse(std::string(input));

    std::vector<std::string> arguments;
    std::string joined;
    for (std::size_t start = 0; start <= input.size();) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        arguments.emplace_back(input.substr(start, end - start));
        start = end + 1;
    }
    const Outcome fromVector = Parse(arguments);
    if (input.find('"') != std::string_view::npos)
        return 0;
    for (const auto& argument : arguments) {
        if (!joined.empty())
            joined += ' ';
        joined +=
            argument.empty() || argument.find_first_of(" \t") != std::string::npos ? '"' + argument + '"' : argument;
    }
    const Outcome fromText = Parse(joined);
    if (fromVector.threw != fromText.threw || !SameOptions(fromVector.options, fromText.options))
        std::abort();
    return 0;
}
