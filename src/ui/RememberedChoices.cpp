#include "ui/RememberedChoices.h"

#include <QFileInfo>
#include <QSettings>

namespace Ui {
namespace {

QSettings UserSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(RememberedChoices::organisation),
                     QString::fromLatin1(RememberedChoices::application));
}

template <typename T>
struct Entry {
    const char* key;
    std::optional<T> RememberedChoices::*member;
};

// The settings key of every remembered choice. Passwords have no place here.
constexpr Entry<QString> kTexts[] = {
    {"sourceFolder", &RememberedChoices::sourceFolder},
    {"outputPackage", &RememberedChoices::outputPackage},
    {"managementServerUrl", &RememberedChoices::managementServerUrl},
    {"primaryUpdateLocation", &RememberedChoices::primaryLocation},
    {"primaryUserName", &RememberedChoices::primaryUserName},
    {"secondaryUpdateLocation", &RememberedChoices::secondaryLocation},
    {"secondaryUserName", &RememberedChoices::secondaryUserName},
    {"signingFile", &RememberedChoices::signingFile},
    {"timestampUrl", &RememberedChoices::timestampUrl},
    {"architecture", &RememberedChoices::architecture},
    {"installationType", &RememberedChoices::installationType},
};
constexpr Entry<bool> kTicks[] = {
    {"managed", &RememberedChoices::managed},
    {"firewall", &RememberedChoices::firewall},
    {"patch", &RememberedChoices::patch},
    {"trafficDetection", &RememberedChoices::trafficDetection},
    {"exploitPrevention", &RememberedChoices::exploitPrevention},
    {"includeComponents", &RememberedChoices::includeComponents},
    {"useSecondaryLocation", &RememberedChoices::useSecondaryLocation},
};

QString BrowseKey(const QString& field)
{
    return QStringLiteral("browse/") + field;
}

}  // namespace

RememberedChoices RememberedChoices::Load()
{
    const QSettings settings = UserSettings();
    RememberedChoices choices;
    for (const auto& [key, member] : kTexts) {
        if (settings.contains(QString::fromLatin1(key)))
            choices.*member = settings.value(QString::fromLatin1(key)).toString();
    }
    for (const auto& [key, member] : kTicks) {
        if (settings.contains(QString::fromLatin1(key)))
            choices.*member = settings.value(QString::fromLatin1(key)).toBool();
    }
    return choices;
}

void RememberedChoices::Save() const
{
    QSettings settings = UserSettings();
    for (const auto& [key, member] : kTexts) {
        if (this->*member)
            settings.setValue(QString::fromLatin1(key), *(this->*member));
    }
    for (const auto& [key, member] : kTicks) {
        if (this->*member)
            settings.setValue(QString::fromLatin1(key), *(this->*member));
    }
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
