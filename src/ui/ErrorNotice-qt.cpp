#include "ui/ErrorNotice.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include "platform/StandardStreams.h"

namespace Platform {

void ShowErrorNotice(const std::wstring& caption, const std::wstring& text)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        WriteStandardErrorLine(caption + L": " + text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QString::fromStdWString(caption), QString::fromStdWString(text),
                    QMessageBox::Ok);
    box.exec();
}

}  // namespace Platform
