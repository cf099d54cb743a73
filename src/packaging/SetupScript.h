#pragma once

#include <cstddef>
#include <string>

#include "core/PackageOptions.h"

// Writes setup.vbs, the script the package runs on the client: it copies the unpacked
// package to a fixed temporary folder (a marker file keeps a second run out), runs the
// suite's setup with the chosen options, configures the update locations with
// ConfigUpdate.exe for an unmanaged package, and cleans up. Passwords are written only
// as obscured tokens; every other value is written so that it cannot end the VBScript
// string it sits in.
class CSetupScript {
public:
    explicit CSetupScript(const PackageOptions& options);

    // Writes setup.vbs into `workFolder` as a new file. 0, or the system error code; a
    // script that was not wholly written is not left behind.
    int WriteScript(const std::wstring& workFolder);

    // The length of the command line the script runs the suite's setup with on the client,
    // counting the longest temporary folder path a client can have (the script's own
    // arguments, unknown here, not counted). Windows runs at most 32,767 characters.
    std::size_t SetupCommandLength() const;

private:
    void AppendSetupOptions(std::wstring& script);
    std::wstring ConfigUpdateCommand(const std::wstring& location, const std::wstring& userName,
                                     const std::wstring& password, const std::wstring& index);

    PackageOptions options;
};
