#pragma once

#include <optional>
#include <string>

class CLogging;
class PackageOptions;

// The checks of the values that point outside the program, shared by the command line and
// the dialog. Each answers true or false and writes its lines to the given log; none
// changes anything but the output probe's own temporary folder.

// The path is an existing folder holding the package marker "cidsync.upd". A path that
// names a file, or a folder that cannot be listed, raises the file-system error (logged
// first) to the caller.
bool CheckSourceFolder(const std::wstring& path, CLogging& log);

// The folder the package would be written to (the path itself when isFolder, else its
// parent) exists or can be created.
bool CheckOutputPackage(const std::wstring& path, bool isFolder, CLogging& log);

// The package would survive its own run: it is not named like the intermediate archive
// that the run deletes from the output folder, and lies neither inside the work folder
// that the run deletes nor inside the source folder or "KELDWIN" beside it, which the
// run packs. Logs why when it would not.
bool CheckOutputPlacement(const PackageOptions& options, CLogging& log);

// The package and its checksum file "<package>.sha256" can take their names in the output
// folder: each name fits the longest name its file system takes, and no folder is at
// either. Checked before any work, so a run never builds a package it cannot publish.
// Logs why when they cannot.
bool CheckOutputNames(const PackageOptions& options, CLogging& log);

// The path names an existing folder. Writes nothing; a file-system error other than
// "not found" reaches the caller.
bool IsExistingFolder(const std::wstring& path);

// The path ends with a separator, so it names a folder whether or not one exists yet.
bool NamesFolder(const std::wstring& path);

// The URL names an HTTP or HTTPS server and nothing more (a path of "/" at most).
bool CheckServerUrl(const std::wstring& url, CLogging& log);

// The location is a UNC path ("\\" first) or an HTTP URL with a path beyond "/".
bool CheckUpdateLocation(const std::wstring& location, CLogging& log);

// What the user has to correct: a string-table text and the value it names.
struct InputProblem {
    unsigned text;
    std::wstring value;
};

// The groups of checks both front ends run, each in the order its mode needs: the blank
// test first, then the check itself, whose log lines come before the caller reports the
// problem. Nothing when the value passes.

// The source folder (132 blank, 110). Raises what CheckSourceFolder raises.
std::optional<InputProblem> CheckSourceInput(const std::wstring& source, CLogging& log);

// The output package (133 blank, 111); first sets outputIsFolder from IsExistingFolder and
// NamesFolder. Includes CheckOutputPlacement and CheckOutputNames.
std::optional<InputProblem> CheckOutputInput(PackageOptions& options, CLogging& log);

// The management server URL (135 blank, 113).
std::optional<InputProblem> CheckServerInput(const std::wstring& url, CLogging& log);

// The primary update location (136 blank, 114); a blank location passes when blankAllowed.
std::optional<InputProblem> CheckPrimaryInput(const std::wstring& location, bool blankAllowed, CLogging& log);

// The secondary update location (137 blank, 130). The suite's own update service, "VESKOR",
// needs the customer's credentials instead of a format check (131).
std::optional<InputProblem> CheckSecondaryInput(const std::wstring& location, const std::wstring& userName,
                                                const std::wstring& password, CLogging& log);
