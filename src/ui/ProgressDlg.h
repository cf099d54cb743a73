#pragma once

#include "core/IProgress.h"
#include "core/OverallProgress.h"
#include "core/StepProgress.h"
#include "ui/DialogHost.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The window that shows a graphical build's progress: one status line (wrapping onto a
// second line), a bar from 0 to 100 that also moves within a step, and Cancel. The job
// runs on the user-interface thread, so Refresh is what keeps the windows painted
// meanwhile. The window never closes itself: Cancel asks the job to stop, Esc and a
// close request first ask the user (through `host`), and the owner hides and deletes it
// when the build is over.
class CProgressDlg : public QDialog, public IProgress, public StepProgress {
    Q_OBJECT
public:
    explicit CProgressDlg(QWidget* parent, Ui::IDialogHost& host = Ui::DesktopDialogHost());

    void SetStatus(const std::wstring& text) override;
    void SetProgress(const int& percent) override;
    void Refresh() override;
    void SetStepProgress(std::uint64_t done, std::uint64_t total) override;

    // The job has returned: nothing is left to stop, so Cancel greys out and Esc and
    // close requests are ignored while the window lingers.
    void BuildOver();

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowPercent();
    void Stop();
    void AskToStop();

    Ui::IDialogHost& host;
    OverallProgress overall;
    QProgressBar* progressBar;
    QLabel* statusText;
    QPushButton* cancelButton;
    bool asking = false;
};
