#include "ui/ProgressDlg.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

class ProgressDlgTest : public QObject {
    Q_OBJECT
private slots:
    void startsWithThePlaceholder();
    void longStatusWrapsOntoTheSecondLine();
    void progressMovesTheBar_data();
    void progressMovesTheBar();
    void userCannotCloseIt();
    void refreshDispatchesWaitingEvents();
    void usableThroughTheInterface();
};

namespace {

QLabel* Status(CProgressDlg& dialog)
{
    return dialog.findChild<QLabel*>(QStringLiteral("1049"));
}

QProgressBar* Bar(CProgressDlg& dialog)
{
    return dialog.findChild<QProgressBar*>(QStringLiteral("1046"));
}

}  // namespace

void ProgressDlgTest::startsWithThePlaceholder()
{
    CProgressDlg dialog(nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Status"));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Status(dialog)->text(), QStringLiteral("Static"));
    QCOMPARE(Bar(dialog)->minimum(), 0);
    QCOMPARE(Bar(dialog)->maximum(), 100);
    QCOMPARE(Bar(dialog)->value(), 0);
}

void ProgressDlgTest::longStatusWrapsOntoTheSecondLine()
{
    CProgressDlg dialog(nullptr);
    dialog.show();
    QLabel* status = Status(dialog);
    const std::wstring longText =
        L"Copying package data and ConfigUpdate tool to local machine, then some more words to wrap...";
    dialog.SetStatus(longText);
    QCOMPARE(status->text().toStdWString(), longText);
    const int lineHeight = status->fontMetrics().height();
    QVERIFY(status->fontMetrics().horizontalAdvance(status->text()) > status->width());
    QVERIFY(status->wordWrap());
    // Two lines are needed, and two lines fit.
    QVERIFY(status->heightForWidth(status->width()) > lineHeight);
    QVERIFY(status->heightForWidth(status->width()) <= status->height() + lineHeight / 2);
}

void ProgressDlgTest::progressMovesTheBar_data()
{
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<int>("shown");
    QTest::newRow("a whole run") << QList<int>{20, 40, 60, 80, 100} << 100;
    QTest::newRow("a failed copy") << QList<int>{20} << 20;
    QTest::newRow("above the range stops at the end") << QList<int>{150} << 100;
    QTest::newRow("below the range stops at the start") << QList<int>{40, -5} << 0;
}

void ProgressDlgTest::progressMovesTheBar()
{
    QFETCH(QList<int>, values);
    QFETCH(int, shown);
    CProgressDlg dialog(nullptr);
    for (const int value : values)
        dialog.SetProgress(value);
    QCOMPARE(Bar(dialog)->value(), shown);
}

void ProgressDlgTest::userCannotCloseIt()
{
    CProgressDlg dialog(nullptr);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowSystemMenuHint));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());
}

void ProgressDlgTest::refreshDispatchesWaitingEvents()
{
    CProgressDlg dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    int fired = 0;
    QTimer::singleShot(0, &dialog, [&] { ++fired; });
    dialog.SetStatus(L"Creating setup configuration script...");
    dialog.Refresh();
    QCOMPARE(fired, 1);
    // With nothing waiting it returns at once.
    QElapsedTimer clock;
    clock.start();
    dialog.Refresh();
    QVERIFY(clock.elapsed() < 1000);
}

void ProgressDlgTest::usableThroughTheInterface()
{
    // The owner deletes the window through IProgress, which must reach the whole object.
    QPointer<CProgressDlg> window = new CProgressDlg(nullptr);
    IProgress* progress = window.data();
    progress->SetStatus(L"Package generation complete.");
    progress->SetProgress(100);
    QCOMPARE(Status(*window)->text(), QStringLiteral("Package generation complete."));
    delete progress;
    QVERIFY(window.isNull());
}

QTEST_MAIN(ProgressDlgTest)
#include "ProgressDlgTest.moc"
