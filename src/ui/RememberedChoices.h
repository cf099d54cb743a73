#pragma once

#include <QString>

#include <optional>

namespace Ui {

// The main dialog's choices kept between runs in the user's own settings: the paths, the
// user names, the ticks and the radio choices. Never a password, and never the parameters
// field, which may hold an obscured password. A value never saved stays empty, so a first
// start shows the dialog's own defaults.
struct RememberedChoices {
    // Where QSettings keeps them: the user's settings of this organisation and program.
    static constexpr const char* organisation = "Veskor Plc";
    static constexpr const char* application = "Zastrel";

    std::optional<QString> sourceFolder;
    std::optional<QString> outputPackage;
    std::optional<QString> managementServerUrl;
    std::optional<QString> primaryLocation;
    std::optional<QString> primaryUserName;
    std::optional<QString> secondaryLocation;
    std::optional<QString> secondaryUserName;
    std::optional<QString> signingFile;
    std::optional<QString> timestampUrl;
    std::optional<bool> managed;
    std::optional<bool> firewall;
    std::optional<bool> patch;
    std::optional<bool> trafficDetection;
    std::optional<bool> exploitPrevention;
    std::optional<bool> includeComponents;
    std::optional<bool> useSecondaryLocation;
    // "both", "32-bit" or "64-bit".
    std::optional<QString> architecture;
    // "silent", "non-interactive" or "interactive".
    std::optional<QString> installationType;

    static RememberedChoices Load();
    void Save() const;
};

// The folder last chosen through the Browse button of one field ("source", "output",
// "primary", "secondary", "signing"), kept between runs; empty when there is none or it is gone.
QString LastBrowsedFolder(const QString& field);
void RememberBrowsedFolder(const QString& field, const QString& folder);

}  // namespace Ui
