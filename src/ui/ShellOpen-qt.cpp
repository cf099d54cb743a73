#include "ui/ShellOpen.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace Platform {

bool ShellOpen(std::wstring_view address)
{
    const auto text = QString::fromWCharArray(address.data(), static_cast<qsizetype>(address.size()));
    return QDesktopServices::openUrl(QUrl(text, QUrl::StrictMode));
}

}  // namespace Platform
