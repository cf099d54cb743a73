#include <cstdio>

#include "app/HalvexApp.h"
#include "app/ProgramInformation.h"
#include "core/ExitCode.h"

int main(int argc, char* argv[])
{
    if (const auto information = InformationRequested(argc, argv)) {
        const bool written = std::fwrite(information->data(), 1, information->size(), stdout) == information->size();
        return written && std::fflush(stdout) == 0 ? 0 : kFailureExitCode;
    }
    theApp.SetArguments(argc, argv);
    // InitInstance does the whole run and always answers false: straight to the exit code.
    theApp.InitInstance();
    return theApp.ExitInstance();
}
