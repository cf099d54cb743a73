#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace Ui {

// The font every dialog is laid out in: "MS Shell Dlg" at 8 points, which this host
// resolves through font substitutes to a similar sans-serif face.
QFont DialogFont();

// Converts dialog-template units to pixels for one font: a horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth of its
// character height, so a template keeps its proportions whatever the font.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int BaseWidth() const { return baseWidth; }
    int BaseHeight() const { return baseHeight; }

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

private:
    int baseWidth;
    int baseHeight;
};

}  // namespace Ui
