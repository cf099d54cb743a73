#pragma once

#include "ui/DialogHost.h"

#include <QDialog>
#include <QIcon>
#include <QMessageBox>

#include <exception>

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>

class CLogging;
class PackageOptions;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QAbstractButton;

namespace Ui {
class RadioGroup;
}

// The main dialog: shows the package options in its controls, keeps the dependent
// controls enabled or greyed, and on Build Package copies the controls back, checks
// them and runs a packaging job with a progress window. It stays open until Cancel.
class CHalvexDlg : public QDialog {
    Q_OBJECT
public:
    // The address of the product's online documentation, opened by Help and F1.
    static constexpr std::wstring_view documentationAddress =
        L"https://www.veskor.com/support/documentation/zastrel";

    explicit CHalvexDlg(PackageOptions& options, QWidget* parent = nullptr,
                        Ui::IDialogHost& host = Ui::DesktopDialogHost());

    // Runs the dialog modally until Cancel. An error that escaped one of its handlers
    // (an unusable -opwd in the parameters field, a source path naming a file) ends the
    // dialog and is raised again here, for start-up's error handling.
    int DoModal();

    // The control with this template id (nothing for an unknown id).
    QWidget* GetDlgItem(int id) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void ConnectControls();
    void OnInitDialog();

    void ApplyPatchRule();
    void ApplyExploitPreventionRule();
    void UpdateControls();

    std::wstring BrowseForFolder(unsigned titleId);
    void BrowseForSource();
    void BrowseForPackage();
    void BrowseForPrimary();
    void BrowseForSecondary();
    void SelectOrAddLocation(const QString& location);
    void RememberSecondaryLocation();

    void OnAbout();
    void OpenHelp();

    void OnBuildPackage();
    void BuildPackage();
    void TransferToOptions();
    bool ValidateInput();
    std::optional<std::wstring> FirstInputProblem();
    void ShowMessage(const std::wstring& text, QMessageBox::Icon icon);

    QLineEdit* Edit(int id) const;
    QComboBox* Combo(int id) const;
    QAbstractButton* Button(int id) const;
    bool IsTicked(int id) const;
    void SetEnabled(std::initializer_list<int> ids, bool enabled);

    PackageOptions& options;
    CLogging& log;
    QIcon icon;
    Ui::IDialogHost& host;
    std::map<int, QWidget*> controls;
    Ui::RadioGroup* installationType = nullptr;
    std::exception_ptr escapedError;
};
