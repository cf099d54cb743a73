#pragma once

// The application: one run in the mode the arguments choose, and its exit code.
class CHalvexApp {
public:
    CHalvexApp() = default;
    CHalvexApp(const CHalvexApp&) = delete;
    CHalvexApp& operator=(const CHalvexApp&) = delete;

    // The process's arguments, as the entry point received them; they outlive the run.
    void SetArguments(int& argc, char** argv);

    // The whole run. Always false: there is no message loop of its own to enter.
    bool InitInstance();
    // The process exit code: 0, or 82 when a command-line run failed or an error escaped.
    int ExitInstance();

private:
    int exitCode = 0;
    int* argumentCount = nullptr;
    char** arguments = nullptr;
};

extern CHalvexApp theApp;
