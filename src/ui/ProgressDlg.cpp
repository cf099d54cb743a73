#include "ui/ProgressDlg.h"

#include "platform/Interrupt.h"
#include "platform/StringTable.h"
#include "ui/ApplicationIcon.h"
#include "ui/DialogUnits.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

CProgressDlg::CProgressDlg(QWidget* parent, Ui::IDialogHost& host)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      host(host)
{
    setFont(Ui::DialogFont());
    const Ui::DialogUnits units(font());
    setWindowTitle(QStringLiteral("Status"));
    setWindowIcon(Ui::ApplicationIcon());
    // The status line and the bar keep their places; the window grows by one button row.
    setFixedSize(units.Size(234, 85));

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("1046"));
    progressBar->setGeometry(units.Rect(6, 46, 221, 14));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);

    statusText = new QLabel(QStringLiteral("Static"), this);
    statusText->setObjectName(QStringLiteral("1049"));
    statusText->setTextFormat(Qt::PlainText);
    statusText->setWordWrap(true);
    statusText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    statusText->setGeometry(units.Rect(5, 11, 222, 20));

    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    // Named after the cancel command's id, as the template's controls are.
    cancelButton->setObjectName(QStringLiteral("2"));
    cancelButton->setAccessibleName(QStringLiteral("Cancel the package build"));
    cancelButton->setGeometry(units.Rect(177, 64, 50, 14));
    // Enter must not stop a build: only a deliberate press of Cancel does.
    cancelButton->setAutoDefault(false);
    connect(cancelButton, &QPushButton::clicked, this, [this] { Stop(); });
}

void CProgressDlg::SetStatus(const std::wstring& text)
{
    statusText->setText(QString::fromStdWString(text));
    overall.StartStep();
}

void CProgressDlg::SetProgress(const int& percent)
{
    overall.SetProgress(percent);
    ShowPercent();
}

void CProgressDlg::SetStepProgress(std::uint64_t done, std::uint64_t total)
{
    overall.SetStepProgress(done, total);
    ShowPercent();
}

void CProgressDlg::ShowPercent()
{
    // A step may report many times a second; the bar repaints only when it moves.
    if (progressBar->value() != overall.Percent())
        progressBar->setValue(overall.Percent());
}

void CProgressDlg::Refresh()
{
    // This window's own pending work (its repaint above all) first, then everything
    // else that waits on the thread.
    QCoreApplication::sendPostedEvents(this);
    QCoreApplication::processEvents();
}

void CProgressDlg::BuildOver()
{
    cancelButton->setEnabled(false);
}

void CProgressDlg::Stop()
{
    Platform::RequestInterrupt();
    cancelButton->setEnabled(false);
    statusText->setText(QStringLiteral("Stopping the package build..."));
}

void CProgressDlg::AskToStop()
{
    // Nothing to ask once a stop is on its way or the job is over, nor while the
    // question is already showing.
    if (asking || !cancelButton->isEnabled())
        return;
    asking = true;
    QMessageBox question(
        QMessageBox::Question, QString::fromStdWString(Platform::LoadString(117).value_or(std::wstring())),
        QStringLiteral("Stop building the package?\n\nNothing will be written under the package name."),
        QMessageBox::Yes | QMessageBox::No, this);
    question.setDefaultButton(QMessageBox::No);
    // The build's wait cursor is not for the question: it shows the ordinary pointer.
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting)
        QGuiApplication::restoreOverrideCursor();
    const bool stop = host.RunModal(question) == QMessageBox::Yes;
    if (waiting)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    asking = false;
    // The job may have ended while the question showed.
    if (stop && cancelButton->isEnabled())
        Stop();
}

void CProgressDlg::reject()
{
    // Esc never ends the window while a build runs; it offers to stop the build.
    AskToStop();
}

void CProgressDlg::showEvent(QShowEvent* event)
{
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

void CProgressDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    AskToStop();
}
