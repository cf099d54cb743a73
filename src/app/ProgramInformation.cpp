#include "app/ProgramInformation.h"

namespace {

constexpr std::string_view kHelp =
    "Usage: halvex [OPTION]...\n"
    "       halvex -cli -cidpath FOLDER -sfxpath PATH [OPTION]...\n"
    "       halvex --help | --version\n"
    "Builds one self-extracting Windows installer of the Veskor endpoint-security\n"
    "suite from its distribution folder (the CID, the folder holding cidsync.upd).\n"
    "Without -cli a dialog opens with the options filled in. Option names match in\n"
    "any case; values are kept as given.\n"
    "\n"
    "Program options:\n"
    "  -cli               build without the dialog; status lines on standard output\n"
    "  -cidpath FOLDER    the CID to build from\n"
    "  -sfxpath PATH      the package to write, or a folder for VeskorEndpoint.exe\n"
    "  -arch 32bit|64bit  only the 32-bit or only the 64-bit components\n"
    "  -lorvonly          leave the components out; auto-update downloads them\n"
    "  -nocheck           skip every check of the options\n"
    "  -nodetect          accepted and logged; the package carries nothing for it\n"
    "Signing options (Authenticode, by osslsigncode; the key's password never as a\n"
    "value, never logged):\n"
    "  -signpkcs12 FILE   sign with the key and certificates in a PKCS#12 file\n"
    "  -signcert FILE     or with this certificate (PEM, its chain after it)...\n"
    "  -signkey KEY       ...and its key: a PEM file, or pkcs11:... on a token\n"
    "  -signmodule LIB    the token's PKCS#11 module, for a pkcs11: key\n"
    "  -signpass FILE|-   the key's password or PIN: FILE's first line, or stdin\n"
    "  -timestamp URL     an RFC 3161 time-stamp server\n"
    "  -signdesc TEXT     the signature's description (Veskor Endpoint Setup)\n"
    "  -signurl URL       the signature's URL (the management server, if any)\n"
    "Setup options, for the suite's setup on the client:\n"
    "  -s                 silent setup (wins over -ni)\n"
    "  -ni                non-interactive setup\n"
    "  -mng yes|no        managed for yes, ye or y; else unmanaged, ConfigUpdate.exe\n"
    "  -wofa              include the client firewall\n"
    "  -pexo              include exploit prevention (KELDWIN beside the CID)\n"
    "  -patch URL         include the patch agent; URL of the management server\n"
    "  -updp LOCATION     the primary update location\n"
    "  -user NAME         the user name for the primary update location\n"
    "  -opwd TOKEN        its password, as the token halvex-obscure prints\n"
    "  -pwd PASSWORD      its password in plain text, seen by every local user\n"
    "  -ouser VALUE       accepted and ignored\n"
    "  -mngcfg VALUE      passed to setup with its value\n"
    "  -g VALUE           passed to setup with its value (the first -g counts)\n"
    "  -group VALUE       passed to setup with its value\n"
    "  -bexu VALUE        passed to setup with its value\n"
    "  -login             passed to setup\n"
    "  -rlogin            passed to setup\n"
    "Any other -switch goes to setup as it is, with the argument after it as its\n"
    "value unless that begins with -: a misspelt option is no error, so check the\n"
    "log for \"Unknown argument\". A /switch is accepted and dropped.\n"
    "\n"
    "Exit status:\n"
    "  0   the package was built (-cli), or the dialog was closed\n"
    "  82  the options are missing or wrong, the build failed, or an error occurred\n"
    "\n"
    "Log: Veskor/Zastrel/Log/log.txt under $ProgramData, else /var/lib, else\n"
    "~/.local/state (log-2.txt, ... while another run writes it). The installer\n"
    "module 7zSD.sfx and ConfigUpdate.exe are taken from /etc/halvex when there,\n"
    "else from beside the program. See halvex(1).\n";

constexpr std::string_view kVersion = "halvex " HALVEX_VERSION
                                      "\n"
                                      "Copyright 2026 The Halvex developers; the Expat (MIT) licence.\n"
                                      "Installer module 7zSD.sfx: 7-Zip " HALVEX_7ZIP_VERSION
                                      " (SFX for installers),\n"
                                      "GNU LGPL 2.1 or later. See /usr/share/doc/halvex/copyright.\n";

}  // namespace

std::optional<std::string_view> InformationRequested(int argc, const char* const* argv)
{
    if (argc != 2)
        return std::nullopt;
    const std::string_view argument = argv[1];
    if (argument == "--help")
        return HelpText();
    if (argument == "--version")
        return VersionText();
    return std::nullopt;
}

std::string_view HelpText()
{
    return kHelp;
}

std::string_view VersionText()
{
    return kVersion;
}
