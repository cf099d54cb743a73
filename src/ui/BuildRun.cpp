#include "ui/BuildRun.h"

#include "core/Logging.h"
#include "core/PackageOptions.h"
#include "core/StopRequests.h"
#include "packaging/PackagingJob.h"
#include "platform/ConsoleControl.h"
#include "platform/Interrupt.h"
#include "platform/StringTable.h"
#include "ui/DialogMessage.h"
#include "ui/ProgressDlg.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include <memory>

namespace Ui {
namespace {

// SIGINT, SIGTERM or SIGHUP (the terminal the program came from closing) during a build
// stop it as Cancel does; the dialog then ends. A second lets the clean-up go on, a third
// ends the program at once (OnStopRequest).
// Routes the end requests to the build for as long as it runs.
class EndRequestsStopTheBuild {
public:
    EndRequestsStopTheBuild()
    {
        ForgetStopRequests();
        Platform::SetConsoleCtrlHandler(OnStopRequest, true);
    }
    ~EndRequestsStopTheBuild() { Platform::SetConsoleCtrlHandler(OnStopRequest, false); }
    EndRequestsStopTheBuild(const EndRequestsStopTheBuild&) = delete;
    EndRequestsStopTheBuild& operator=(const EndRequestsStopTheBuild&) = delete;
};

std::wstring LoadText(unsigned id)
{
    return Platform::LoadString(id).value_or(std::wstring());
}

}  // namespace

BuildRun::BuildRun(QWidget& ownerWidget, IDialogHost& dialogHost, CLogging& logging)
    : owner(ownerWidget),
      host(dialogHost),
      log(logging)
{}

BuildRun::Outcome BuildRun::Run(const PackageOptions& options, const std::wstring& package)
{
    // A stop asked for in an earlier build must not end this one.
    Platform::ClearInterrupt();
    auto progress = std::make_unique<CProgressDlg>(&owner, host);
    PackagingJob job(options, *progress);
    // Modal to the whole application: while it shows, no input reaches the dialog (its
    // close box included), which keeps its own look, and no second build can start.
    progress->setWindowModality(Qt::ApplicationModal);
    progress->show();
    bool endAsked = false;
    {
        const EndRequestsStopTheBuild endRequests;
        job.Run();
        endAsked = StopRequestCount() > 0;
    }
    const bool stopped = !job.Succeeded() && Platform::InterruptRequested();
    progress->BuildOver();
    Platform::ClearInterrupt();
    // The job has removed what it made; the program was asked to end, not to report.
    if (endAsked)
        return Outcome::EndRequested;
    if (!stopped) {
        // Long enough to read the last status, with the event loop running meanwhile.
        for (int i = 0; i < 20; ++i) {
            QEventLoop pause;
            QTimer::singleShot(100, Qt::PreciseTimer, &pause, &QEventLoop::quit);
            pause.exec();
            progress->Refresh();
        }
    }
    progress->hide();
    if (stopped) {
        ShowDialogMessage(owner, host, L"The package build was stopped. Nothing was written under the package name.",
                          QMessageBox::Information);
        return Outcome::Stopped;
    }
    if (job.Succeeded()) {
        ShowDialogMessage(owner, host, LoadText(115) + L"\n\n" + package, QMessageBox::Information);
        return Outcome::Built;
    }
    ShowDialogMessage(owner, host,
                      Platform::LoadFormattedString(116, log.GetLogFilePath()).value_or(std::wstring()) +
                          (job.FailureReason().empty() ? std::wstring() : L"\n\n" + job.FailureReason()),
                      QMessageBox::Critical);
    return Outcome::Failed;
}

}  // namespace Ui
