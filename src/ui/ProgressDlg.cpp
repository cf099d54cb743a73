#include "ui/ProgressDlg.h"

#include "ui/ApplicationIcon.h"
#include "ui/DialogUnits.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

#include <algorithm>

CProgressDlg::CProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setFont(Ui::DialogFont());
    const Ui::DialogUnits units(font());
    setWindowTitle(QStringLiteral("Status"));
    setWindowIcon(Ui::ApplicationIcon());
    setFixedSize(units.Size(234, 72));

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
}

void CProgressDlg::SetStatus(const std::wstring& text)
{
    statusText->setText(QString::fromStdWString(text));
}

void CProgressDlg::SetProgress(const int& percent)
{
    // The bar keeps the value within its range, as the control it stands for does.
    progressBar->setValue(std::clamp(percent, progressBar->minimum(), progressBar->maximum()));
}

void CProgressDlg::Refresh()
{
    // This window's own pending work (its repaint above all) first, then everything
    // else that waits on the thread.
    QCoreApplication::sendPostedEvents(this);
    QCoreApplication::processEvents();
}

void CProgressDlg::reject()
{
    // Esc must not end the window while a build is running.
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
}
