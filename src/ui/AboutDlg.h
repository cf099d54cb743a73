#pragma once

#include <QDialog>

// The about box: product name, version and the legal notices, closed by OK, Esc or
// the close box alike.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
