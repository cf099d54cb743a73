#include "RecordingDialogHost.h"

#include "platform/Interrupt.h"
#include "ui/DialogUnits.h"
#include "ui/ProgressDlg.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class ProgressDlgTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startsWithThePlaceholder();
    void longStatusWrapsOntoTheSecondLine();
    void progressMovesTheBar_data();
    void progressMovesTheBar();
    void userCannotCloseIt();
    void stepProgressMovesTheBarBetweenPercentages_data();
    void stepProgressMovesTheBarBetweenPercentages();
    void barRepaintsOnlyWhenItMoves();
    void cancelStopsTheBuild();
    void escAndCloseAskBeforeStopping_data();
    void escAndCloseAskBeforeStopping();
    void nothingToStopOnceTheBuildIsOver();
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

QPushButton* CancelButton(CProgressDlg& dialog)
{
    return dialog.findChild<QPushButton*>(QStringLiteral("2"));
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

}  // namespace

void ProgressDlgTest::init()
{
    Platform::ClearInterrupt();
}

void ProgressDlgTest::cleanup()
{
    Platform::ClearInterrupt();
}

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
    QTest::newRow("below the range stops at the start") << QList<int>{-5} << 0;
    QTest::newRow("never back") << QList<int>{40, 20} << 40;
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
    // The user keeps the build going whenever asked.
    RecordingDialogHost host;
    host.answers = {[](QDialog&) { return int(QMessageBox::No); }, [](QDialog&) { return int(QMessageBox::No); }};
    CProgressDlg dialog(nullptr, host);
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
    QCOMPARE(host.boxes.size(), std::size_t{2});
    QVERIFY(!Platform::InterruptRequested());
}

void ProgressDlgTest::stepProgressMovesTheBarBetweenPercentages_data()
{
    // Each call: "status", a job's percentage ("40"), or a step's "done/total"; then the
    // bar after every call.
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QList<int>>("bar");
    QTest::newRow("a copy half done") << QStringList{"20", "status", "1/2"} << QList<int>{20, 20, 30};
    QTest::newRow("a step's end waits for the job's percentage")
        << QStringList{"20", "status", "5/5", "40"} << QList<int>{20, 20, 39, 40};
    QTest::newRow("a step starting again from zero does not pull it back")
        << QStringList{"60", "status", "9/10", "1/10", "status", "3/10"} << QList<int>{60, 60, 78, 78, 78, 84};
    QTest::newRow("more done than the total stops short of the next percentage")
        << QStringList{"80", "status", "700/100"} << QList<int>{80, 80, 99};
    QTest::newRow("a step with nothing to count does not move it")
        << QStringList{"40", "status", "0/0"} << QList<int>{40, 40, 40};
}

void ProgressDlgTest::stepProgressMovesTheBarBetweenPercentages()
{
    QFETCH(QStringList, calls);
    QFETCH(QList<int>, bar);
    CProgressDlg dialog(nullptr);
    // The job reaches the window only through its interfaces.
    IProgress& progress = dialog;
    QList<int> shown;
    for (const QString& call : calls) {
        if (call == QStringLiteral("status")) {
            progress.SetStatus(L"Copying package data and ConfigUpdate tool to local machine...");
        } else if (const qsizetype slash = call.indexOf(QLatin1Char('/')); slash >= 0) {
            ReportStepProgress(&progress, call.left(slash).toULongLong(), call.mid(slash + 1).toULongLong());
        } else {
            progress.SetProgress(call.toInt());
        }
        shown << Bar(dialog)->value();
    }
    QCOMPARE(shown, bar);
}

void ProgressDlgTest::barRepaintsOnlyWhenItMoves()
{
    CProgressDlg dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.SetProgress(20);
    dialog.SetStatus(L"Copying package data and ConfigUpdate tool to local machine...");
    QCoreApplication::processEvents();
    PaintCounter counter;
    Bar(dialog)->installEventFilter(&counter);
    // A thousand reports inside the first percent of the step: the bar stays put.
    constexpr std::uint64_t total = 1'000'000;
    for (std::uint64_t done = 0; done < 1000; ++done)
        dialog.SetStepProgress(done * 40, total);
    dialog.Refresh();
    QCOMPARE(counter.paints, 0);
    QCOMPARE(Bar(dialog)->value(), 20);
    dialog.SetStepProgress(total / 2, total);
    dialog.Refresh();
    QCOMPARE(Bar(dialog)->value(), 30);
    QVERIFY(counter.paints >= 1);
}

void ProgressDlgTest::cancelStopsTheBuild()
{
    RecordingDialogHost host;
    CProgressDlg dialog(nullptr, host);
    const Ui::DialogUnits units(dialog.font());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // The designed lines keep their places; the button sits below the bar, inside the window.
    QCOMPARE(Status(dialog)->geometry(), units.Rect(5, 11, 222, 20));
    QCOMPARE(Bar(dialog)->geometry(), units.Rect(6, 46, 221, 14));
    QPushButton* cancel = CancelButton(dialog);
    QVERIFY(cancel);
    QVERIFY(cancel->geometry().top() >= Bar(dialog)->geometry().bottom());
    QVERIFY(dialog.rect().contains(cancel->geometry()));
    QVERIFY(cancel->isEnabled());
    QVERIFY(!cancel->accessibleName().isEmpty());
    QVERIFY(!cancel->autoDefault() && !cancel->isDefault());

    // Enter alone stops nothing.
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(!Platform::InterruptRequested());

    dialog.SetStatus(L"Creating the final self-extracting archive...");
    QTest::mouseClick(cancel, Qt::LeftButton);
    // At once, without a question: the request is made, the button greys, the window stays.
    QVERIFY(Platform::InterruptRequested());
    QVERIFY(host.boxes.empty());
    QVERIFY(!cancel->isEnabled());
    QVERIFY(dialog.isVisible());
    QVERIFY(Status(dialog)->text().contains(QStringLiteral("Stopping")));
    // The job's closing statuses still show.
    dialog.SetStatus(L"Packaging failed.");
    QCOMPARE(Status(dialog)->text(), QStringLiteral("Packaging failed."));
}

void ProgressDlgTest::escAndCloseAskBeforeStopping_data()
{
    QTest::addColumn<bool>("escape");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("stops");
    QTest::newRow("Esc, No") << true << int(QMessageBox::No) << false;
    QTest::newRow("Esc, Yes") << true << int(QMessageBox::Yes) << true;
    QTest::newRow("close, No") << false << int(QMessageBox::No) << false;
    QTest::newRow("close, Yes") << false << int(QMessageBox::Yes) << true;
}

void ProgressDlgTest::escAndCloseAskBeforeStopping()
{
    QFETCH(bool, escape);
    QFETCH(int, answer);
    QFETCH(bool, stops);
    RecordingDialogHost host;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    host.answers.push_back([&](QDialog& box) {
        auto* question = qobject_cast<QMessageBox*>(&box);
        defaultButton = question ? question->standardButton(question->defaultButton()) : QMessageBox::NoButton;
        return answer;
    });
    CProgressDlg dialog(nullptr, host);
    host.owner = &dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    if (escape)
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        QVERIFY(!dialog.close());

    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].icon, QMessageBox::Question);
    QVERIFY(host.boxes[0].ownedByDialog);
    QCOMPARE(defaultButton, QMessageBox::No);
    QCOMPARE(Platform::InterruptRequested(), stops);
    QCOMPARE(CancelButton(dialog)->isEnabled(), !stops);
    // Whatever the answer, the window stays until its owner hides it.
    QVERIFY(dialog.isVisible());
    // Once stopping, a second Esc or close has nothing to ask.
    if (stops) {
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.close());
        QCOMPARE(host.boxes.size(), std::size_t{1});
    }
}

void ProgressDlgTest::nothingToStopOnceTheBuildIsOver()
{
    RecordingDialogHost host;
    CProgressDlg dialog(nullptr, host);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.BuildOver();
    QVERIFY(!CancelButton(dialog)->isEnabled());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());
    QVERIFY(host.boxes.empty());
    QVERIFY(!Platform::InterruptRequested());
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
