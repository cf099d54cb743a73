#include "ui/AboutDlg.h"

#include "ui/ApplicationIcon.h"
#include "ui/DialogUnits.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

// Lays out one static text of the template; plain text, so "&" shows as itself.
QLabel* AddText(QWidget* parent, const Ui::DialogUnits& units, const QString& text, int x, int y, int w, int h)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(units.Rect(x, y, w, h));
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setFont(Ui::DialogFont());
    const Ui::DialogUnits units(font());
    setWindowTitle(QStringLiteral("About Zastrel"));
    setWindowIcon(Ui::ApplicationIcon());
    setFixedSize(units.Size(237, 108));

    auto* icon = new QLabel(this);
    const QRect iconArea = units.Rect(7, 12, 21, 20);
    const int side = std::min(iconArea.width(), iconArea.height());
    icon->setPixmap(Ui::ApplicationIcon().pixmap(side, side));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    icon->setGeometry(iconArea);

    AddText(this, units, QStringLiteral("Veskor Zastrel"), 40, 10, 182, 11);
    AddText(this, units, QStringLiteral("Version 1.3.3"), 40, 25, 182, 11);
    AddText(this, units, QStringLiteral("Copyright (C) Veskor Plc. All rights reserved."), 41, 40, 189, 11)
        ->setObjectName(QStringLiteral("143"));
    auto* notice = AddText(this, units,
                           QStringLiteral("Zastrel is licensed for use with a Veskor endpoint-security "
                                          "subscription. Copying or passing it on outside the terms of "
                                          "that subscription is not permitted."),
                           41, 50, 189, 34);
    notice->setObjectName(QStringLiteral("144"));
    notice->setWordWrap(true);

    // The button carries the cancel command, so it ends the box exactly as Esc does.
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("2"));
    ok->setDefault(true);
    ok->setGeometry(units.Rect(87, 89, 57, 16));
    connect(ok, &QPushButton::clicked, this, &QDialog::reject);
}
