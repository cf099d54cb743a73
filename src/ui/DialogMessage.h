#pragma once

#include "ui/DialogHost.h"

#include <QMessageBox>

#include <string>

class QWidget;

namespace Ui {

// A message box of the program's own caption owned by `owner`, shown through `host` with
// the ordinary pointer even while a wait cursor is up (which comes back after it). Nothing
// shows when the string table lacks the caption.
void ShowDialogMessage(QWidget& owner, IDialogHost& host, const std::wstring& text, QMessageBox::Icon icon);

}  // namespace Ui
