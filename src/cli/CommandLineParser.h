#pragma once

#include <string>
#include <vector>

class CLogging;
class PackageOptions;

// The command line of one run: parses the program's arguments into the options, makes sure
// an architecture is selected, runs the first checks, and carries whether every check passed.
class CommandLineParser {
public:
    // The arguments as the program received them after its own name, one argument one
    // token. Raises what ParseArguments raises (an unusable -opwd token) and the
    // file-system errors the checks pass on.
    CommandLineParser(const std::vector<std::string>& arguments, PackageOptions& options);

    // The full checks of a command-line run; every failed group leaves its text in the log.
    void Validate(PackageOptions& options);
    bool IsValid() const;

private:
    void RunConstructionChecks(PackageOptions& options);
    void ValidatePackageInput(PackageOptions& options);

    CLogging& log;
    bool valid;
};

// Splits host text into tokens at spaces and tabs; a double quote that opens a token runs
// it to the next double quote, blanks included. There is no escape character.
std::vector<std::string> SplitArguments(const std::string& text);

// Applies every argument to the options, left to right, and logs each one it recognises.
// Raises std::runtime_error (or what the password library raises) for an -opwd value that
// cannot be revealed; the arguments after it are then not applied.
void ParseArguments(const std::vector<std::string>& arguments, PackageOptions& options, CLogging& log);

// The same for arguments typed as one text (the dialog's additional parameters), split by
// SplitArguments.
void ParseArguments(const std::string& text, PackageOptions& options, CLogging& log);
