#include "app/HalvexApp.h"

int main(int argc, char* argv[])
{
    theApp.SetArguments(argc, argv);
    // InitInstance does the whole run and always answers false: straight to the exit code.
    theApp.InitInstance();
    return theApp.ExitInstance();
}
