#pragma once

#include "ui/DialogHost.h"

#include <string>

class CLogging;
class PackageOptions;
class QWidget;

namespace Ui {

// One package build started from the main dialog: a progress window modal to the whole
// application while the packaging job runs, the last status left readable for a moment,
// then a box with the result (built, failed with the log's reason, or stopped). SIGINT,
// SIGTERM or SIGHUP during the job stop it as Cancel does, and then no box shows: the
// program is to end.
class BuildRun {
public:
    enum class Outcome { Built, Failed, Stopped, EndRequested };

    BuildRun(QWidget& owner, IDialogHost& host, CLogging& log);

    // Builds `options`' package, which the job writes at `package`.
    Outcome Run(const PackageOptions& options, const std::wstring& package);

private:
    QWidget& owner;
    IDialogHost& host;
    CLogging& log;
};

}  // namespace Ui
