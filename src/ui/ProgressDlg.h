#pragma once

#include "core/IProgress.h"

#include <QDialog>

class QLabel;
class QProgressBar;

// The window that shows a graphical build's progress: one status line (wrapping onto a
// second line) and a bar from 0 to 100. The job runs on the user-interface thread, so
// Refresh is what keeps the windows painted meanwhile. The user cannot close it: it has
// no close box and ignores Esc; its owner hides and deletes it when the build is over.
class CProgressDlg : public QDialog, public IProgress {
    Q_OBJECT
public:
    explicit CProgressDlg(QWidget* parent);

    void SetStatus(const std::wstring& text) override;
    void SetProgress(const int& percent) override;
    void Refresh() override;

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QProgressBar* progressBar;
    QLabel* statusText;
};
