/* Stands in for a Windows program that a package runs on the client (the suite's setup,
 * the configuration tool): it appends what it was started with to the file named by the
 * environment variable HALVEX_RECORD, as UTF-8 lines:
 *   run
 *   exe <its own path>
 *   cwd <current folder>
 *   cmdline <the command line as the process received it>
 *   arg <one argument as Windows splits the command line>   (one line per argument)
 *   end
 * and exits with the code in HALVEX_SETUP_EXIT (when its own file name is setup.exe) or
 * HALVEX_TOOL_EXIT (any other name), 0 when that is not set. Without HALVEX_RECORD it exits
 * with code 3. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static void put(FILE* out, const char* key, const wchar_t* value)
{
    char utf8[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, value, -1, utf8, sizeof utf8, NULL, NULL);
    fprintf(out, "%s %s\n", key, n > 0 ? utf8 : "?");
}

int wmain(void)
{
    wchar_t target[MAX_PATH];
    if (!GetEnvironmentVariableW(L"HALVEX_RECORD", target, MAX_PATH))
        return 3;
    FILE* out = _wfopen(target, L"ab");
    if (!out)
        return 4;

    wchar_t exe[MAX_PATH], cwd[MAX_PATH];
    GetModuleFileNameW(NULL, exe, MAX_PATH);
    GetCurrentDirectoryW(MAX_PATH, cwd);
    const wchar_t* line = GetCommandLineW();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(line, &argc);

    fputs("run\n", out);
    put(out, "exe", exe);
    put(out, "cwd", cwd);
    put(out, "cmdline", line);
    for (int i = 1; argv && i < argc; ++i)
        put(out, "arg", argv[i]);
    fputs("end\n", out);
    fclose(out);

    const wchar_t* name = wcsrchr(exe, L'\\');
    const wchar_t* variable = _wcsicmp(name ? name + 1 : exe, L"setup.exe") == 0 ? L"HALVEX_SETUP_EXIT" : L"HALVEX_TOOL_EXIT";
    wchar_t code[16];
    if (!GetEnvironmentVariableW(variable, code, 16))
        return 0;
    return (int)wcstoul(code, NULL, 10);
}
