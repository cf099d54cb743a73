#pragma once

#include <string>

class CLogging;

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

// The path names an existing folder. Writes nothing; a file-system error other than
// "not found" reaches the caller.
bool IsExistingFolder(const std::wstring& path);

// The URL names an HTTP or HTTPS server and nothing more (a path of "/" at most).
bool CheckServerUrl(const std::wstring& url, CLogging& log);

// The location is a UNC path ("\\" first) or an HTTP URL with a path beyond "/".
bool CheckUpdateLocation(const std::wstring& location, CLogging& log);
