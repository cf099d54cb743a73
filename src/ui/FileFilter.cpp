#include "ui/FileFilter.h"

#include <QString>

namespace Ui {

QStringList ToNameFilters(std::wstring_view filter)
{
    const QString text = QString::fromWCharArray(filter.data(), static_cast<qsizetype>(filter.size()));
    const QStringList parts = text.split(QLatin1Char('|'));
    QStringList filters;
    // Pairs end at the first empty description: the closing "||" of the form.
    for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
        const QString patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        const QString shown = QLatin1Char('(') + patterns + QLatin1Char(')');
        filters << (parts[i].contains(shown) ? parts[i] : parts[i] + QLatin1Char(' ') + shown);
    }
    return filters;
}

}  // namespace Ui
