#include "ui/FileFilter.h"

#include <QTest>

class FileFilterTest : public QObject {
    Q_OBJECT
private slots:
    void becomesNameFilters_data();
    void becomesNameFilters();
};

void FileFilterTest::becomesNameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("the save box's filter") << QStringLiteral("Executable files (*.exe)|*.exe||")
                                           << QStringList{QStringLiteral("Executable files (*.exe)")};
    QTest::newRow("several patterns, several pairs")
        << QStringLiteral("Logs|*.log;*.txt|All files (*.*)|*.*||")
        << QStringList{QStringLiteral("Logs (*.log *.txt)"), QStringLiteral("All files (*.*)")};
    QTest::newRow("without the closing bars")
        << QStringLiteral("Archives|*.7z") << QStringList{QStringLiteral("Archives (*.7z)")};
    QTest::newRow("empty") << QString() << QStringList{};
    QTest::newRow("a description without a pattern") << QStringLiteral("Lonely") << QStringList{};
}

void FileFilterTest::becomesNameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(Ui::ToNameFilters(filter.toStdWString()), expected);
}

QTEST_MAIN(FileFilterTest)
#include "FileFilterTest.moc"
