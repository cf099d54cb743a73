#include "support/TestFolder.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace {

// The folder this process made for itself, and the process that may remove it: a child
// made by fork() that calls exit() must not take the folder from under its parent. Plain
// data, so nothing constructs or destroys it around the functions below.
char ownFolder[PATH_MAX];
pid_t owner = 0;

void RemoveOwnFolder()
{
    if (::getpid() != owner)
        return;
    std::error_code ignored;
    std::filesystem::remove_all(ownFolder, ignored);
}

// Runs before the ordinary static initialisers of this statically linked program, among
// them the program's log, which opens its file under ProgramData as it is constructed.
__attribute__((constructor(101))) void MakePrivateFolders()
{
    if (std::getenv("HALVEX_TEST_TMP") != nullptr)
        return;  // tests/run-isolated.sh or a parent test process already made one
    const char* base = std::getenv("TMPDIR");
    const std::string folder = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/halvex-test.XXXXXX";
    if (folder.size() >= sizeof ownFolder) {
        std::fprintf(stderr, "cannot make a private test folder: TMPDIR is too long\n");
        std::_Exit(1);
    }
    std::memcpy(ownFolder, folder.c_str(), folder.size() + 1);
    if (::mkdtemp(ownFolder) == nullptr) {
        std::fprintf(stderr, "cannot make a private test folder %s: %s\n", folder.c_str(), std::strerror(errno));
        std::_Exit(1);
    }
    owner = ::getpid();
    ::setenv("HALVEX_TEST_TMP", ownFolder, 1);
    ::setenv("ProgramData", (std::string(ownFolder) + "/appdata").c_str(), 1);
    ::setenv("TEMP", (std::string(ownFolder) + "/temp").c_str(), 1);
    std::atexit(RemoveOwnFolder);
}

}  // namespace

namespace TestSupport {

std::filesystem::path ScratchFolder()
{
    return std::filesystem::path(std::getenv("HALVEX_TEST_TMP"));
}

}  // namespace TestSupport
