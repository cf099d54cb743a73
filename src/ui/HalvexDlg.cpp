#include "ui/HalvexDlg.h"
#include "ui/HalvexDlgControls.h"

#include "core/Logging.h"
#include "core/PackageOptions.h"
#include "core/StopRequests.h"
#include "cli/CommandLineParser.h"
#include "cli/InputChecks.h"
#include "cli/SigningChecks.h"
#include "packaging/PackagingJob.h"
#include "platform/ConsoleControl.h"
#include "platform/Interrupt.h"
#include "platform/StringTable.h"
#include "platform/TextConversion.h"
#include "platform/WorkFolder.h"
#include "ui/AboutDlg.h"
#include "ui/ApplicationIcon.h"
#include "ui/DialogUnits.h"
#include "ui/FileFilter.h"
#include "ui/ProgressDlg.h"
#include "ui/RadioGroup.h"
#include "ui/RememberedChoices.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QDropEvent>
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
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <boost/system/system_error.hpp>

#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <exception>
#include <memory>
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
    {IDC_PRIMARY_LOCATION, 150}, {IDC_PRIMARY_USER, 248},   {IDC_PRIMARY_PASSWORD, 50},
    {IDC_SECONDARY_LOCATION, 150}, {IDC_SECONDARY_USER, 248}, {IDC_SECONDARY_PASSWORD, 50},
};

// What every unusable -opwd token in the parameters field is called; the log keeps the detail.
const std::wstring kInvalidPassword = L"Option \u2013opwd is not a valid password.";

// SIGINT, SIGTERM or SIGHUP (the terminal the program came from closing) during a build
// stop it as Cancel does; the dialog then ends. A second lets the clean-up go on, a third
// ends the program at once (OnStopRequest).
// Routes the end requests to the build for as long as it runs.
class EndRequestsStopTheBuild {
public:
    EndRequestsStopTheBuild()
    {
        ForgetStopRequests();
        Platform::SetConsoleCtrlHandler(OnStopRequest, true);
    }
    ~EndRequestsStopTheBuild() { Platform::SetConsoleCtrlHandler(OnStopRequest, false); }
    EndRequestsStopTheBuild(const EndRequestsStopTheBuild&) = delete;
    EndRequestsStopTheBuild& operator=(const EndRequestsStopTheBuild&) = delete;
};

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

// Where the button row starts, in dialog units: below the last group box.
constexpr int kButtonRowTop = 360;

// A PEM file (its text starts with a "-----BEGIN" line) holds the certificate with its key;
// anything else is taken for a PKCS#12 file, whose check then says what is wrong with it.
bool IsPemFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4096).trimmed().startsWith("-----BEGIN");
}

}  // namespace

CHalvexDlg::CHalvexDlg(PackageOptions& packageOptions, QWidget* parent, Ui::IDialogHost& dialogHost)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint),
      options(packageOptions), log(GetLogging()), icon(Ui::ApplicationIcon()), host(dialogHost)
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
    page->setFixedSize(units.Size(488, kButtonRowTop));
    auto* buttonRow = new QWidget(this);
    buttonRow->setFixedHeight(units.Size(488, 387 - kButtonRowTop).height());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scroll);
    layout->addWidget(buttonRow);
    std::vector<QWidget*> tabOrder;

    // Controls are made in template order, which is also the keyboard focus order.
    // Group boxes are plain frames behind the controls, as in the template, so every
    // position is relative to the page.
    const auto place = [&](QWidget* widget, int id, int x, int y, int w, int h) {
        const int top = widget->parentWidget() == buttonRow ? y - kButtonRowTop : y;
        widget->setGeometry(units.Rect(x, top, w, h));
        if (widget->focusPolicy() & Qt::TabFocus)
            tabOrder.push_back(widget);
        if (id != kNoId) {
            widget->setObjectName(QString::number(id));
            controls.emplace(id, widget);
        }
        return widget;
    };
    const auto group = [&](const char* text, int x, int y, int w, int h) {
        auto* box = new QGroupBox(QString::fromLatin1(text), page);
        box->setFocusPolicy(Qt::NoFocus);
        // The template's frame runs through the middle of the title, half a text line (four
        // units) below the box's top, and the controls are placed against that line. Styles
        // that set the title above the frame would draw the top line a whole text line
        // lower, through the first row of controls.
        box->setStyleSheet(QStringLiteral(
            "QGroupBox { margin-top: %1px; border: 1px solid palette(mid); border-radius: 2px; }"
            "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
            " left: %2px; padding: 0 %3px; }")
                               .arg(units.Y(4)).arg(units.X(5)).arg(units.X(1)));
        place(box, kNoId, x, y, w, h);
    };
    const auto label = [&](int id, const char* text, int x, int y, int w, int h) {
        auto* widget = new QLabel(QString::fromLatin1(text), page);
        widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(widget, id, x, y, w, h);
        return widget;
    };
    const auto edit = [&](int id, int x, int y, int w, int h) {
        auto* widget = new QLineEdit(page);
        place(widget, id, x, y, w, h);
        return widget;
    };
    const auto button = [&](int id, const char* text, int x, int y, int w, int h) {
        auto* widget = new QPushButton(QString::fromLatin1(text), y >= kButtonRowTop ? buttonRow : page);
        place(widget, id, x, y, w, h);
        return widget;
    };
    const auto check = [&](int id, const char* text, int x, int y, int w, int h) {
        place(new QCheckBox(QString::fromLatin1(text), page), id, x, y, w, h);
    };
    const auto radio = [&](int id, const char* text, int x, int y, int w, int h) {
        auto* widget = new QRadioButton(QString::fromLatin1(text), page);
        place(widget, id, x, y, w, h);
        return widget;
    };

    group("Package", 7, 7, 474, 195);
    auto* sourceLabel = label(kNoId, "Source &folder:", 18, 19, 72, 8);
    sourceLabel->setBuddy(edit(IDC_SOURCE_FOLDER, 115, 17, 282, 14));
    button(IDC_BROWSE_SOURCE, "Browse...", 413, 16, 57, 16);
    check(IDC_MANAGED, "Remote Management System (KETT)", 18, 36, 130, 10);
    check(IDC_FIREWALL, "Firewall", 18, 68, 80, 10);
    check(IDC_PATCH, "Patch", 18, 84, 80, 10);
    // A label without a mnemonic still names its field for assistive tools.
    auto* serverLabel = label(IDC_SERVER_URL_LABEL, "Management server URL:", 140, 70, 85, 8);
    auto* server = edit(IDC_SERVER_URL, 240, 69, 230, 14);
    server->setEnabled(false);
    serverLabel->setBuddy(server);
    auto* includeLabel = label(IDC_INCLUDE_LABEL, "Include selected components:", 18, 117, 102, 9);
    auto* inPackage = radio(IDC_IN_PACKAGE, "In the package", 140, 117, 77, 10);
    includeLabel->setBuddy(inPackage);
    auto* downloads = radio(IDC_AUTOUPDATE_DOWNLOADS, "Configure AutoUpdate to download components", 240, 117, 198, 10);
    auto* osLabel = label(IDC_OS_TYPE_LABEL, "Operating &system type:", 18, 132, 117, 9);
    auto* both = radio(IDC_BOTH_ARCHITECTURES, "32-bit and 64-bit", 140, 132, 77, 10);
    osLabel->setBuddy(both);
    auto* only32 = radio(IDC_32BIT_ONLY, "32-bit only", 240, 132, 77, 10);
    auto* only64 = radio(IDC_64BIT_ONLY, "64-bit only", 334, 132, 77, 10);
    auto* typeLabel = label(kNoId, "&Installation type:", 18, 147, 117, 9);
    auto* silent = radio(IDC_SILENT, "Silent", 140, 147, 77, 10);
    typeLabel->setBuddy(silent);
    auto* nonInteractive = radio(IDC_NON_INTERACTIVE, "Non-interactive", 240, 147, 77, 10);
    auto* interactive = radio(IDC_INTERACTIVE, "Interactive", 334, 147, 77, 10);
    label(kNoId, "&Additional setup parameters:", 18, 163, 117, 9)
        ->setBuddy(edit(IDC_SETUP_PARAMETERS, 118, 162, 282, 14));
    label(kNoId, "&Output package:", 18, 180, 72, 8)->setBuddy(edit(IDC_OUTPUT_PACKAGE, 118, 179, 282, 14));
    button(IDC_BROWSE_OUTPUT, "Browse...", 413, 179, 57, 16);

    group("Updating", 7, 204, 474, 102);
    auto* primaryLabel = label(IDC_PRIMARY_LOCATION_LABEL, "&Primary update location:", 18, 215, 91, 8);
    primaryLabel->setBuddy(edit(IDC_PRIMARY_LOCATION, 118, 214, 282, 14));
    button(IDC_BROWSE_PRIMARY, "Browse...", 413, 213, 57, 16);
    label(IDC_PRIMARY_USER_LABEL, "User&name:", 18, 233, 82, 8)->setBuddy(edit(IDC_PRIMARY_USER, 118, 231, 132, 14));
    auto* primaryPasswordLabel = label(IDC_PRIMARY_PASSWORD_LABEL, "Pass&word:", 281, 234, 53, 8);
    auto* primaryPassword = edit(IDC_PRIMARY_PASSWORD, 339, 232, 132, 14);
    primaryPassword->setEchoMode(QLineEdit::Password);
    primaryPasswordLabel->setBuddy(primaryPassword);
    check(IDC_USE_SECONDARY, "Use a secondary location", 18, 254, 182, 10);
    auto* secondaryLabel = label(IDC_SECONDARY_LOCATION_LABEL, "Secondary update &location:", 18, 269, 89, 8);
    auto* secondary = new QComboBox(page);
    secondary->setEditable(true);
    secondary->setInsertPolicy(QComboBox::NoInsert);  // the list grows only through RememberSecondaryLocation
    // Completing and matching keep the case typed: "veskor" is a location to check, not
    // the suite's own "VESKOR" service.
    secondary->completer()->setCaseSensitivity(Qt::CaseSensitive);
    secondary->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    place(secondary, IDC_SECONDARY_LOCATION, 118, 268, 282, 14);
    secondaryLabel->setBuddy(secondary);
    button(IDC_BROWSE_SECONDARY, "Browse...", 413, 267, 57, 16);
    label(IDC_SECONDARY_USER_LABEL, "Userna&me:", 18, 286, 82, 8)
        ->setBuddy(edit(IDC_SECONDARY_USER, 118, 285, 132, 14));
    auto* secondaryPasswordLabel = label(IDC_SECONDARY_PASSWORD_LABEL, "Passwo&rd:", 281, 286, 53, 8);
    auto* secondaryPassword = edit(IDC_SECONDARY_PASSWORD, 338, 285, 132, 14);
    secondaryPassword->setEchoMode(QLineEdit::Password);
    secondaryPasswordLabel->setBuddy(secondaryPassword);

    group("Sign the package", 7, 308, 474, 50);
    label(kNoId, "C&ertificate or PKCS#12 file:", 18, 320, 99, 8)->setBuddy(edit(IDC_SIGN_FILE, 118, 319, 282, 14));
    button(IDC_BROWSE_SIGN_FILE, "Browse...", 413, 318, 57, 16);
    auto* signPassword = edit(IDC_SIGN_PASSWORD, 118, 337, 132, 14);
    signPassword->setEchoMode(QLineEdit::Password);
    label(kNoId, "&Key password:", 18, 339, 82, 8)->setBuddy(signPassword);
    label(kNoId, "&Time-stamp URL:", 262, 339, 72, 8)->setBuddy(edit(IDC_TIMESTAMP_URL, 338, 337, 132, 14));

    auto* build = button(IDOK, "Build Package", 298, 363, 57, 16);
    button(IDCANCEL, "Cancel", 362, 363, 57, 16);
    button(IDC_HELP, "Help", 424, 363, 57, 16);
    check(IDC_TRAFFIC_DETECTION, "ZIMR", 18, 100, 29, 10);
    check(IDC_EXPLOIT_PREVENTION, "Exploit Prevention", 18, 52, 162, 10);

    // Names for screen readers: the four Browse buttons and the two pairs of credentials
    // would otherwise sound alike.
    static constexpr std::pair<int, const char*> accessibleNames[] = {
        {IDC_SOURCE_FOLDER, "Source folder"},
        {IDC_BROWSE_SOURCE, "Browse for the source folder"},
        {IDC_MANAGED, "Remote Management System (KETT)"},
        {IDC_FIREWALL, "Firewall"},
        {IDC_PATCH, "Patch"},
        {IDC_SERVER_URL, "Management server URL"},
        {IDC_IN_PACKAGE, "Include selected components in the package"},
        {IDC_AUTOUPDATE_DOWNLOADS, "Configure AutoUpdate to download components"},
        {IDC_BOTH_ARCHITECTURES, "Operating system type: 32-bit and 64-bit"},
        {IDC_32BIT_ONLY, "Operating system type: 32-bit only"},
        {IDC_64BIT_ONLY, "Operating system type: 64-bit only"},
        {IDC_SILENT, "Installation type: silent"},
        {IDC_NON_INTERACTIVE, "Installation type: non-interactive"},
        {IDC_INTERACTIVE, "Installation type: interactive"},
        {IDC_SETUP_PARAMETERS, "Additional setup parameters"},
        {IDC_OUTPUT_PACKAGE, "Output package"},
        {IDC_BROWSE_OUTPUT, "Browse for the output package"},
        {IDC_PRIMARY_LOCATION, "Primary update location"},
        {IDC_BROWSE_PRIMARY, "Browse for the primary update location"},
        {IDC_PRIMARY_USER, "User name for the primary update location"},
        {IDC_PRIMARY_PASSWORD, "Password for the primary update location"},
        {IDC_USE_SECONDARY, "Use a secondary location"},
        {IDC_SECONDARY_LOCATION, "Secondary update location"},
        {IDC_BROWSE_SECONDARY, "Browse for the secondary update location"},
        {IDC_SECONDARY_USER, "User name for the secondary update location"},
        {IDC_SECONDARY_PASSWORD, "Password for the secondary update location"},
        {IDC_SIGN_FILE, "Signing certificate or PKCS#12 file"},
        {IDC_BROWSE_SIGN_FILE, "Browse for the signing certificate or PKCS#12 file"},
        {IDC_SIGN_PASSWORD, "Password of the signing key"},
        {IDC_TIMESTAMP_URL, "Time-stamp server URL"},
        {IDOK, "Build Package"},
        {IDCANCEL, "Cancel"},
        {IDC_HELP, "Help"},
        {IDC_TRAFFIC_DETECTION, "ZIMR"},
        {IDC_EXPLOIT_PREVENTION, "Exploit Prevention"},
    };
    for (const auto& [id, name] : accessibleNames)
        GetDlgItem(id)->setAccessibleName(QString::fromLatin1(name));

    new Ui::RadioGroup({inPackage, downloads}, this);
    new Ui::RadioGroup({both, only32, only64}, this);
    installationType = new Ui::RadioGroup({silent, nonInteractive, interactive}, this);

    scroll->setWidget(page);
    // The page and the button row each keep their own order; the template's runs across both.
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    // Only a button already inside the dialog can become its default.
    build->setDefault(true);
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
    for (const int id : {IDC_MANAGED, IDC_IN_PACKAGE, IDC_AUTOUPDATE_DOWNLOADS, IDC_USE_SECONDARY, IDC_TRAFFIC_DETECTION})
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
        connect(field, &QLineEdit::textChanged, this, [this, field](const QString& text) { pathFieldText[field] = text; });
        connect(field, &QLineEdit::textEdited, this, [this, field](const QString& now) {
            const QString& before = pathFieldText[field];
            qsizetype start = 0;
            while (start < before.size() && start < now.size() && before[start] == now[start])
                ++start;
            qsizetype end = 0;
            while (end < before.size() - start && end < now.size() - start
                   && before[before.size() - 1 - end] == now[now.size() - 1 - end])
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

    Edit(IDC_SOURCE_FOLDER)->setText(ToQString(options.GetSourceFolder()));
    Edit(IDC_OUTPUT_PACKAGE)->setText(ToQString(options.GetOutputPackage()));
    // Every build reads its switches from the parameters field alone: a -nocheck given
    // on the command line shows there, where the user can see and remove it.
    QString parameters = SetupParametersText(options.GetSetupParameters());
    if (options.GetSkipChecks())
        parameters = parameters.isEmpty() ? QStringLiteral("-nocheck") : QStringLiteral("-nocheck ") + parameters;
    Edit(IDC_SETUP_PARAMETERS)->setText(parameters);

    Button(IDC_MANAGED)->setChecked(options.GetManaged());
    Button(IDC_FIREWALL)->setChecked(options.GetFirewall());
    Button(IDC_PATCH)->setChecked(options.GetPatch());
    Edit(IDC_SERVER_URL)->setText(ToQString(options.GetManagementServerUrl()));
    Button(IDC_TRAFFIC_DETECTION)->setChecked(options.GetTrafficDetection());
    Button(IDC_EXPLOIT_PREVENTION)->setChecked(options.GetExploitPrevention());

    ApplyPatchRule();
    ApplyExploitPreventionRule();

    Button(options.GetIncludeComponents() ? IDC_IN_PACKAGE : IDC_AUTOUPDATE_DOWNLOADS)->setChecked(true);
    Button(IDC_USE_SECONDARY)->setChecked(options.GetUseSecondaryLocation());
    UpdateControls();

    Edit(IDC_PRIMARY_USER)->setText(ToQString(options.GetPrimaryUserName()));
    Edit(IDC_PRIMARY_PASSWORD)->setText(ToQString(options.GetPrimaryPassword()));
    Edit(IDC_PRIMARY_LOCATION)->setText(ToQString(options.GetPrimaryUpdateLocation()));

    // The key the arguments named beside a certificate stays with it; the password is
    // typed each time.
    argumentSignKey = options.GetSignKey();
    Edit(IDC_SIGN_FILE)->setText(
        ToQString(options.GetSignPkcs12().empty() ? options.GetSignCertificate() : options.GetSignPkcs12()));
    Edit(IDC_TIMESTAMP_URL)->setText(ToQString(options.GetTimestampUrl()));

    // Silent is always selected on opening; a non-interactive choice that came with the
    // arguments shows beside it until the user picks one of the three.
    installationType->Tick(qobject_cast<QRadioButton*>(GetDlgItem(IDC_NON_INTERACTIVE)), options.GetNonInteractive());
    options.SetSilent(true);
    installationType->Tick(qobject_cast<QRadioButton*>(GetDlgItem(IDC_SILENT)), true);

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
    PackageOptions& current = options;
    const auto text = [&current, &defaults](const std::optional<QString>& value,
                                            const std::wstring& (PackageOptions::*get)() const,
                                            void (PackageOptions::*set)(const std::wstring&)) {
        if (value && (current.*get)() == (defaults.*get)())
            (current.*set)(value->toStdWString());
    };
    const auto tick = [&current, &defaults](const std::optional<bool>& value, bool (PackageOptions::*get)() const,
                                            void (PackageOptions::*set)(bool)) {
        if (value && (current.*get)() == (defaults.*get)())
            (current.*set)(*value);
    };
    text(remembered.sourceFolder, &PackageOptions::GetSourceFolder, &PackageOptions::SetSourceFolder);
    text(remembered.outputPackage, &PackageOptions::GetOutputPackage, &PackageOptions::SetOutputPackage);
    text(remembered.managementServerUrl, &PackageOptions::GetManagementServerUrl,
         &PackageOptions::SetManagementServerUrl);
    text(remembered.primaryLocation, &PackageOptions::GetPrimaryUpdateLocation,
         &PackageOptions::SetPrimaryUpdateLocation);
    text(remembered.primaryUserName, &PackageOptions::GetPrimaryUserName, &PackageOptions::SetPrimaryUserName);
    text(remembered.timestampUrl, &PackageOptions::GetTimestampUrl, &PackageOptions::SetTimestampUrl);
    tick(remembered.managed, &PackageOptions::GetManaged, &PackageOptions::SetManaged);
    tick(remembered.firewall, &PackageOptions::GetFirewall, &PackageOptions::SetFirewall);
    tick(remembered.patch, &PackageOptions::GetPatch, &PackageOptions::SetPatch);
    tick(remembered.trafficDetection, &PackageOptions::GetTrafficDetection, &PackageOptions::SetTrafficDetection);
    tick(remembered.exploitPrevention, &PackageOptions::GetExploitPrevention, &PackageOptions::SetExploitPrevention);
    tick(remembered.includeComponents, &PackageOptions::GetIncludeComponents, &PackageOptions::SetIncludeComponents);
    tick(remembered.useSecondaryLocation, &PackageOptions::GetUseSecondaryLocation,
         &PackageOptions::SetUseSecondaryLocation);
    if (remembered.architecture && options.GetInclude32Bit() && options.GetInclude64Bit()) {
        if (*remembered.architecture == QLatin1String("32-bit"))
            options.SetInclude64Bit(false);
        else if (*remembered.architecture == QLatin1String("64-bit"))
            options.SetInclude32Bit(false);
    }
}

void CHalvexDlg::RestoreAfterOpening(const Ui::RememberedChoices& remembered, bool typeGiven)
{
    if (remembered.installationType && !typeGiven) {
        const QString& type = *remembered.installationType;
        const int id = type == QLatin1String("interactive")       ? IDC_INTERACTIVE
                       : type == QLatin1String("non-interactive") ? IDC_NON_INTERACTIVE
                                                                  : IDC_SILENT;
        installationType->Select(qobject_cast<QRadioButton*>(GetDlgItem(id)));
    }
    if (remembered.secondaryLocation && !remembered.secondaryLocation->isEmpty()) {
        Combo(IDC_SECONDARY_LOCATION)->lineEdit()->setText(*remembered.secondaryLocation);
        SelectOrAddLocation(*remembered.secondaryLocation);
    }
    if (remembered.secondaryUserName)
        Edit(IDC_SECONDARY_USER)->setText(*remembered.secondaryUserName);
    if (remembered.signingFile && Edit(IDC_SIGN_FILE)->text().isEmpty())
        Edit(IDC_SIGN_FILE)->setText(*remembered.signingFile);
}

void CHalvexDlg::RememberChoices() const
{
    Ui::RememberedChoices choices;
    const auto text = [this](int id) { return Edit(id)->text(); };
    choices.sourceFolder = text(IDC_SOURCE_FOLDER);
    choices.outputPackage = text(IDC_OUTPUT_PACKAGE);
    choices.managementServerUrl = text(IDC_SERVER_URL);
    choices.primaryLocation = text(IDC_PRIMARY_LOCATION);
    choices.primaryUserName = text(IDC_PRIMARY_USER);
    choices.secondaryLocation = Combo(IDC_SECONDARY_LOCATION)->currentText();
    choices.secondaryUserName = text(IDC_SECONDARY_USER);
    choices.signingFile = text(IDC_SIGN_FILE);
    choices.timestampUrl = text(IDC_TIMESTAMP_URL);
    choices.managed = IsTicked(IDC_MANAGED);
    choices.firewall = IsTicked(IDC_FIREWALL);
    choices.patch = IsTicked(IDC_PATCH);
    choices.trafficDetection = IsTicked(IDC_TRAFFIC_DETECTION);
    choices.exploitPrevention = IsTicked(IDC_EXPLOIT_PREVENTION);
    choices.includeComponents = IsTicked(IDC_IN_PACKAGE);
    choices.useSecondaryLocation = IsTicked(IDC_USE_SECONDARY);
    choices.architecture = IsTicked(IDC_32BIT_ONLY)   ? QStringLiteral("32-bit")
                           : IsTicked(IDC_64BIT_ONLY) ? QStringLiteral("64-bit")
                                                      : QStringLiteral("both");
    choices.installationType = IsTicked(IDC_SILENT)        ? QStringLiteral("silent")
                               : IsTicked(IDC_INTERACTIVE) ? QStringLiteral("interactive")
                                                           : QStringLiteral("non-interactive");
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
    const std::wstring folder =
        BrowseForFolder(120, QStringLiteral("source"), Edit(IDC_SOURCE_FOLDER)->text());
    if (!folder.empty())
        Edit(IDC_SOURCE_FOLDER)->setText(ToQString(folder));
}

void CHalvexDlg::BrowseForPrimary()
{
    const std::wstring folder =
        BrowseForFolder(122, QStringLiteral("primary"), Edit(IDC_PRIMARY_LOCATION)->text());
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
    saveBox.selectFile(QStringLiteral("VeskorEndpoint.exe"));
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
    browser.setNameFilters({QStringLiteral("Certificates and keys (*.p12 *.pfx *.pem)"), QStringLiteral("All files (*)")});
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
    while (position < secondary->count()
           && QString::compare(secondary->itemText(position), location, Qt::CaseInsensitive) <= 0)
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

    // A stop asked for in an earlier build must not end this one.
    Platform::ClearInterrupt();
    auto progress = std::make_unique<CProgressDlg>(this, host);
    PackagingJob job(options, *progress);
    // Modal to the whole application: while it shows, no input reaches this dialog (its
    // close box included), which keeps its own look, and no second build can start.
    progress->setWindowModality(Qt::ApplicationModal);
    progress->show();
    bool endAsked = false;
    {
        const EndRequestsStopTheBuild endRequests;
        job.Run();
        endAsked = StopRequestCount() > 0;
    }
    const bool stopped = !job.Succeeded() && Platform::InterruptRequested();
    progress->BuildOver();
    Platform::ClearInterrupt();
    if (endAsked) {
        // The job has removed what it made; the program was asked to end, not to report.
        progress.reset();
        reject();
        return;
    }
    if (!stopped) {
        // Long enough to read the last status, with the event loop running meanwhile.
        for (int i = 0; i < 20; ++i) {
            QEventLoop pause;
            QTimer::singleShot(100, Qt::PreciseTimer, &pause, &QEventLoop::quit);
            pause.exec();
            progress->Refresh();
        }
    }
    progress->hide();
    if (stopped)
        ShowMessage(L"The package build was stopped. Nothing was written under the package name.",
                    QMessageBox::Information);
    else if (job.Succeeded())
        ShowMessage(LoadText(115) + L"\n\n" + WrittenPackage(), QMessageBox::Information);
    else
        ShowMessage(Platform::LoadFormattedString(116, log.GetLogFilePath()).value_or(std::wstring())
                        + (job.FailureReason().empty() ? std::wstring() : L"\n\n" + job.FailureReason()),
                    QMessageBox::Critical);
    progress.reset();
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
    return QDir(ToQString(options.GetOutputPackage())).filePath(QStringLiteral("VeskorEndpoint.exe")).toStdWString();
}

QString CHalvexDlg::FieldText(int id) const
{
    if (const QComboBox* combo = Combo(id))
        return combo->currentText();
    return Edit(id)->text();
}

std::optional<CHalvexDlg::Refusal> CHalvexDlg::OverlongField() const
{
    for (const auto& [id, limit] : kFieldLimits) {
        const QWidget* field = GetDlgItem(id);
        const qsizetype length = FieldText(id).size();
        // A greyed field does not go into the package.
        if (length <= limit || !field->isEnabledTo(this))
            continue;
        return Refusal{field->accessibleName().toStdWString() + L" is " + std::to_wstring(length)
                           + L" characters long; it can hold at most " + std::to_wstring(limit)
                           + L". Nothing was built.",
                       id};
    }
    return std::nullopt;
}

std::optional<CHalvexDlg::Refusal> CHalvexDlg::TransferToOptions()
{
    const auto text = [this](int id) { return Edit(id)->text().toStdWString(); };
    options.SetSourceFolder(text(IDC_SOURCE_FOLDER));
    options.SetOutputPackage(LocalPath(Edit(IDC_OUTPUT_PACKAGE)->text()));
    options.SetManaged(IsTicked(IDC_MANAGED));
    options.SetFirewall(IsTicked(IDC_FIREWALL));
    options.SetPatch(IsTicked(IDC_PATCH));
    options.SetTrafficDetection(IsTicked(IDC_TRAFFIC_DETECTION));
    options.SetExploitPrevention(IsTicked(IDC_EXPLOIT_PREVENTION));
    options.SetIncludeComponents(IsTicked(IDC_IN_PACKAGE));
    if (IsTicked(IDC_BOTH_ARCHITECTURES)) {
        options.SetInclude32Bit(true);
        options.SetInclude64Bit(true);
    } else {
        options.SetInclude32Bit(IsTicked(IDC_32BIT_ONLY));
        options.SetInclude64Bit(IsTicked(IDC_64BIT_ONLY));
    }
    options.SetManagementServerUrl(text(IDC_SERVER_URL));
    options.SetPrimaryUpdateLocation(text(IDC_PRIMARY_LOCATION));
    options.SetPrimaryUserName(text(IDC_PRIMARY_USER));
    options.SetPrimaryPassword(text(IDC_PRIMARY_PASSWORD));
    options.SetNonInteractive(IsTicked(IDC_NON_INTERACTIVE));
    options.SetSilent(IsTicked(IDC_SILENT));

    // The parameters field acts as on the command line, over the values copied above.
    // What only that field can switch on starts off each time, so a switch deleted from
    // the field stops applying.
    options.SetSkipChecks(false);
    options.SetCommandLineMode(false);
    options.GetSetupParameters().clear();
    const std::wstring parameters = text(IDC_SETUP_PARAMETERS);
    if (!parameters.empty()) {
        // Only an unusable -opwd token stops the parse. Its reason may be the password
        // library's internal text, which belongs in the log, not in front of the user.
        try {
            ParseArguments(Platform::NarrowHostText(parameters), options, log);
        } catch (const std::exception& error) {
            log << "The additional setup parameters were refused:" << QString::fromLocal8Bit(error.what()).toStdWString()
                << "\n";
            return Refusal{kInvalidPassword, IDC_SETUP_PARAMETERS};
        } catch (...) {
            return Refusal{kInvalidPassword, IDC_SETUP_PARAMETERS};
        }
    }

    options.SetUseSecondaryLocation(IsTicked(IDC_USE_SECONDARY));
    options.SetSecondaryUpdateLocation(Combo(IDC_SECONDARY_LOCATION)->currentText().toStdWString());
    options.SetSecondaryUserName(text(IDC_SECONDARY_USER));
    options.SetSecondaryPassword(text(IDC_SECONDARY_PASSWORD));
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

std::optional<CHalvexDlg::Refusal> CHalvexDlg::FirstInputProblem()
{
    // The text of the first failed check and the field it is about; the text is empty when
    // the table lacks it, which suppresses the box.
    const auto failure = [](const InputProblem& problem, int field) {
        return std::optional<Refusal>(Refusal{
            Platform::LoadFormattedString(problem.text, problem.value).value_or(std::wstring()), field});
    };

    try {
        if (const auto problem = CheckSourceInput(options.GetSourceFolder(), log))
            return failure(*problem, IDC_SOURCE_FOLDER);
    } catch (const boost::system::system_error& error) {
        // A file, or a folder that cannot be listed: the same answer as a folder without
        // the marker, with the system's reason beside it.
        Refusal refusal = *failure({110, options.GetSourceFolder()}, IDC_SOURCE_FOLDER);
        if (!refusal.text.empty())
            refusal.text += L"\n" + QString::fromLocal8Bit(error.code().message()).toStdWString();
        return refusal;
    }
    // A relative output would land wherever the program happened to be started from.
    if (const std::wstring& output = options.GetOutputPackage();
        !output.empty() && !QDir::isAbsolutePath(ToQString(output))) {
        log << "Destination path is relative:" << output << "\n";
        Refusal refusal = *failure({111, output}, IDC_OUTPUT_PACKAGE);
        if (!refusal.text.empty())
            refusal.text += L"\nEnter the full path of the package or of its folder.";
        return refusal;
    }
    // A folder the run cannot write into gets the system's reason now, not a failed build.
    if (const auto [folder, error] = UnwritableOutputFolder(); error != 0) {
        const std::wstring reason = Platform::WidenHostText(Platform::SystemErrorText(error));
        log << "The output folder cannot be written:" << folder << reason << "\n";
        Refusal refusal = *failure({111, options.GetOutputPackage()}, IDC_OUTPUT_PACKAGE);
        if (!refusal.text.empty())
            refusal.text += L"\nThe folder \"" + folder + L"\" cannot be written: " + reason;
        return refusal;
    }
    if (const auto problem = CheckOutputInput(options, log))
        return failure(*problem, IDC_OUTPUT_PACKAGE);
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
            return failure(*problem, IDC_SERVER_URL);
    }
    if (GetDlgItem(IDC_PRIMARY_LOCATION)->isEnabledTo(this)) {
        if (const auto problem = CheckPrimaryInput(options.GetPrimaryUpdateLocation(), false, log))
            return failure(*problem, IDC_PRIMARY_LOCATION);
    }
    if (options.GetUseSecondaryLocation() && GetDlgItem(IDC_SECONDARY_LOCATION)->isEnabledTo(this)) {
        const auto problem = CheckSecondaryInput(options.GetSecondaryUpdateLocation(),
                                                 options.GetSecondaryUserName(),
                                                 options.GetSecondaryPassword(), log);
        if (problem) {
            // Text 131 is about the credentials: the first blank one is where to go on.
            const int field = problem->text != 131                        ? IDC_SECONDARY_LOCATION
                              : options.GetSecondaryUserName().empty() ? IDC_SECONDARY_USER
                                                                          : IDC_SECONDARY_PASSWORD;
            return failure(*problem, field);
        }
    }
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
    const std::optional<std::wstring> caption = Platform::LoadString(117);
    if (!caption)
        return;
    QMessageBox box(icon, ToQString(*caption), ToQString(text), QMessageBox::Ok, this);
    // The wait cursor is for this dialog; the box shows the ordinary pointer.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting)
        QApplication::restoreOverrideCursor();
    host.RunModal(box);
    if (waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
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
    } else if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove
               || event->type() == QEvent::Drop) {
        // A file or folder dropped onto a path field replaces the field with its path; a
        // field would insert its address into the text that is there.
        const auto fields = PathFields();
        auto* field = qobject_cast<QLineEdit*>(watched);
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> urls = drop->mimeData() != nullptr ? drop->mimeData()->urls() : QList<QUrl>();
        if (field && std::find(fields.begin(), fields.end(), field) != fields.end() && urls.size() == 1
            && urls.front().isLocalFile()) {
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
        if (key->key() == Qt::Key_F1 && !(key->modifiers() & Qt::ShiftModifier) && target
            && target->window() == this) {
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
        if (target && target->window() == this && (modifiers & Qt::AltModifier) && !(modifiers & Qt::ControlModifier)
            && !key->text().isEmpty())
            return true;
    }
    return QDialog::eventFilter(watched, event);
}
