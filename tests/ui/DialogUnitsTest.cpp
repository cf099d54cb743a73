#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QTest>

class DialogUnitsTest : public QObject {
    Q_OBJECT
private slots:
    void baseUnitsComeFromTheFont();
    void neighboursShareTheirEdge_data();
    void neighboursShareTheirEdge();
};

void DialogUnitsTest::baseUnitsComeFromTheFont()
{
    const QFont font = Ui::DialogFont();
    QCOMPARE(font.pointSize(), 8);
    const Ui::DialogUnits units(font);
    const QFontMetrics metrics(font);
    QCOMPARE(units.BaseHeight(), metrics.height());
    QVERIFY(units.BaseWidth() > 0 && units.BaseWidth() < units.BaseHeight());
    // Four horizontal and eight vertical units are one character cell.
    QCOMPARE(units.Size(4, 8), QSize(units.BaseWidth(), units.BaseHeight()));
    // A larger font makes a larger dialog from the same template.
    QFont larger = font;
    larger.setPointSize(16);
    QVERIFY(Ui::DialogUnits(larger).Size(488, 335).width() > units.Size(488, 335).width());
}

void DialogUnitsTest::neighboursShareTheirEdge_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    for (const int start : {0, 1, 3, 7, 113, 118})
        for (const int length : {1, 5, 57, 282})
            QTest::addRow("%d+%d", start, length) << start << length;
}

void DialogUnitsTest::neighboursShareTheirEdge()
{
    QFETCH(int, start);
    QFETCH(int, length);
    const Ui::DialogUnits units(Ui::DialogFont());
    const QRect first = units.Rect(start, start, length, length);
    const QRect next = units.Rect(start + length, start + length, 9, 9);
    // Controls that touch in the template touch on the screen: no gap, no overlap.
    QCOMPARE(first.right() + 1, next.left());
    QCOMPARE(first.bottom() + 1, next.top());
}

QTEST_MAIN(DialogUnitsTest)
#include "DialogUnitsTest.moc"
