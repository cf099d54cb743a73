#include "ui/HalvexDlg.h"
#include "ui/HalvexDlgControls.h"

#include "cli/CommandLineParser.h"
#include "cli/InputChecks.h"
#include "cli/SigningChecks.h"
#include "core/Logging.h"
#include "core/PackageNames.h"
#include "core/PackageOptions.h"
#include "platform/StringTable.h"
#include "platform/TextConversion.h"
#include "platform/WorkFolder.h"
#include "ui/AboutDlg.h"
#include "ui/ApplicationIcon.h"
#include "ui/BuildRun.h"
#include "ui/DialogMessage.h"
#include "ui/DialogUnits.h"
#include "ui/FileFilter.h"
#include "ui/HalvexDlgTemplate.h"
#include "ui/OptionBindings.h"
#include "ui/RadioGroup.h"
#include "ui/RememberedChoices.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include <boost/system/system_error.hpp>

#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

namespace {

QString ToQString(const std::wstring& text)
{
    return QString::fromStdWString(text);
}

std::wstring LoadText(unsigned id)
{
    return Platform::LoadString(id).value_or(std::wstring());
}

// The additional-parameters text: the entries in map order, separated by one space;
// a value follows its name after a space and is quoted when it holds a space.
QString SetupParametersText(const PackageOptions::ParameterMap& parameters)
{
    std::wstring text;
    for (const auto& [name, value] : parameters) {
        if (!text.empty())
            text += L' ';
        text += name;
        if (value.empty())
            continue;
        text += L' ';
        text += value.find(L' ') == std::wstring::npos ? value : L'"' + value + L'"';
    }
    return ToQString(text);
}

// The longest value each limited field carries into a package. The fields themselves
// take longer text, so nothing typed or pasted is ever cut short: Build refuses it and
// names the field.
constexpr std::pair<int, int> kFieldLimits[] = {
    {IDC_PRIMARY_LOCATION, 150},   {IDC_PRIMARY_USER, 248},   {IDC_PRIMARY_PASSWORD, 50},
    {IDC_SECONDARY_LOCATION, 150}, {IDC_SECONDARY_USER, 248}, {IDC_SECONDARY_PASSWORD, 50},
};

// What every unusable -opwd token in the parameters field is called; the log keeps the detail.
const std::wstring kInvalidPassword = L"Option \u2013opwd is not a valid password.";

// The wait cursor for the time of a handler, restored however the handler ends.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A file:// address stands for the local path it names; anything else is taken as typed.
std::wstring LocalPath(const QString& typed)
{
    const QUrl address(typed);
    if (typed.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) && address.isLocalFile())
        return address.toLocalFile().toStdWString();
    return typed.toStdWString();
}

// A PEM file (its text starts with a "-----BEGIN" line) holds the certificate with its key;
// anything else is taken for a PKCS#12 file, whose check then says what is wrong with it.
bool IsPemFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4096).trimmed().startsWith("-----BEGIN");
}

// A control of the kind the template gives, with its text, inside `parent`.
QWidget* MakeControl(const Ui::ControlTemplate& control, const Ui::DialogUnits& units, QWidget* parent)
{
    const QString text = QString::fromLatin1(control.text != nullptr ? control.text : "");
    switch (control.kind) {
    case Ui::ControlKind::Group: {
        auto* box = new QGroupBox(text, parent);
        box->setFocusPolicy(Qt::NoFocus);
        // The template's frame runs through the middle of the title, half a text line (four
        // units) below the box's top, and the controls are placed against that line. Styles
        // that set the title above the frame would draw the top line a whole text line
        // lower, through the first row of controls.
        box->setStyleSheet(
            QStringLiteral("QGroupBox { margin-top: %1px; border: 1px solid palette(mid); border-radius: 2px; }"
                           "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                           " left: %2px; padding: 0 %3px; }")
                .arg(units.Y(4))
                .arg(units.X(5))
                .arg(units.X(1)));
        return box;
    }
    case Ui::ControlKind::Label: {
        auto* label = new QLabel(text, parent);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case Ui::ControlKind::Edit:
        return new QLineEdit(parent);
    case Ui::ControlKind::Password: {
        auto* edit = new QLineEdit(parent);
        edit->setEchoMode(QLineEdit::Password);
        return edit;
    }
    case Ui::ControlKind::Combo: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);  // the list grows only through RememberSecondaryLocation
        // Completing and matching keep the case typed: "veskor" is a location to check, not
        // the suite's own "VESKOR" service.
        combo->completer()->setCaseSensitivity(Qt::CaseSensitive);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        return combo;
    }
    case Ui::ControlKind::Button:
        return new QPushButton(text, parent);
    case Ui::ControlKind::Check:
        return new QCheckBox(text, parent);
    case Ui::ControlKind::Radio:
        return new QRadioButton(text, parent);
    }
    return nullptr;
}

}  // namespace

CHalvexDlg::CHalvexDlg(PackageOptions& packageOptions, QWidget* parent, Ui::IDialogHost& dialogHost)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      options(packageOptions),
      log(GetLogging()),
      icon(Ui::ApplicationIcon()),
      host(dialogHost)
{
    CreateControls();
    ConnectControls();
    const Ui::RememberedChoices remembered = Ui::RememberedChoices::Load();
    // The arguments choose the installation type only by setting one of the two flags,
    // which opening the dialog changes.
    const bool typeGiven = options.GetSilent() || options.GetNonInteractive();
    FillFromRemembered(remembered);
    OnInitDialog();
    RestoreAfterOpening(remembered, typeGiven);
}

void CHalvexDlg::done(int result)
{
    RememberChoices();
    QDialog::done(result);
}

int CHalvexDlg::DoModal()
{
    return exec();
}

QWidget* CHalvexDlg::GetDlgItem(int id) const
{
    const auto control = controls.find(id);
    return control == controls.end() ? nullptr : control->second;
}

QLineEdit* CHalvexDlg::Edit(int id) const
{
    return qobject_cast<QLineEdit*>(GetDlgItem(id));
}

QComboBox* CHalvexDlg::Combo(int id) const
{
    return qobject_cast<QComboBox*>(GetDlgItem(id));
}

QAbstractButton* CHalvexDlg::Button(int id) const
{
    return qobject_cast<QAbstractButton*>(GetDlgItem(id));
}

QRadioButton* CHalvexDlg::RadioButton(int id) const
{
    return qobject_cast<QRadioButton*>(GetDlgItem(id));
}

bool CHalvexDlg::IsTicked(int id) const
{
    const QAbstractButton* button = Button(id);
    if (const auto* box = qobject_cast<const QCheckBox*>(button))
        return box->checkState() == Qt::Checked;  // a third, indeterminate state counts as not ticked
    return button->isChecked();
}

void CHalvexDlg::SetEnabled(std::initializer_list<int> ids, bool enabled)
{
    for (const int id : ids)
        GetDlgItem(id)->setEnabled(enabled);
}

void CHalvexDlg::CreateControls()
{
    setFont(Ui::DialogFont());
    const Ui::DialogUnits units(font());
    setWindowTitle(QStringLiteral("Veskor Zastrel"));

    // The controls above the button row sit on a page inside a scroll area, which shows
    // scroll bars only when the screen is too small for the whole template. The button
    // row stays below it, in view at any size.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* page = new QWidget;
    page->setFixedSize(units.Size(Ui::kTemplateWidth, Ui::kButtonRowTop));
    auto* buttonRow = new QWidget(this);
    buttonRow->setFixedHeight(units.Size(Ui::kTemplateWidth, Ui::kTemplateHeight - Ui::kButtonRowTop).height());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scroll);
    layout->addWidget(buttonRow);

    // Controls are made in template order, which is also the keyboard focus order. Group
    // boxes are plain frames behind the controls, as in the template, so every position is
    // relative to the page.
    std::vector<QWidget*> tabOrder;
    QLabel* pendingLabel = nullptr;
    for (const Ui::ControlTemplate& control : Ui::MainDialogTemplate()) {
        const bool inButtonRow = control.y >= Ui::kButtonRowTop;
        QWidget* widget = MakeControl(control, units, inButtonRow ? buttonRow : page);
        const int top = inButtonRow ? control.y - Ui::kButtonRowTop : control.y;
        widget->setGeometry(units.Rect(control.x, top, control.width, control.height));
        if (widget->focusPolicy() & Qt::TabFocus)
            tabOrder.push_back(widget);
        if (control.id != kNoId) {
            widget->setObjectName(QString::number(control.id));
            controls.emplace(control.id, widget);
        }
        if (control.accessibleName != nullptr)
            widget->setAccessibleName(QString::fromLatin1(control.accessibleName));
        // A label names the control after it.
        if (pendingLabel != nullptr)
            pendingLabel->setBuddy(widget);
        pendingLabel = qobject_cast<QLabel*>(widget);
    }

    new Ui::RadioGroup({RadioButton(IDC_IN_PACKAGE), RadioButton(IDC_AUTOUPDATE_DOWNLOADS)}, this);
    new Ui::RadioGroup({RadioButton(IDC_BOTH_ARCHITECTURES), RadioButton(IDC_32BIT_ONLY), RadioButton(IDC_64BIT_ONLY)},
                       this);
    installationType = new Ui::RadioGroup(
        {RadioButton(IDC_SILENT), RadioButton(IDC_NON_INTERACTIVE), RadioButton(IDC_INTERACTIVE)}, this);

    scroll->setWidget(page);
    // The page and the button row each keep their own order; the template's runs across both.
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    // Only a button already inside the dialog can become its default.
    qobject_cast<QPushButton*>(GetDlgItem(IDOK))->setDefault(true);
    FitToScreen(page->size() + QSize(0, buttonRow->height()), *scroll);
}

void CHalvexDlg::FitToScreen(QSize designed, const QScrollArea& scroll)
{
    // Room for the window manager's title bar and frame, which are not the dialog's own.
    const int line = fontMetrics().height();
    const QSize room = screen()->availableGeometry().size() - QSize(line, 3 * line);
    if (designed.width() <= room.width() && designed.height() <= room.height()) {
        setFixedSize(designed);
        return;
    }
    // Too big for the screen: as large as fits, resizable, and never larger than the
    // template with its scroll bars. Only the page scrolls.
    const int bar = scroll.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QSize largest = designed + QSize(bar, bar);
    setMinimumSize(QSize(8 * line, 8 * line).boundedTo(room));
    setMaximumSize(largest);
    resize(largest.boundedTo(room));
}

void CHalvexDlg::ConnectControls()
{
    const auto onClick = [this](int id, auto handler) {
        connect(Button(id), &QAbstractButton::clicked, this, handler);
    };
    for (const int id :
         {IDC_MANAGED, IDC_IN_PACKAGE, IDC_AUTOUPDATE_DOWNLOADS, IDC_USE_SECONDARY, IDC_TRAFFIC_DETECTION})
        onClick(id, [this] { UpdateControls(); });
    onClick(IDC_PATCH, [this] {
        ApplyPatchRule();
        UpdateControls();
    });
    onClick(IDC_EXPLOIT_PREVENTION, [this] { ApplyExploitPreventionRule(); });
    onClick(IDC_BROWSE_SOURCE, [this] { BrowseForSource(); });
    onClick(IDC_BROWSE_OUTPUT, [this] { BrowseForPackage(); });
    onClick(IDC_BROWSE_PRIMARY, [this] { BrowseForPrimary(); });
    onClick(IDC_BROWSE_SECONDARY, [this] { BrowseForSecondary(); });
    onClick(IDC_BROWSE_SIGN_FILE, [this] { BrowseForSigningFile(); });
    onClick(IDOK, [this] { OnBuildPackage(); });
    onClick(IDCANCEL, [this] { reject(); });
    onClick(IDC_HELP, [this] { OpenHelp(); });

    // A pasted path loses the blanks and line ends around it, which a copy from a terminal
    // or a file manager often carries. Typing comes a character at a time and is left as
    // it is. The field is put right once the edit is over, not in the middle of it.
    for (QLineEdit* field : PathFields()) {
        pathFieldText[field] = field->text();
        connect(field, &QLineEdit::textChanged, this,
                [this, field](const QString& text) { pathFieldText[field] = text; });
        connect(field, &QLineEdit::textEdited, this, [this, field](const QString& now) {
            const QString& before = pathFieldText[field];
            qsizetype start = 0;
            while (start < before.size() && start < now.size() && before[start] == now[start])
                ++start;
            qsizetype end = 0;
            while (end < before.size() - start && end < now.size() - start &&
                   before[before.size() - 1 - end] == now[now.size() - 1 - end])
                ++end;
            const QString inserted = now.mid(start, now.size() - start - end);
            const QString trimmed = inserted.trimmed();
            if (inserted.size() < 2 || trimmed == inserted)
                return;
            const QString fixed = now.left(start) + trimmed + now.right(end);
            const qsizetype cursor = start + trimmed.size();
            QMetaObject::invokeMethod(
                field,
                [field, fixed, cursor] {
                    field->setText(fixed);
                    field->setCursorPosition(static_cast<int>(cursor));
                },
                Qt::QueuedConnection);
        });
    }

    // Watching the whole application sees F1 before any control does, wherever the
    // focus is, sees the secondary location lose the focus whether the box or its
    // edit field held it, and sees a drop before the field would insert its address.
    qApp->installEventFilter(this);
}

std::vector<QLineEdit*> CHalvexDlg::PathFields() const
{
    return {Edit(IDC_SOURCE_FOLDER), Edit(IDC_OUTPUT_PACKAGE), Edit(IDC_PRIMARY_LOCATION),
            Combo(IDC_SECONDARY_LOCATION)->lineEdit(), Edit(IDC_SIGN_FILE)};
}

void CHalvexDlg::ShowContextMenu()
{
    if (actions().isEmpty())
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addActions(actions());
    const QWidget* anchor = focusWidget() != nullptr ? focusWidget() : this;
    menu->popup(anchor->mapToGlobal(QPoint(0, anchor->height())));
}

void CHalvexDlg::OnInitDialog()
{
    // This host has no per-window system menu: the about entry lives in the dialog's
    // context menu instead.
    const std::wstring aboutText = LoadText(101);
    if (!aboutText.empty()) {
        auto* separator = new QAction(this);
        separator->setSeparator(true);
        auto* about = new QAction(ToQString(aboutText), this);
        about->setObjectName(QStringLiteral("about"));
        connect(about, &QAction::triggered, this, [this] { OnAbout(); });
        addActions({separator, about});
        setContextMenuPolicy(Qt::ActionsContextMenu);
    }
    setWindowIcon(icon);

    for (const Ui::TextBinding& binding : Ui::TextBindings())
        if (binding.opening == Ui::Opening::FromOption)
            Edit(binding.id)->setText(ToQString((options.*binding.get)()));
    // Every build reads its switches from the parameters field alone: a -nocheck given
    // on the command line shows there, where the user can see and remove it.
    QString parameters = SetupParametersText(options.GetSetupParameters());
    if (options.GetSkipChecks())
        parameters = parameters.isEmpty() ? QStringLiteral("-nocheck") : QStringLiteral("-nocheck ") + parameters;
    Edit(IDC_SETUP_PARAMETERS)->setText(parameters);
    // The key the arguments named beside a certificate stays with it; the password is
    // typed each time.
    argumentSignKey = options.GetSignKey();
    Edit(IDC_SIGN_FILE)
        ->setText(ToQString(options.GetSignPkcs12().empty() ? options.GetSignCertificate() : options.GetSignPkcs12()));

    for (const Ui::TickBinding& binding : Ui::TickBindings()) {
        const bool ticked = (options.*binding.get)();
        if (binding.otherwise == kNoId)
            Button(binding.id)->setChecked(ticked);
        else
            Button(ticked ? binding.id : binding.otherwise)->setChecked(true);
    }
    ApplyPatchRule();
    ApplyExploitPreventionRule();
    UpdateControls();

    // Silent is always selected on opening; a non-interactive choice that came with the
    // arguments shows beside it until the user picks one of the three.
    installationType->Tick(RadioButton(IDC_NON_INTERACTIVE), options.GetNonInteractive());
    options.SetSilent(true);
    installationType->Tick(RadioButton(IDC_SILENT), true);

    if (options.GetInclude32Bit() && options.GetInclude64Bit())
        Button(IDC_BOTH_ARCHITECTURES)->setChecked(true);
    else
        Button(options.GetInclude32Bit() ? IDC_32BIT_ONLY : IDC_64BIT_ONLY)->setChecked(true);

    // The secondary location always starts empty, with "VESKOR" as the one list entry.
    QComboBox* secondary = Combo(IDC_SECONDARY_LOCATION);
    secondary->addItem(QStringLiteral("VESKOR"));
    secondary->setCurrentIndex(-1);
    secondary->clearEditText();
}

void CHalvexDlg::FillFromRemembered(const Ui::RememberedChoices& remembered)
{
    // A value the arguments gave differs from its default and wins over the remembered one.
    const PackageOptions defaults;
    for (const Ui::TextBinding& binding : Ui::TextBindings()) {
        const std::optional<QString> value = binding.key != nullptr ? remembered.Text(binding.key) : std::nullopt;
        if (binding.opening == Ui::Opening::FromOption && value &&
            (options.*binding.get)() == (defaults.*binding.get)())
            (options.*binding.set)(value->toStdWString());
    }
    for (const Ui::TickBinding& binding : Ui::TickBindings()) {
        const std::optional<bool> value = remembered.Tick(binding.key);
        if (value && (options.*binding.get)() == (defaults.*binding.get)())
            (options.*binding.set)(*value);
    }
    const std::optional<QString> architecture = remembered.Text(Ui::kArchitectureChoice.key);
    if (architecture && options.GetInclude32Bit() && options.GetInclude64Bit()) {
        if (*architecture == QLatin1String("32-bit"))
            options.SetInclude64Bit(false);
        else if (*architecture == QLatin1String("64-bit"))
            options.SetInclude32Bit(false);
    }
}

void CHalvexDlg::RestoreAfterOpening(const Ui::RememberedChoices& remembered, bool typeGiven)
{
    if (const std::optional<QString> type = remembered.Text(Ui::kInstallationTypeChoice.key); type && !typeGiven) {
        // An unknown value picks the first choice.
        const auto& choices = Ui::kInstallationTypeChoice.choices;
        int id = choices.front().first;
        for (const auto& [choice, text] : choices)
            if (*type == QLatin1String(text))
                id = choice;
        installationType->Select(RadioButton(id));
    }
    for (const Ui::TextBinding& binding : Ui::TextBindings()) {
        const std::optional<QString> value = binding.key != nullptr ? remembered.Text(binding.key) : std::nullopt;
        if (binding.opening == Ui::Opening::Remembered && value && !value->isEmpty() && FieldText(binding.id).isEmpty())
            SetFieldText(binding.id, *value);
    }
    if (const QString location = FieldText(IDC_SECONDARY_LOCATION); !location.isEmpty())
        SelectOrAddLocation(location);
}

void CHalvexDlg::RememberChoices() const
{
    Ui::RememberedChoices choices;
    for (const Ui::TextBinding& binding : Ui::TextBindings())
        if (binding.key != nullptr)
            choices.Set(binding.key, FieldText(binding.id));
    for (const Ui::TickBinding& binding : Ui::TickBindings())
        choices.Set(binding.key, IsTicked(binding.id));
    for (const Ui::ChoiceBinding* binding : {&Ui::kArchitectureChoice, &Ui::kInstallationTypeChoice}) {
        const char* chosen = binding->choices.back().second;
        for (auto choice = binding->choices.rbegin(); choice != binding->choices.rend(); ++choice)
            if (IsTicked(choice->first))
                chosen = choice->second;
        choices.Set(binding->key, QString::fromLatin1(chosen));
    }
    choices.Save();
}

void CHalvexDlg::ApplyPatchRule()
{
    SetEnabled({IDC_SERVER_URL_LABEL, IDC_SERVER_URL}, IsTicked(IDC_PATCH));
}

void CHalvexDlg::ApplyExploitPreventionRule()
{
    // Exploit prevention needs the remote management system, so it holds that box ticked.
    if (IsTicked(IDC_EXPLOIT_PREVENTION)) {
        Button(IDC_MANAGED)->setChecked(true);
        UpdateControls();
        Button(IDC_MANAGED)->setEnabled(false);
    } else {
        Button(IDC_MANAGED)->setEnabled(true);
    }
}

void CHalvexDlg::UpdateControls()
{
    // A managed client that gets its components in the package is updated through the
    // management system: the update locations do not apply to it.
    const bool updating = !(IsTicked(IDC_MANAGED) && IsTicked(IDC_IN_PACKAGE));
    SetEnabled({IDC_PRIMARY_LOCATION, IDC_PRIMARY_USER, IDC_PRIMARY_PASSWORD, IDC_PRIMARY_LOCATION_LABEL,
                IDC_PRIMARY_USER_LABEL, IDC_PRIMARY_PASSWORD_LABEL, IDC_BROWSE_PRIMARY, IDC_USE_SECONDARY},
               updating);
    SetEnabled({IDC_SECONDARY_LOCATION, IDC_SECONDARY_USER, IDC_SECONDARY_PASSWORD, IDC_SECONDARY_LOCATION_LABEL,
                IDC_SECONDARY_USER_LABEL, IDC_SECONDARY_PASSWORD_LABEL, IDC_BROWSE_SECONDARY},
               updating && IsTicked(IDC_USE_SECONDARY));
    SetEnabled({IDC_OS_TYPE_LABEL, IDC_32BIT_ONLY, IDC_64BIT_ONLY, IDC_BOTH_ARCHITECTURES},
               IsTicked(IDC_IN_PACKAGE) && (IsTicked(IDC_PATCH) || IsTicked(IDC_TRAFFIC_DETECTION)));
}

std::wstring CHalvexDlg::BrowseForFolder(unsigned titleId, const QString& field, const QString& current)
{
    QFileDialog browser(this, ToQString(LoadText(titleId)));
    browser.setFileMode(QFileDialog::Directory);
    browser.setOption(QFileDialog::ShowDirsOnly);
    StartBrowserIn(browser, StartFolder(current, false, field));
    if (host.RunModal(browser) != QDialog::Accepted)
        return {};
    const QStringList chosen = browser.selectedFiles();
    if (chosen.isEmpty())
        return {};
    Ui::RememberBrowsedFolder(field, chosen.first());
    return chosen.first().toStdWString();
}

QString CHalvexDlg::StartFolder(const QString& current, bool namesFile, const QString& field)
{
    // The folder the field names (or holds the file it names) when that is a local folder;
    // a UNC path or an address is not one here.
    if (QDir::isAbsolutePath(current)) {
        const QFileInfo info(current);
        const QString folder = namesFile ? info.absolutePath() : info.absoluteFilePath();
        if (QFileInfo(folder).isDir())
            return folder;
    }
    return Ui::LastBrowsedFolder(field);
}

void CHalvexDlg::StartBrowserIn(QFileDialog& browser, const QString& folder)
{
    // Without a folder of its own the browser keeps its usual start.
    if (!folder.isEmpty())
        browser.setDirectory(folder);
}

void CHalvexDlg::BrowseForSource()
{
    const std::wstring folder = BrowseForFolder(120, QStringLiteral("source"), Edit(IDC_SOURCE_FOLDER)->text());
    if (!folder.empty())
        Edit(IDC_SOURCE_FOLDER)->setText(ToQString(folder));
}

void CHalvexDlg::BrowseForPrimary()
{
    const std::wstring folder = BrowseForFolder(122, QStringLiteral("primary"), Edit(IDC_PRIMARY_LOCATION)->text());
    if (!folder.empty())
        Edit(IDC_PRIMARY_LOCATION)->setText(ToQString(folder));
}

void CHalvexDlg::BrowseForSecondary()
{
    const std::wstring folder =
        BrowseForFolder(123, QStringLiteral("secondary"), Combo(IDC_SECONDARY_LOCATION)->currentText());
    if (folder.empty())
        return;
    Combo(IDC_SECONDARY_LOCATION)->lineEdit()->setText(ToQString(folder));
    SelectOrAddLocation(ToQString(folder));
}

void CHalvexDlg::BrowseForPackage()
{
    QFileDialog saveBox(this, ToQString(LoadText(119)));
    saveBox.setAcceptMode(QFileDialog::AcceptSave);
    saveBox.setFileMode(QFileDialog::AnyFile);
    saveBox.setDefaultSuffix(QStringLiteral("exe"));
    saveBox.setNameFilters(Ui::ToNameFilters(LoadText(121)));
    StartBrowserIn(saveBox, StartFolder(Edit(IDC_OUTPUT_PACKAGE)->text(), true, QStringLiteral("output")));
    saveBox.selectFile(QString::fromLatin1(kDefaultPackageName.narrow));
    saveBox.setOption(QFileDialog::DontConfirmOverwrite);
    if (host.RunModal(saveBox) != QDialog::Accepted)
        return;
    const QStringList chosen = saveBox.selectedFiles();
    if (chosen.isEmpty())
        return;
    Ui::RememberBrowsedFolder(QStringLiteral("output"), QFileInfo(chosen.first()).absolutePath());
    Edit(IDC_OUTPUT_PACKAGE)->setText(chosen.first());
}

void CHalvexDlg::BrowseForSigningFile()
{
    QFileDialog browser(this, QStringLiteral("Signing certificate or PKCS#12 file"));
    browser.setFileMode(QFileDialog::ExistingFile);
    browser.setNameFilters(
        {QStringLiteral("Certificates and keys (*.p12 *.pfx *.pem)"), QStringLiteral("All files (*)")});
    StartBrowserIn(browser, StartFolder(Edit(IDC_SIGN_FILE)->text(), true, QStringLiteral("signing")));
    if (host.RunModal(browser) != QDialog::Accepted)
        return;
    const QStringList chosen = browser.selectedFiles();
    if (chosen.isEmpty())
        return;
    Ui::RememberBrowsedFolder(QStringLiteral("signing"), QFileInfo(chosen.first()).absolutePath());
    Edit(IDC_SIGN_FILE)->setText(chosen.first());
}

void CHalvexDlg::SelectOrAddLocation(const QString& location)
{
    QComboBox* secondary = Combo(IDC_SECONDARY_LOCATION);
    const int existing = secondary->findText(location, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (existing >= 0) {
        secondary->setCurrentIndex(existing);
        return;
    }
    // Adding keeps the list sorted and leaves the edit field as it is.
    int position = 0;
    while (position < secondary->count() &&
           QString::compare(secondary->itemText(position), location, Qt::CaseInsensitive) <= 0)
        ++position;
    const QString shown = secondary->currentText();
    const QSignalBlocker quiet(secondary);
    secondary->insertItem(position, location);
    secondary->setEditText(shown);
}

void CHalvexDlg::RememberSecondaryLocation()
{
    const QString location = Combo(IDC_SECONDARY_LOCATION)->currentText();
    if (!location.isEmpty())
        SelectOrAddLocation(location);
}

void CHalvexDlg::OnAbout()
{
    CAboutDlg about(this);
    host.RunModal(about);
}

void CHalvexDlg::OpenHelp()
{
    const std::wstring address(documentationAddress);
    if (host.OpenAddress(address))
        return;
    // Without a browser the user still needs the address: shown where it can be copied.
    const std::optional<std::wstring> caption = Platform::LoadString(117);
    if (!caption)
        return;
    QMessageBox box(QMessageBox::Information, ToQString(*caption),
                    QStringLiteral("The help could not be opened in a web browser. It is at:\n\n") + ToQString(address),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    host.RunModal(box);
}

void CHalvexDlg::OnBuildPackage()
{
    // The toolkit cannot carry an exception through its event loop, and ending the
    // program would throw away everything typed: an error stops this build only, with
    // its reason in a box, and the dialog stays as it was.
    try {
        BuildPackage();
    } catch (const std::exception& error) {
        ReportBuildError(QString::fromUtf8(error.what()));
    } catch (...) {
        ReportBuildError(QString());
    }
}

void CHalvexDlg::ReportBuildError(const QString& reason)
{
    log << "Package build stopped by an error:" << reason.toStdWString() << "\n";
    if (reason.isEmpty())
        ShowMessage(Platform::LoadFormattedString(116, log.GetLogFilePath()).value_or(std::wstring()),
                    QMessageBox::Critical);
    else
        ShowCheckMessage({reason.toStdWString(), kNoId});
}

void CHalvexDlg::BuildPackage()
{
    const WaitCursor waitCursor;
    // The key's password lives in the options only for the time of one build.
    const auto forgetPassword = qScopeGuard([this] { options.SetSignPassword(std::string()); });
    RememberChoices();
    if (const std::optional<Refusal> refusal = OverlongField()) {
        ShowCheckMessage(*refusal);
        return;
    }
    if (const std::optional<Refusal> refusal = TransferToOptions()) {
        ShowCheckMessage(*refusal);
        return;
    }
    if (!ValidateInput())
        return;
    if (!ConfirmReplacement())
        return;
    if (Ui::BuildRun(*this, host, log).Run(options, WrittenPackage()) == Ui::BuildRun::Outcome::EndRequested) {
        reject();
        return;
    }
    raise();
    activateWindow();
}

bool CHalvexDlg::ConfirmReplacement()
{
    const std::wstring package = WrittenPackage();
    if (!QFileInfo::exists(ToQString(package)))
        return true;
    const std::optional<std::wstring> caption = Platform::LoadString(117);
    if (!caption)
        return false;
    QMessageBox box(QMessageBox::Warning, ToQString(*caption),
                    ToQString(package) + QStringLiteral(" already exists.\nDo you want to replace it?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting)
        QApplication::restoreOverrideCursor();
    const bool replace = host.RunModal(box) == QMessageBox::Yes;
    if (waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!replace) {
        log << "The package exists and the user chose to keep it:" << package << "\n";
        Edit(IDC_OUTPUT_PACKAGE)->setFocus(Qt::OtherFocusReason);
    }
    return replace;
}

std::wstring CHalvexDlg::WrittenPackage() const
{
    if (!options.GetOutputIsFolder())
        return options.GetOutputPackage();
    return QDir(ToQString(options.GetOutputPackage()))
        .filePath(QString::fromLatin1(kDefaultPackageName.narrow))
        .toStdWString();
}

QString CHalvexDlg::FieldText(int id) const
{
    if (const QComboBox* combo = Combo(id))
        return combo->currentText();
    return Edit(id)->text();
}

void CHalvexDlg::SetFieldText(int id, const QString& text)
{
    if (QComboBox* combo = Combo(id))
        combo->lineEdit()->setText(text);
    else
        Edit(id)->setText(text);
}

std::optional<CHalvexDlg::Refusal> CHalvexDlg::OverlongField() const
{
    for (const auto& [id, limit] : kFieldLimits) {
        const QWidget* field = GetDlgItem(id);
        const qsizetype length = FieldText(id).size();
        // A greyed field does not go into the package.
        if (length <= limit || !field->isEnabledTo(this))
            continue;
        return Refusal{field->accessibleName().toStdWString() + L" is " + std::to_wstring(length) +
                           L" characters long; it can hold at most " + std::to_wstring(limit) + L". Nothing was built.",
                       id};
    }
    return std::nullopt;
}

std::optional<CHalvexDlg::Refusal> CHalvexDlg::TransferToOptions()
{
    const auto transfer = [this](Ui::Transfer stage) {
        for (const Ui::TextBinding& binding : Ui::TextBindings())
            if (binding.transfer == stage) {
                const QString text = FieldText(binding.id);
                (options.*binding.set)(binding.localPath ? LocalPath(text) : text.toStdWString());
            }
        for (const Ui::TickBinding& binding : Ui::TickBindings())
            if (binding.transfer == stage)
                (options.*binding.set)(IsTicked(binding.id));
    };
    transfer(Ui::Transfer::BeforeParameters);
    if (IsTicked(IDC_BOTH_ARCHITECTURES)) {
        options.SetInclude32Bit(true);
        options.SetInclude64Bit(true);
    } else {
        options.SetInclude32Bit(IsTicked(IDC_32BIT_ONLY));
        options.SetInclude64Bit(IsTicked(IDC_64BIT_ONLY));
    }
    options.SetNonInteractive(IsTicked(IDC_NON_INTERACTIVE));
    options.SetSilent(IsTicked(IDC_SILENT));

    // The parameters field acts as on the command line, over the values copied above.
    // What only that field can switch on starts off each time, so a switch deleted from
    // the field stops applying.
    options.SetSkipChecks(false);
    options.SetCommandLineMode(false);
    options.GetSetupParameters().clear();
    const std::wstring parameters = Edit(IDC_SETUP_PARAMETERS)->text().toStdWString();
    if (!parameters.empty()) {
        // Only an unusable -opwd token stops the parse. Its reason may be the password
        // library's internal text, which belongs in the log, not in front of the user.
        try {
            ParseArguments(Platform::NarrowHostText(parameters), options, log);
        } catch (const std::exception& error) {
            log << "The additional setup parameters were refused:"
                << QString::fromLocal8Bit(error.what()).toStdWString() << "\n";
            return Refusal{kInvalidPassword, IDC_SETUP_PARAMETERS};
        } catch (...) {
            return Refusal{kInvalidPassword, IDC_SETUP_PARAMETERS};
        }
    }

    transfer(Ui::Transfer::AfterParameters);
    TransferSigning();
    return std::nullopt;
}

void CHalvexDlg::TransferSigning()
{
    // Without a certificate the package is not signed, whatever the remembered time-stamp
    // server; the other signing options the arguments gave still reach the check.
    const QString file = QString::fromStdWString(LocalPath(Edit(IDC_SIGN_FILE)->text()));
    const bool signing = !file.isEmpty();
    const bool pem = signing && IsPemFile(file);
    options.SetSignPkcs12(signing && !pem ? file.toStdWString() : std::wstring());
    options.SetSignCertificate(pem ? file.toStdWString() : std::wstring());
    options.SetSignKey(pem ? (argumentSignKey.empty() ? file.toStdWString() : argumentSignKey) : std::wstring());
    options.SetSignPassword(signing ? Edit(IDC_SIGN_PASSWORD)->text().toStdString() : std::string());
    options.SetTimestampUrl(signing ? Edit(IDC_TIMESTAMP_URL)->text().toStdWString() : std::wstring());
}

bool CHalvexDlg::ValidateInput()
{
    const std::optional<Refusal> problem = FirstInputProblem();
    if (!problem)
        return true;
    if (!problem->text.empty())
        ShowCheckMessage(*problem);
    return false;
}

void CHalvexDlg::ShowCheckMessage(const Refusal& problem)
{
    if (const std::optional<std::wstring> heading = Platform::LoadString(118))
        ShowMessage(*heading + L"\n\n" + problem.text + L"\n", QMessageBox::Critical);
    // The user goes on where the message points.
    if (QWidget* field = GetDlgItem(problem.field); field && field->isEnabledTo(this))
        field->setFocus(Qt::OtherFocusReason);
}

std::optional<CHalvexDlg::Refusal> CHalvexDlg::Failure(const InputProblem& problem, int field)
{
    // The text is empty when the table lacks it, which suppresses the box.
    return Refusal{Platform::LoadFormattedString(problem.text, problem.value).value_or(std::wstring()), field};
}

std::optional<CHalvexDlg::Refusal> CHalvexDlg::FirstInputProblem()
{
    // The text of the first failed check and the field it is about.
    try {
        if (const auto problem = CheckSourceInput(options.GetSourceFolder(), log))
            return Failure(*problem, IDC_SOURCE_FOLDER);
    } catch (const boost::system::system_error& error) {
        // A file, or a folder that cannot be listed: the same answer as a folder without
        // the marker, with the system's reason beside it.
        Refusal refusal = *Failure({110, options.GetSourceFolder()}, IDC_SOURCE_FOLDER);
        if (!refusal.text.empty())
            refusal.text += L"\n" + QString::fromLocal8Bit(error.code().message()).toStdWString();
        return refusal;
    }
    if (std::optional<Refusal> refusal = OutputProblem())
        return refusal;
    // A signing request is checked even with -nocheck, as on the command line.
    if (options.GetSigning()) {
        if (const auto problem = CheckSigningOptions(options)) {
            log << "Signing option error:" << *problem << "\n";
            const bool aboutTimestamp = problem->find(L"(-timestamp)") != std::wstring::npos;
            return Refusal{*problem, aboutTimestamp ? IDC_TIMESTAMP_URL : IDC_SIGN_FILE};
        }
    }

    if (options.GetSkipChecks())
        return std::nullopt;

    if (IsTicked(IDC_PATCH)) {
        if (const auto problem = CheckServerInput(options.GetManagementServerUrl(), log))
            return Failure(*problem, IDC_SERVER_URL);
    }
    if (GetDlgItem(IDC_PRIMARY_LOCATION)->isEnabledTo(this)) {
        if (const auto problem = CheckPrimaryInput(options.GetPrimaryUpdateLocation(), false, log))
            return Failure(*problem, IDC_PRIMARY_LOCATION);
    }
    if (options.GetUseSecondaryLocation() && GetDlgItem(IDC_SECONDARY_LOCATION)->isEnabledTo(this)) {
        const auto problem = CheckSecondaryInput(options.GetSecondaryUpdateLocation(), options.GetSecondaryUserName(),
                                                 options.GetSecondaryPassword(), log);
        if (problem) {
            // Text 131 is about the credentials: the first blank one is where to go on.
            const int field = problem->text != 131                     ? IDC_SECONDARY_LOCATION
                              : options.GetSecondaryUserName().empty() ? IDC_SECONDARY_USER
                                                                       : IDC_SECONDARY_PASSWORD;
            return Failure(*problem, field);
        }
    }
    return std::nullopt;
}

std::optional<CHalvexDlg::Refusal> CHalvexDlg::OutputProblem()
{
    // A relative output would land wherever the program happened to be started from.
    if (const std::wstring& output = options.GetOutputPackage();
        !output.empty() && !QDir::isAbsolutePath(ToQString(output))) {
        log << "Destination path is relative:" << output << "\n";
        Refusal refusal = *Failure({111, output}, IDC_OUTPUT_PACKAGE);
        if (!refusal.text.empty())
            refusal.text += L"\nEnter the full path of the package or of its folder.";
        return refusal;
    }
    // A folder the run cannot write into gets the system's reason now, not a failed build.
    if (const auto [folder, error] = UnwritableOutputFolder(); error != 0) {
        const std::wstring reason = Platform::WidenHostText(Platform::SystemErrorText(error));
        log << "The output folder cannot be written:" << folder << reason << "\n";
        Refusal refusal = *Failure({111, options.GetOutputPackage()}, IDC_OUTPUT_PACKAGE);
        if (!refusal.text.empty())
            refusal.text += L"\nThe folder \"" + folder + L"\" cannot be written: " + reason;
        return refusal;
    }
    if (const auto problem = CheckOutputInput(options, log))
        return Failure(*problem, IDC_OUTPUT_PACKAGE);
    return std::nullopt;
}

std::pair<std::wstring, int> CHalvexDlg::UnwritableOutputFolder() const
{
    if (options.GetOutputPackage().empty())
        return {std::wstring(), 0};
    // The run makes missing folders: the nearest one that exists is the one to write into.
    QString folder = ToQString(options.GetOutputPackage());
    while (!QFileInfo::exists(folder) && QFileInfo(folder).path() != folder)
        folder = QFileInfo(folder).path();
    if (!QFileInfo(folder).isDir())
        folder = QFileInfo(folder).path();
    const std::wstring path = folder.toStdWString();
    return {path, ::access(Platform::NarrowHostText(path).c_str(), W_OK | X_OK) == 0 ? 0 : errno};
}

void CHalvexDlg::ShowMessage(const std::wstring& text, QMessageBox::Icon icon)
{
    Ui::ShowDialogMessage(*this, host, text, icon);
}

bool CHalvexDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        QComboBox* secondary = Combo(IDC_SECONDARY_LOCATION);
        if (watched == secondary || watched == secondary->lineEdit()) {
            const auto* focus = static_cast<QFocusEvent*>(event);
            // Opening the drop-down list or moving between the box and its own field
            // does not count as leaving it.
            QWidget* next = QApplication::focusWidget();
            if (focus->reason() != Qt::PopupFocusReason && next != secondary && next != secondary->lineEdit())
                RememberSecondaryLocation();
        }
    } else if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
               event->type() == QEvent::Drop) {
        // A file or folder dropped onto a path field replaces the field with its path; a
        // field would insert its address into the text that is there.
        const auto fields = PathFields();
        auto* field = qobject_cast<QLineEdit*>(watched);
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> urls = drop->mimeData() != nullptr ? drop->mimeData()->urls() : QList<QUrl>();
        if (field && std::find(fields.begin(), fields.end(), field) != fields.end() && urls.size() == 1 &&
            urls.front().isLocalFile()) {
            drop->acceptProposedAction();
            if (event->type() == QEvent::Drop) {
                field->setText(urls.front().toLocalFile());
                field->setFocus(Qt::OtherFocusReason);
            }
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        auto* target = qobject_cast<QWidget*>(watched);
        if (key->key() == Qt::Key_F1 && !(key->modifiers() & Qt::ShiftModifier) && target && target->window() == this) {
            OpenHelp();
            return true;
        }
        // The keyboard's way to the context menu, which holds the about box.
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier && target && target->window() == this) {
            ShowContextMenu();
            return true;
        }
        // Alt with a letter that no enabled control took as its mnemonic would otherwise
        // type the letter into the focused field. Ctrl+Alt stays: it is AltGr on some
        // keyboards.
        const Qt::KeyboardModifiers modifiers = key->modifiers();
        if (target && target->window() == this && (modifiers & Qt::AltModifier) && !(modifiers & Qt::ControlModifier) &&
            !key->text().isEmpty())
            return true;
    }
    return QDialog::eventFilter(watched, event);
}
