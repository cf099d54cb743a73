#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a client gets from one package, read from the package without running anything in
// it: the installer module, its configuration, the setup command line the client script
// runs, the components, the checksum file beside it and the Authenticode signature.
// Text is UTF-8.

struct SetupSwitch {
    // The switch and its value as setup receives them; a password token shows as "set".
    std::string text;
    std::string meaning;
};

struct UpdateLocation {
    std::string role;  // "primary" or "secondary"
    std::string location;
    std::string userName;
    bool passwordSet = false;
    // "setup" (-updp, -user, -opwd) or "ConfigUpdate.exe".
    std::string configuredBy;
};

struct ComponentContents {
    std::string folder;  // as packed, such as "NORDAVIN/torqel" or "KELDWIN/pexo"
    std::string name;
    std::string architecture;  // "32-bit", "64-bit" or empty
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

struct ExitCodeMeaning {
    std::string code;  // a number, or "setup's exit code", ...
    std::string meaning;
};

struct SignatureReport {
    // "absent", "valid", "invalid" or "unchecked"
    std::string state = "absent";
    std::string signer;
    std::string issuer;
    std::string timeStamp;
    std::string reason;
};

struct PackageReport {
    std::string path;
    std::uint64_t size = 0;
    std::string sha256;

    std::string checksumFile;
    std::string checksumState;  // "matches", "differs", "absent" or "unreadable"

    std::uint64_t moduleSize = 0;
    std::string moduleSha256;
    // "yes", "no", or "unknown" when no installed module was found to compare with.
    std::string moduleInstalled;
    std::string installedModulePath;

    std::string sfxConfig;

    std::string setupCommandLine;
    std::vector<SetupSwitch> setupSwitches;
    bool passesPackageArguments = false;
    bool managed = false;
    std::string managementServer;
    std::vector<UpdateLocation> updateLocations;
    bool configToolIncluded = false;

    std::vector<ComponentContents> components;
    std::vector<std::string> architectures;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;

    SignatureReport signature;
    std::vector<ExitCodeMeaning> exitCodes;

    // What does not check out; the package is reported, but it is not in order.
    std::vector<std::string> problems;
};

struct InspectionSettings {
    std::wstring package;
    // Trusted certificates for the signature and its time stamp besides the system's.
    std::wstring caFile;
    // The program folder: the archiver is its 7za/7za, the installed module is looked
    // for from it as halvex looks for it.
    std::wstring programFolder;
};

struct Inspection {
    std::optional<PackageReport> report;
    // Why the file is not read as a package at all.
    std::string failure;
};

Inspection InspectPackage(const InspectionSettings& settings);
