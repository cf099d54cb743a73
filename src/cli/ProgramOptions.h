#pragma once

#include <array>
#include <string_view>

// The program's own options: everything the parser recognises beside the setup parameters
// PackageOptions knows. The parser dispatches on this table, so the help text and its test
// can list every option from it.
enum class ProgramOptionId {
    Cli,
    CidPath,
    SfxPath,
    LorvOnly,
    NoCheck,
    NoDetect,
    Arch,
    SignPkcs12,
    SignCert,
    SignKey,
    SignModule,
    SignPass,
    Timestamp,
    SignDesc,
    SignUrl
};

struct ProgramOption {
    ProgramOptionId id;
    std::wstring_view name;  // lower case, as matched after lower-casing the argument
    bool takesValue;  // the next argument, when there is one, is its value
};

// In the order the parser compares them.
inline constexpr std::array<ProgramOption, 15> kProgramOptions = {{
    {ProgramOptionId::Cli, L"-cli", false},
    {ProgramOptionId::CidPath, L"-cidpath", true},
    {ProgramOptionId::SfxPath, L"-sfxpath", true},
    {ProgramOptionId::LorvOnly, L"-lorvonly", false},
    {ProgramOptionId::NoCheck, L"-nocheck", false},
    {ProgramOptionId::NoDetect, L"-nodetect", false},
    {ProgramOptionId::Arch, L"-arch", true},
    {ProgramOptionId::SignPkcs12, L"-signpkcs12", true},
    {ProgramOptionId::SignCert, L"-signcert", true},
    {ProgramOptionId::SignKey, L"-signkey", true},
    {ProgramOptionId::SignModule, L"-signmodule", true},
    {ProgramOptionId::SignPass, L"-signpass", true},
    {ProgramOptionId::Timestamp, L"-timestamp", true},
    {ProgramOptionId::SignDesc, L"-signdesc", true},
    {ProgramOptionId::SignUrl, L"-signurl", true},
}};

// The entry whose name is exactly `name`, or null.
const ProgramOption* FindProgramOption(std::wstring_view name);
