#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>

namespace Ui {
namespace {

// Rounded like the integer arithmetic of the template conversion it replaces.
int Scale(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

QFont DialogFont()
{
    static const bool substitutesSet = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg"),
                                   QStringList{QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                                               QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
        return true;
    }();
    (void)substitutesSet;
    QFont font(QStringLiteral("MS Shell Dlg"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    // The average width of the 52 Latin letters, the measure dialog templates were drawn against.
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseWidth = (letters / 26 + 1) / 2;
    baseHeight = metrics.height();
}

int DialogUnits::X(int units) const
{
    return Scale(units, baseWidth, 4);
}

int DialogUnits::Y(int units) const
{
    return Scale(units, baseHeight, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const
{
    // Both corners are mapped, so adjacent controls share their edges exactly.
    return {QPoint(X(x), Y(y)), QPoint(X(x + width) - 1, Y(y + height) - 1)};
}

QSize DialogUnits::Size(int width, int height) const
{
    return {X(width), Y(height)};
}

}  // namespace Ui
