// Measures how long the user interface goes without its event loop turning while the
// main dialog builds a package: a zero-interval timer notes every turn from the click on
// Build Package until the result box shows, and the longest time between two turns is
// printed overall and for each status the progress window showed while the loop stood.
// bench/gap.sh runs it on a synthetic CID.
//
//   halvex-event-loop-gap-probe <CID folder> <output package> <program folder>
//
// Exits with 0 when the build succeeded, 1 when it failed, 2 on a usage error.
#include "RecordingDialogHost.h"

#include "core/PackageOptions.h"
#include "ui/HalvexDlg.h"
#include "ui/HalvexDlgControls.h"
#include "ui/ProgressDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

QString ShownStatus(const CHalvexDlg& dialog)
{
    const auto* progress = dialog.findChild<CProgressDlg*>();
    if (!progress || !progress->isVisible())
        return QStringLiteral("(no progress window)");
    return progress->findChild<QLabel*>(QStringLiteral("1049"))->text();
}

double Milliseconds(qint64 nanoseconds)
{
    return static_cast<double>(nanoseconds) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <CID folder> <output package> <program folder>\n", argv[0]);
        return 2;
    }
    PackageOptions options;
    options.SetProgramFolder(QString::fromLocal8Bit(argv[3]).toStdWString());
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    qobject_cast<QLineEdit*>(dialog.GetDlgItem(IDC_SOURCE_FOLDER))->setText(QString::fromLocal8Bit(argv[1]));
    qobject_cast<QLineEdit*>(dialog.GetDlgItem(IDC_OUTPUT_PACKAGE))->setText(QString::fromLocal8Bit(argv[2]));
    qobject_cast<QLineEdit*>(dialog.GetDlgItem(IDC_PRIMARY_LOCATION))
        ->setText(QStringLiteral("http://updates.example.com/veskor"));

    QElapsedTimer clock;
    qint64 lastTurn = 0;
    qint64 longest = 0;
    long turns = 0;
    bool recording = false;
    QString statusAtLastTurn;
    // Status texts in the order they first showed, each with its longest gap.
    std::vector<QString> order;
    std::map<QString, qint64> longestPerStatus;

    const auto noteTurn = [&] {
        if (!recording)
            return;
        const qint64 now = clock.nsecsElapsed();
        const qint64 gap = now - lastTurn;
        longest = std::max(longest, gap);
        // The gap belongs to what the window showed while the loop stood still.
        auto [entry, added] = longestPerStatus.try_emplace(statusAtLastTurn, gap);
        if (added)
            order.push_back(statusAtLastTurn);
        else
            entry->second = std::max(entry->second, gap);
        lastTurn = now;
        statusAtLastTurn = ShownStatus(dialog);
        ++turns;
    };
    QTimer turn;
    turn.setInterval(0);
    QObject::connect(&turn, &QTimer::timeout, noteTurn);
    // The result box ends the build; its own loop is the last turn.
    host.onShow = [&](QDialog&) {
        noteTurn();
        recording = false;
    };

    QTimer::singleShot(0, &dialog, [&] {
        turn.start();
        clock.start();
        statusAtLastTurn = QStringLiteral("(Build Package clicked)");
        recording = true;
        qobject_cast<QAbstractButton*>(dialog.GetDlgItem(IDOK))->click();
        turn.stop();
        dialog.reject();
    });
    dialog.DoModal();

    const QString result = host.boxes.empty() ? QStringLiteral("(no result box)") : host.boxes.back().text;
    std::printf("build result:      %s\n", qPrintable(result));
    std::printf("build time:        %.0f ms (to the result box, the last status's two seconds included)\n",
                Milliseconds(lastTurn));
    std::printf("event-loop turns:  %ld\n", turns);
    std::printf("longest gap:       %.1f ms\n", Milliseconds(longest));
    std::printf("longest gap while each status showed:\n");
    for (const QString& status : order)
        std::printf("  %9.1f ms  %s\n", Milliseconds(longestPerStatus[status]), qPrintable(status));
    return result.startsWith(QStringLiteral("Package generation complete.")) ? 0 : 1;
}
