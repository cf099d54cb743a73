#pragma once

#include <string>

// Where a run keeps the lock on its work folder: in a folder of the user's own beside the
// log ("Veskor/Zastrel/Lock" under the application-data folder), never in the shared
// temporary folder, where anyone could make a file of that name first. The file is named
// after the folder the work folder is in, however that is spelt, so only runs that would
// share a work folder meet. Empty when there is no application-data folder.
std::wstring RunLockFile(const std::wstring& workFolder);
