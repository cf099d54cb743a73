#include "ui/AboutDlg.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <functional>

using Closer = std::function<void(CAboutDlg&)>;
Q_DECLARE_METATYPE(Closer)

class AboutDlgTest : public QObject {
    Q_OBJECT
private slots:
    void showsNameVersionAndNotices();
    void everyWayOutEndsItAlike_data();
    void everyWayOutEndsItAlike();
};

void AboutDlgTest::showsNameVersionAndNotices()
{
    CAboutDlg about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Zastrel"));
    QStringList texts;
    bool hasIcon = false;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        texts << label->text();
        hasIcon = hasIcon || !label->pixmap().isNull();
    }
    QVERIFY(texts.contains(QStringLiteral("Veskor Zastrel")));
    QVERIFY(texts.contains(QStringLiteral("Version 1.3.3")));
    QVERIFY(!about.findChild<QLabel*>(QStringLiteral("143"))->text().isEmpty());
    QVERIFY(!about.findChild<QLabel*>(QStringLiteral("144"))->text().isEmpty());
    QVERIFY(hasIcon);

    // Every text shows whole: the long notice within its three lines, the rest on one.
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
        QVERIFY2(needed <= label->height() + 1, qPrintable(label->text()));
        if (!label->wordWrap())
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
    }
}

void AboutDlgTest::everyWayOutEndsItAlike_data()
{
    QTest::addColumn<Closer>("close");
    QTest::newRow("OK") << Closer(
        [](CAboutDlg& about) { about.findChild<QPushButton*>(QStringLiteral("2"))->click(); });
    QTest::newRow("Enter") << Closer([](CAboutDlg& about) { QTest::keyClick(&about, Qt::Key_Return); });
    QTest::newRow("Esc") << Closer([](CAboutDlg& about) { QTest::keyClick(&about, Qt::Key_Escape); });
    QTest::newRow("close box") << Closer([](CAboutDlg& about) { about.close(); });
}

void AboutDlgTest::everyWayOutEndsItAlike()
{
    QFETCH(Closer, close);
    CAboutDlg about;
    about.show();
    QVERIFY(QTest::qWaitForWindowActive(&about));
    close(about);
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Rejected));
}

QTEST_MAIN(AboutDlgTest)
#include "AboutDlgTest.moc"
