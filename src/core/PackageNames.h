#pragma once

#include <cstddef>

// A fixed ASCII name, spelled once and held both as narrow (host) text and as wide text.
template <std::size_t Size>
struct FixedName {
    consteval FixedName(const char (&text)[Size])
    {
        for (std::size_t index = 0; index < Size; ++index) {
            narrow[index] = text[index];
            wide[index] = static_cast<wchar_t>(text[index]);
        }
    }

    char narrow[Size]{};
    wchar_t wide[Size]{};
};

// The names the command line's checks, the packaging engine and the package reader must
// agree on.

// The work folder's name inside the temporary base.
inline constexpr FixedName kWorkFolderName("Halvex");
// The intermediate archive an earlier run may have left in the output folder.
inline constexpr FixedName kArchiveName("halvex_archive.7z");
// The package's name when the output names a folder.
inline constexpr FixedName kDefaultPackageName("VeskorEndpoint.exe");
// The exploit-prevention folder beside the CID, and its place in a package.
inline constexpr FixedName kExploitPreventionFolderName("KELDWIN");
// The file that marks a folder as a CID.
inline constexpr FixedName kCidMarkerName("cidsync.upd");
// The script the package runs on the client.
inline constexpr FixedName kSetupScriptName("setup.vbs");
// The folder the package unpacks into inside the client's temporary folder.
inline constexpr FixedName kClientFolderName("halvex_temp");
