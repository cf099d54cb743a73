#pragma once

#include <optional>
#include <string>
#include <vector>

class CLogging;

// The files an administrator supplies for every package, the installer module and the
// configuration tool, are looked for in the configuration folder of an installed program
// first, then beside the program: the administrator's own files win over the shipped ones,
// and a package upgrade, which replaces what is beside the program, never touches them.

// The configuration folder that belongs to a program installed as <prefix>/lib/halvex:
// <prefix>/etc/halvex, except that a prefix named "usr" keeps it beside itself
// (/usr -> /etc/halvex, <root>/usr -> <root>/etc/halvex). Nothing for a program outside
// that layout, such as one run from its build folder.
std::optional<std::wstring> AdminConfigFolder(const std::wstring& programFolder);

// Every place the installer module 7zSD.sfx is looked for, in order.
std::vector<std::wstring> InstallerModulePlaces(const std::wstring& programFolder);
// Every place ConfigUpdate.exe is looked for, in order.
std::vector<std::wstring> ConfigToolPlaces(const std::wstring& programFolder);

// The first place that holds a file, named in the log. When none does, logs `what` with each
// place looked at and answers the last place (the one beside the program), so the step that
// reads it fails there as it always has.
std::wstring FindAdminFile(const std::vector<std::wstring>& places, const char* what, CLogging& log);
