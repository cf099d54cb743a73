#pragma once

#include "ui/DialogHost.h"

#include <QDialog>
#include <QIcon>
#include <QMessageBox>

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CLogging;
struct InputProblem;
class PackageOptions;
class QAbstractButton;
class QComboBox;
class QFileDialog;
class QLineEdit;
class QRadioButton;
class QScrollArea;

namespace Ui {
class RadioGroup;
class RememberedChoices;
}  // namespace Ui

// The main dialog: shows the package options in its controls, keeps the dependent
// controls enabled or greyed, and on Build Package copies the controls back, checks
// them and runs a packaging job with a progress window. It stays open until Cancel.
class CHalvexDlg : public QDialog {
    Q_OBJECT
public:
    // The address of the product's online documentation, opened by Help and F1.
    static constexpr std::wstring_view documentationAddress = L"https://www.veskor.com/support/documentation/zastrel";

    explicit CHalvexDlg(PackageOptions& options, QWidget* parent = nullptr,
                        Ui::IDialogHost& host = Ui::DesktopDialogHost());

    // Runs the dialog modally until Cancel. An error in a build (an unusable -opwd in the
    // parameters field, a source path naming a file) is reported in a box and the dialog
    // stays open.
    int DoModal();

    // The control with this template id (nothing for an unknown id).
    QWidget* GetDlgItem(int id) const;

    // Ending the dialog, however it ends, keeps the user's choices for the next run.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void FitToScreen(QSize designed, const QScrollArea& scroll);
    void ConnectControls();
    void OnInitDialog();
    void FillFromRemembered(const Ui::RememberedChoices& remembered);
    void RestoreAfterOpening(const Ui::RememberedChoices& remembered, bool typeGiven);
    void RememberChoices() const;

    void ApplyPatchRule();
    void ApplyExploitPreventionRule();
    void UpdateControls();

    std::wstring BrowseForFolder(unsigned titleId, const QString& field, const QString& current);
    static QString StartFolder(const QString& current, bool namesFile, const QString& field);
    static void StartBrowserIn(QFileDialog& browser, const QString& folder);
    void BrowseForSource();
    void BrowseForPackage();
    void BrowseForPrimary();
    void BrowseForSecondary();
    void BrowseForSigningFile();
    void SelectOrAddLocation(const QString& location);
    void RememberSecondaryLocation();

    void OnAbout();
    void OpenHelp();
    void ShowContextMenu();
    // The fields that take a path or a location: a drop or a paste is put right there.
    std::vector<QLineEdit*> PathFields() const;

    void OnBuildPackage();
    void BuildPackage();
    void ReportBuildError(const QString& reason);
    // A reason not to build, and the control it is about (kNoId for none).
    struct Refusal {
        std::wstring text;
        int field;
    };
    // The text of a field or of an editable list's field.
    QString FieldText(int id) const;
    void SetFieldText(int id, const QString& text);
    // The package a successful build has written.
    std::wstring WrittenPackage() const;
    // True when no package is in the way, or the user agrees to replace it.
    bool ConfirmReplacement();
    // The folder the package goes into (or the nearest one that exists), and the system
    // error code for writing there, 0 when it can be written.
    std::pair<std::wstring, int> UnwritableOutputFolder() const;
    std::optional<Refusal> OverlongField() const;
    std::optional<Refusal> TransferToOptions();
    void TransferSigning();
    bool ValidateInput();
    std::optional<Refusal> FirstInputProblem();
    // The output's own checks: an absolute path, a folder that can be written, a usable name.
    std::optional<Refusal> OutputProblem();
    static std::optional<Refusal> Failure(const InputProblem& problem, int field);
    void ShowCheckMessage(const Refusal& problem);
    void ShowMessage(const std::wstring& text, QMessageBox::Icon icon);

    QLineEdit* Edit(int id) const;
    QComboBox* Combo(int id) const;
    QAbstractButton* Button(int id) const;
    QRadioButton* RadioButton(int id) const;
    bool IsTicked(int id) const;
    void SetEnabled(std::initializer_list<int> ids, bool enabled);

    PackageOptions& options;
    CLogging& log;
    QIcon icon;
    Ui::IDialogHost& host;
    std::map<int, QWidget*> controls;
    Ui::RadioGroup* installationType = nullptr;
    // The -signkey the arguments gave, kept for the certificate they gave with it.
    std::wstring argumentSignKey;
    // Each path field's text before the edit under way.
    std::map<QLineEdit*, QString> pathFieldText;
};
