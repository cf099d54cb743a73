#pragma once

#include <QString>
#include <QVariant>

#include <map>
#include <optional>

namespace Ui {

// The main dialog's choices kept between runs in the user's own settings, each under its
// key (the dialog's option bindings name them): the paths, the user names, the ticks and the
// radio choices. Never a password, and never the parameters field, which may hold an
// obscured password. A value never saved is absent, so a first start shows the dialog's
// own defaults.
class RememberedChoices {
public:
    // Where QSettings keeps them: the user's settings of this organisation and program.
    static constexpr const char* organisation = "Veskor Plc";
    static constexpr const char* application = "Zastrel";

    static RememberedChoices Load();
    // Writes every value set, leaving the others as they are.
    void Save() const;

    std::optional<QString> Text(const char* key) const;
    std::optional<bool> Tick(const char* key) const;
    void Set(const char* key, const QVariant& value);

private:
    std::map<QString, QVariant> values;
};

// The folder last chosen through the Browse button of one field ("source", "output",
// "primary", "secondary", "signing"), kept between runs; empty when there is none or it is gone.
QString LastBrowsedFolder(const QString& field);
void RememberBrowsedFolder(const QString& field, const QString& folder);

}  // namespace Ui
