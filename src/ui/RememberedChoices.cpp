#include "ui/RememberedChoices.h"

#include <QFileInfo>
#include <QSettings>

namespace Ui {
namespace {

QSettings UserSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromLatin1(RememberedChoices::organisation),
                     QString::fromLatin1(RememberedChoices::application));
}

QString BrowseKey(const QString& field)
{
    return QStringLiteral("browse/") + field;
}

}  // namespace

RememberedChoices RememberedChoices::Load()
{
    const QSettings settings = UserSettings();
    RememberedChoices choices;
    // The browsed folders live in a group of their own, not among the choices.
    for (const QString& key : settings.childKeys())
        choices.values.emplace(key, settings.value(key));
    return choices;
}

void RememberedChoices::Save() const
{
    QSettings settings = UserSettings();
    for (const auto& [key, value] : values)
        settings.setValue(key, value);
}

std::optional<QString> RememberedChoices::Text(const char* key) const
{
    const auto value = values.find(QString::fromLatin1(key));
    return value == values.end() ? std::nullopt : std::optional<QString>(value->second.toString());
}

std::optional<bool> RememberedChoices::Tick(const char* key) const
{
    const auto value = values.find(QString::fromLatin1(key));
    return value == values.end() ? std::nullopt : std::optional<bool>(value->second.toBool());
}

void RememberedChoices::Set(const char* key, const QVariant& value)
{
    values.insert_or_assign(QString::fromLatin1(key), value);
}

QString LastBrowsedFolder(const QString& field)
{
    const QString folder = UserSettings().value(BrowseKey(field)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void RememberBrowsedFolder(const QString& field, const QString& folder)
{
    UserSettings().setValue(BrowseKey(field), folder);
}

}  // namespace Ui
