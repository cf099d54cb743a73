#include "ui/DialogMessage.h"

#include "platform/StringTable.h"

#include <QApplication>

#include <optional>

namespace Ui {

void ShowDialogMessage(QWidget& owner, IDialogHost& host, const std::wstring& text, QMessageBox::Icon icon)
{
    const std::optional<std::wstring> caption = Platform::LoadString(117);
    if (!caption)
        return;
    QMessageBox box(icon, QString::fromStdWString(*caption), QString::fromStdWString(text), QMessageBox::Ok, &owner);
    // The wait cursor is for the dialog; the box shows the ordinary pointer.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting)
        QApplication::restoreOverrideCursor();
    host.RunModal(box);
    if (waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

}  // namespace Ui
