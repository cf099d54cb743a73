#include "app/HalvexApp.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/CommandLineOutput.h"
#include "cli/CommandLineParser.h"
#include "core/ExitCode.h"
#include "core/Logging.h"
#include "core/PackageOptions.h"
#include "packaging/PackagingJob.h"
#include "platform/HostFolders.h"
#include "platform/StandardStreams.h"
#include "platform/StringTable.h"
#include "ui/ErrorNotice.h"
#include "ui/GraphicalSession.h"
#include "ui/HalvexDlg.h"

CHalvexApp theApp;

void CHalvexApp::SetArguments(int& argc, char** argv)
{
    argumentCount = &argc;
    arguments = argv;
}

bool CHalvexApp::InitInstance()
{
    PackageOptions options;
    options.SetProgramFolder(Platform::ProgramFolder());
    // Opened in graphical mode only: command-line mode needs no display.
    std::optional<Platform::GraphicalSession> session;

    try {
        // Each argument as the program received it: a value can never become another option.
        // A program started with no arguments at all (not even its name) has none to parse.
        const std::vector<std::string> argumentList =
            *argumentCount > 1 ? std::vector<std::string>(arguments + 1, arguments + *argumentCount)
                               : std::vector<std::string>();
        CommandLineParser parser(argumentList, options);
        if (!options.GetCommandLineMode()) {
            session.emplace(*argumentCount, arguments);
            if (!session->IsOpen()) {
                GetLogging() << "No display is available for the graphical mode" << "\n";
                Platform::WriteStandardErrorLine(
                    L"halvex: no display is available for the graphical mode "
                    L"(set DISPLAY or WAYLAND_DISPLAY, or run with -cli)");
                exitCode = kFailureExitCode;
                return false;
            }
            CHalvexDlg dialog(options);
            dialog.DoModal();
        } else {
            // The status lines say only "See log": a run whose log is not the usual file says where it is.
            const std::wstring logFile = GetLogging().GetLogFilePath();
            if (!logFile.ends_with(kLogFileName))
                Platform::WriteStandardErrorLine(L"halvex: another run is writing " + std::wstring(kLogFileName) +
                                                 L"; this run's log is " + logFile);
            parser.Validate(options);
            if (!parser.IsValid())
                throw std::runtime_error("One or more parameters are empty or not correct.");
            CommandLineOutput output;
            PackagingJob job(options, output);
            job.Run();
            if (!job.Succeeded())
                exitCode = kFailureExitCode;
        }
    } catch (...) {
        // The error's own text stays out of the notice; the log holds the details.
        const auto caption = Platform::LoadString(Platform::TextId::Caption);
        if (!caption)
            return false;
        const auto text = Platform::LoadFormattedString(Platform::TextId::BuildFailed, GetLogging().GetLogFilePath());
        // Without -cli the notice is a message box, when a display can be reached.
        if (!options.GetCommandLineMode() && !session)
            session.emplace(*argumentCount, arguments);
        Platform::ShowErrorNotice(*caption, text.value_or(std::wstring()));
        exitCode = kFailureExitCode;
    }
    return false;
}

int CHalvexApp::ExitInstance()
{
    return exitCode;
}
