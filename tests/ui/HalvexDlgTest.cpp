#include "RecordingDialogHost.h"

#include "core/Logging.h"
#include "core/PackageOptions.h"
#include "support/ChildRun.h"
#include "support/CidBuilder.h"
#include "support/Files.h"
#include "support/SigningFixture.h"
#include "support/TestFolder.h"
#include "platform/Interrupt.h"
#include "platform/StringTable.h"
#include "ui/HalvexDlg.h"
#include "ui/HalvexDlgControls.h"
#include "ui/ProgressDlg.h"
#include "ui/RememberedChoices.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

using Setup = std::function<void(PackageOptions&)>;
Q_DECLARE_METATYPE(Setup)
using Fill = std::function<void(CHalvexDlg&)>;
Q_DECLARE_METATYPE(Fill)
using Spoil = std::function<void(const std::filesystem::path& cid, const std::filesystem::path& program)>;
Q_DECLARE_METATYPE(Spoil)

namespace {

// Every control of the template that has an id, in template (and so tab) order.
const QList<int> kTemplateOrder = {
    IDC_SOURCE_FOLDER, IDC_BROWSE_SOURCE, IDC_MANAGED, IDC_FIREWALL, IDC_PATCH, IDC_SERVER_URL_LABEL,
    IDC_SERVER_URL, IDC_INCLUDE_LABEL, IDC_IN_PACKAGE, IDC_AUTOUPDATE_DOWNLOADS, IDC_OS_TYPE_LABEL,
    IDC_BOTH_ARCHITECTURES, IDC_32BIT_ONLY, IDC_64BIT_ONLY, IDC_SILENT, IDC_NON_INTERACTIVE, IDC_INTERACTIVE,
    IDC_SETUP_PARAMETERS, IDC_OUTPUT_PACKAGE, IDC_BROWSE_OUTPUT, IDC_PRIMARY_LOCATION_LABEL, IDC_PRIMARY_LOCATION,
    IDC_BROWSE_PRIMARY, IDC_PRIMARY_USER_LABEL, IDC_PRIMARY_USER, IDC_PRIMARY_PASSWORD_LABEL, IDC_PRIMARY_PASSWORD,
    IDC_USE_SECONDARY, IDC_SECONDARY_LOCATION_LABEL, IDC_SECONDARY_LOCATION, IDC_BROWSE_SECONDARY,
    IDC_SECONDARY_USER_LABEL, IDC_SECONDARY_USER, IDC_SECONDARY_PASSWORD_LABEL, IDC_SECONDARY_PASSWORD,
    IDC_SIGN_FILE, IDC_BROWSE_SIGN_FILE, IDC_SIGN_PASSWORD, IDC_TIMESTAMP_URL, IDOK, IDCANCEL, IDC_HELP, IDC_TRAFFIC_DETECTION, IDC_EXPLOIT_PREVENTION};
const QList<int> kCheckable = {
    IDC_MANAGED, IDC_FIREWALL, IDC_PATCH, IDC_IN_PACKAGE, IDC_AUTOUPDATE_DOWNLOADS, IDC_BOTH_ARCHITECTURES,
    IDC_32BIT_ONLY, IDC_64BIT_ONLY, IDC_SILENT, IDC_NON_INTERACTIVE, IDC_INTERACTIVE, IDC_USE_SECONDARY,
    IDC_TRAFFIC_DETECTION, IDC_EXPLOIT_PREVENTION};
const QList<int> kServer = {IDC_SERVER_URL_LABEL, IDC_SERVER_URL};
const QList<int> kOsChoice = {IDC_OS_TYPE_LABEL, IDC_32BIT_ONLY, IDC_64BIT_ONLY, IDC_BOTH_ARCHITECTURES};
const QList<int> kPrimary = {IDC_PRIMARY_LOCATION, IDC_PRIMARY_USER, IDC_PRIMARY_PASSWORD,
                             IDC_PRIMARY_LOCATION_LABEL, IDC_PRIMARY_USER_LABEL, IDC_PRIMARY_PASSWORD_LABEL,
                             IDC_BROWSE_PRIMARY, IDC_USE_SECONDARY};
const QList<int> kSecondary = {IDC_SECONDARY_LOCATION, IDC_SECONDARY_USER, IDC_SECONDARY_PASSWORD,
                               IDC_SECONDARY_LOCATION_LABEL, IDC_SECONDARY_USER_LABEL, IDC_SECONDARY_PASSWORD_LABEL,
                               IDC_BROWSE_SECONDARY};

template <typename T>
T* Item(const CHalvexDlg& dialog, int id)
{
    auto* item = qobject_cast<T*>(dialog.GetDlgItem(id));
    if (!item)
        qFatal("no control %d of the expected kind", id);
    return item;
}

// The width a label or button needs to show its whole text. For a check box or radio
// button that is where its text starts plus the text itself: the size hint adds a
// margin for the focus frame that the text does not need.
int NeededWidth(QWidget* widget)
{
    auto* button = qobject_cast<QAbstractButton*>(widget);
    const bool check = qobject_cast<QCheckBox*>(widget) != nullptr;
    if (!button || (!check && !qobject_cast<QRadioButton*>(widget)))
        return widget->sizeHint().width();
    QStyleOptionButton option;
    option.initFrom(widget);
    option.text = button->text();
    const QRect contents = widget->style()->subElementRect(
        check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &option, widget);
    return contents.left() + widget->fontMetrics().horizontalAdvance(button->text());
}

void SetText(CHalvexDlg& dialog, int id, const QString& text)
{
    if (auto* combo = qobject_cast<QComboBox*>(dialog.GetDlgItem(id)))
        combo->setEditText(text);
    else
        Item<QLineEdit>(dialog, id)->setText(text);
}

void Click(CHalvexDlg& dialog, int id)
{
    Item<QAbstractButton>(dialog, id)->click();
}

QString LogText()
{
    QFile file(QString::fromStdWString(GetLogging().GetLogFilePath()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString CheckBoxText(const QString& failure)
{
    return QStringLiteral("The following error was found:\n\n") + failure + QStringLiteral("\n");
}

QSettings RememberedSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromLatin1(Ui::RememberedChoices::organisation),
                     QString::fromLatin1(Ui::RememberedChoices::application));
}

// What the user has typed and ticked: every field's text and every box's tick, in template order.
QStringList Entries(const CHalvexDlg& dialog)
{
    QStringList entries;
    for (const int id : kTemplateOrder) {
        QWidget* control = dialog.GetDlgItem(id);
        if (auto* combo = qobject_cast<QComboBox*>(control))
            entries << combo->currentText();
        else if (auto* edit = qobject_cast<QLineEdit*>(control))
            entries << edit->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(control); button && button->isCheckable())
            entries << QString::number(button->isChecked());
    }
    return entries;
}

// Whether this process has any child left, running or unreaped.
bool HasChildren()
{
    return !(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD);
}

QString FieldText(const CHalvexDlg& dialog, int id)
{
    if (auto* combo = qobject_cast<QComboBox*>(dialog.GetDlgItem(id)))
        return combo->currentText();
    return Item<QLineEdit>(dialog, id)->text();
}

// The lines of a log file, their time stamps cut off, when the file is whole: the
// byte-order mark, then only stamped lines, each ending in CR LF, and no NUL byte.
std::optional<QStringList> WholeLog(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (!bytes.startsWith("\xEF\xBB\xBF") || !bytes.endsWith("\r\n") || bytes.contains('\0'))
        return std::nullopt;
    static const QRegularExpression stamped(QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d (.*)$"));
    QStringList lines;
    for (const QString& line : QString::fromUtf8(bytes.mid(3).chopped(2)).split(QStringLiteral("\r\n"))) {
        const QRegularExpressionMatch match = stamped.match(line);
        if (!match.hasMatch())
            return std::nullopt;
        lines << match.captured(1);
    }
    return lines;
}

// A CID in `folder` with enough random data that the archiver is still at work when a
// test acts during the archive step.
QString BusyCid(const std::filesystem::path& folder)
{
    std::string payload(8 << 20, '\0');
    std::mt19937_64 random(7);
    std::generate(payload.begin(), payload.end(), [&random] { return static_cast<char>(random()); });
    return QString::fromStdString(TestSupport::CidBuilder(folder / "CID" / "NORDAVIN")
                                      .Components(TestSupport::kAllComponents)
                                      .File("lorv/payload.bin", payload)
                                      .File("setup.exe", "setup stand-in\n")
                                      .Path()
                                      .string());
}

// The runs of consecutive indexes below `end` for which `full` holds, as first and past-the-last.
std::vector<std::pair<int, int>> Runs(int end, const std::function<bool(int)>& full)
{
    std::vector<std::pair<int, int>> runs;
    for (int index = 0; index < end; ++index) {
        if (!full(index))
            continue;
        if (runs.empty() || runs.back().second != index)
            runs.emplace_back(index, index);
        ++runs.back().second;
    }
    return runs;
}

// The sides of a group box's frame as its style paints them, in its parent's coordinates:
// the runs of device pixel rows and columns the frame mostly covers. The title is too
// short to fill a row, and the faint fill some styles give the inside stays below the
// threshold.
std::vector<QRectF> FrameLines(QGroupBox& box)
{
    const qreal ratio = box.devicePixelRatioF();
    QImage image((QSizeF(box.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    box.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    const auto painted = [&](int x, int y) { return qAlpha(image.pixel(x, y)) >= 16 ? 1 : 0; };
    const auto row = [&](int y) {
        int count = 0;
        for (int x = 0; x < image.width(); ++x)
            count += painted(x, y);
        return 4 * count >= 3 * image.width();
    };
    const auto column = [&](int x) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            count += painted(x, y);
        return 8 * count >= 3 * image.height();
    };
    std::vector<QRectF> lines;
    const QPointF origin(box.pos());
    for (const auto& [first, end] : Runs(image.height(), row))
        lines.emplace_back(origin + QPointF(0, first / ratio), QSizeF(box.width(), (end - first) / ratio));
    for (const auto& [first, end] : Runs(image.width(), column))
        lines.emplace_back(origin + QPointF(first / ratio, 0), QSizeF((end - first) / ratio, box.height()));
    return lines;
}

// The page that holds the controls.
QWidget* Page(const CHalvexDlg& dialog)
{
    return dialog.GetDlgItem(IDC_SOURCE_FOLDER)->parentWidget();
}

}  // namespace

class HalvexDlgTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void controlStates_data();
    void controlStates();
    void openingFillsFieldsFromOptions();
    void longPresetValuesAreKeptWhole();
    void templateOrderIsTabOrder();
    void mnemonicsMoveFocus_data();
    void mnemonicsMoveFocus();
    void altLettersNoControlOwnsDoNothing_data();
    void altLettersNoControlOwnsDoNothing();
    void arrowKeysChooseWithinARadioGroup();
    void textsFitTheirControls();
    void fitsTheScreen();
    void groupFramesMissTheControls();
    void everyInputAndButtonHasAnAccessibleName();
    void browseButtons_data();
    void browseButtons();
    void browseStartsWhereTheUserIs_data();
    void browseStartsWhereTheUserIs();
    void saveBoxOffersThePackageName();
    void secondaryLocationIsRememberedOnce();
    void typedSecondaryLocationKeepsItsCase();
    void choicesAreRememberedBetweenRuns();
    void argumentsWinOverRememberedChoices_data();
    void argumentsWinOverRememberedChoices();
    void helpOpensTheDocumentation_data();
    void helpOpensTheDocumentation();
    void aboutEntryOpensTheAboutBox();
    void enterBuildsFromAnyField_data();
    void enterBuildsFromAnyField();
    void cancelAndEscEndTheDialog_data();
    void cancelAndEscEndTheDialog();
    void validationStopsAtTheFirstProblem_data();
    void validationStopsAtTheFirstProblem();
    void transferCopiesEveryControl();
    void noCheckAppliesOnlyWhileInTheField();
    void noCheckArgumentShowsInTheField();
    void wholeBuildThroughTheDialog();
    void buildErrorsKeepTheDialog_data();
    void buildErrorsKeepTheDialog();
    void stoppingABuild_data();
    void stoppingABuild();
    void twoRunsAtOnceKeepTheirOwnLogs();
    void pathFieldsTakeDropsAndPastesWhole();
    void failedBuildBoxGivesTheReason_data();
    void failedBuildBoxGivesTheReason();
    void unwritableOutputFolderIsRefusedWithTheSystemsReason();
    void existingPackageIsReplacedOnlyWhenConfirmed();
    void controlsDoNotOverlap();
    void signedBuildThroughTheDialog_data();
    void signedBuildThroughTheDialog();
    void signingChecksAreTheCommandLines_data();
    void signingChecksAreTheCommandLines();

private:
    // This test's scratch folder with a CID of the default components and a program folder in it.
    QString scratch;
    QString cid;
    QString programFolder;
    QString output;
};

void HalvexDlgTest::initTestCase()
{
    const std::filesystem::path folder = TestSupport::ScratchFolder();
    scratch = QString::fromStdString(folder.string());
    cid = QString::fromStdString(
        TestSupport::CidBuilder(folder / "CID" / "NORDAVIN")
            .Components(TestSupport::kDefaultComponents)
            .File("setup.exe", "setup stand-in\n")
            .Path()
            .string());
    programFolder = QString::fromStdString(TestSupport::MakeProgramFolder(folder).string());
    output = scratch + QStringLiteral("/out/Client.exe");
    // The remembered choices go to this test's own folder, never the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch + QStringLiteral("/config"));
}

void HalvexDlgTest::init()
{
    // Every test starts as a first run: nothing remembered.
    RememberedSettings().clear();
}

void HalvexDlgTest::controlStates_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QList<int>>("checked");
    QTest::addColumn<QList<int>>("disabled");

    using Ids = QList<int>;
    const Setup defaults = [](PackageOptions&) {};
    const Setup nonInteractive = [](PackageOptions& o) { o.SetNonInteractive(true); };
    const Ids openDefault = {IDC_IN_PACKAGE, IDC_BOTH_ARCHITECTURES, IDC_SILENT};

    QTest::newRow("defaults") << defaults << Ids{} << openDefault << kServer + kOsChoice + kSecondary;
    QTest::newRow("-ni given: Silent and Non-interactive both show")
        << nonInteractive << Ids{} << openDefault + Ids{IDC_NON_INTERACTIVE} << kServer + kOsChoice + kSecondary;
    QTest::newRow("picking one installation type clears both")
        << nonInteractive << Ids{IDC_INTERACTIVE} << Ids{IDC_IN_PACKAGE, IDC_BOTH_ARCHITECTURES, IDC_INTERACTIVE}
        << kServer + kOsChoice + kSecondary;
    QTest::newRow("clicking the ticked Non-interactive keeps it alone")
        << nonInteractive << Ids{IDC_NON_INTERACTIVE}
        << Ids{IDC_IN_PACKAGE, IDC_BOTH_ARCHITECTURES, IDC_NON_INTERACTIVE} << kServer + kOsChoice + kSecondary;
    QTest::newRow("clicking the ticked Silent keeps it alone")
        << nonInteractive << Ids{IDC_SILENT} << openDefault << kServer + kOsChoice + kSecondary;
    QTest::newRow("managed with components in the package greys the updates")
        << Setup([](PackageOptions& o) { o.SetManaged(true); }) << Ids{} << Ids{IDC_MANAGED} + openDefault
        << kServer + kOsChoice + kPrimary + kSecondary;
    QTest::newRow("exploit prevention preset ticks and greys management")
        << Setup([](PackageOptions& o) { o.SetExploitPrevention(true); }) << Ids{}
        << Ids{IDC_EXPLOIT_PREVENTION, IDC_MANAGED} + openDefault
        << kServer + kOsChoice + kPrimary + kSecondary + Ids{IDC_MANAGED};
    QTest::newRow("patch with a server, 32-bit only")
        << Setup([](PackageOptions& o) {
               o.SetPatch(true);
               o.SetInclude64Bit(false);
           })
        << Ids{} << Ids{IDC_PATCH, IDC_IN_PACKAGE, IDC_32BIT_ONLY, IDC_SILENT} << kSecondary;
    QTest::newRow("download components, 64-bit only, secondary in use")
        << Setup([](PackageOptions& o) {
               o.SetManaged(true);
               o.SetIncludeComponents(false);
               o.SetInclude32Bit(false);
               o.SetUseSecondaryLocation(true);
           })
        << Ids{} << Ids{IDC_MANAGED, IDC_AUTOUPDATE_DOWNLOADS, IDC_64BIT_ONLY, IDC_SILENT, IDC_USE_SECONDARY}
        << kServer + kOsChoice;

    QTest::newRow("ticking exploit prevention ticks and greys management")
        << defaults << Ids{IDC_EXPLOIT_PREVENTION} << Ids{IDC_EXPLOIT_PREVENTION, IDC_MANAGED} + openDefault
        << kServer + kOsChoice + kPrimary + kSecondary + Ids{IDC_MANAGED};
    QTest::newRow("unticking exploit prevention leaves management ticked")
        << defaults << Ids{IDC_EXPLOIT_PREVENTION, IDC_EXPLOIT_PREVENTION} << Ids{IDC_MANAGED} + openDefault
        << kServer + kOsChoice + kPrimary + kSecondary;
    QTest::newRow("AutoUpdate download enables the updates of a managed client")
        << defaults << Ids{IDC_MANAGED, IDC_AUTOUPDATE_DOWNLOADS}
        << Ids{IDC_MANAGED, IDC_AUTOUPDATE_DOWNLOADS, IDC_BOTH_ARCHITECTURES, IDC_SILENT}
        << kServer + kOsChoice + kSecondary;
    QTest::newRow("patch enables the server and the OS choice")
        << defaults << Ids{IDC_PATCH} << Ids{IDC_PATCH} + openDefault << kSecondary;
    QTest::newRow("ZIMR enables the OS choice")
        << defaults << Ids{IDC_TRAFFIC_DETECTION} << Ids{IDC_TRAFFIC_DETECTION} + openDefault << kServer + kSecondary;
    QTest::newRow("patch without components in the package keeps the OS choice grey")
        << defaults << Ids{IDC_AUTOUPDATE_DOWNLOADS, IDC_PATCH}
        << Ids{IDC_PATCH, IDC_AUTOUPDATE_DOWNLOADS, IDC_BOTH_ARCHITECTURES, IDC_SILENT} << kOsChoice + kSecondary;
    QTest::newRow("secondary location in use")
        << defaults << Ids{IDC_USE_SECONDARY} << Ids{IDC_USE_SECONDARY} + openDefault << kServer + kOsChoice;
    QTest::newRow("managing greys a ticked secondary location and keeps its tick")
        << defaults << Ids{IDC_USE_SECONDARY, IDC_MANAGED} << Ids{IDC_USE_SECONDARY, IDC_MANAGED} + openDefault
        << kServer + kOsChoice + kPrimary + kSecondary;
    QTest::newRow("firewall changes nothing else")
        << defaults << Ids{IDC_FIREWALL} << Ids{IDC_FIREWALL} + openDefault << kServer + kOsChoice + kSecondary;
    QTest::newRow("architecture pick")
        << Setup([](PackageOptions& o) { o.SetPatch(true); }) << Ids{IDC_64BIT_ONLY}
        << Ids{IDC_PATCH, IDC_IN_PACKAGE, IDC_64BIT_ONLY, IDC_SILENT} << kSecondary;
}

void HalvexDlgTest::controlStates()
{
    QFETCH(Setup, setup);
    QFETCH(QList<int>, clicks);
    QFETCH(QList<int>, checked);
    QFETCH(QList<int>, disabled);

    PackageOptions options;
    setup(options);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    for (const int id : clicks)
        Item<QAbstractButton>(dialog, id)->click();

    for (const int id : kCheckable)
        QVERIFY2(Item<QAbstractButton>(dialog, id)->isChecked() == checked.contains(id),
                 qPrintable(QStringLiteral("tick of %1").arg(id)));
    for (const int id : kTemplateOrder)
        QVERIFY2(dialog.GetDlgItem(id)->isEnabled() == !disabled.contains(id),
                 qPrintable(QStringLiteral("enabled state of %1").arg(id)));
    QVERIFY(options.GetSilent());
}

void HalvexDlgTest::openingFillsFieldsFromOptions()
{
    PackageOptions options;
    options.SetSourceFolder(L"/srv/cid");
    options.SetOutputPackage(L"/srv/out/Client.exe");
    options.SetManagementServerUrl(L"https://kett:8443");
    options.SetPrimaryUpdateLocation(L"\\\\server\\updates");
    options.SetPrimaryUserName(L"updater");
    options.SetPrimaryPassword(L"p\u00e4ss");
    options.SetSecondaryUpdateLocation(L"http://ignored/path");
    options.SetSecondaryUserName(L"ignored");
    options.GetSetupParameters().emplace(L"/ncd", L"");
    options.GetSetupParameters().emplace(L"-g", L"Head Office");
    options.GetSetupParameters().emplace(L"-bexu", L"x");
    CHalvexDlg dialog(options);

    QCOMPARE(Item<QLineEdit>(dialog, IDC_SOURCE_FOLDER)->text(), QStringLiteral("/srv/cid"));
    QCOMPARE(Item<QLineEdit>(dialog, IDC_OUTPUT_PACKAGE)->text(), QStringLiteral("/srv/out/Client.exe"));
    QCOMPARE(Item<QLineEdit>(dialog, IDC_SERVER_URL)->text(), QStringLiteral("https://kett:8443"));
    QCOMPARE(Item<QLineEdit>(dialog, IDC_SETUP_PARAMETERS)->text(), QStringLiteral("-bexu x -g \"Head Office\" /ncd"));
    QCOMPARE(Item<QLineEdit>(dialog, IDC_PRIMARY_LOCATION)->text(), QStringLiteral("\\\\server\\updates"));
    QCOMPARE(Item<QLineEdit>(dialog, IDC_PRIMARY_USER)->text(), QStringLiteral("updater"));
    QCOMPARE(Item<QLineEdit>(dialog, IDC_PRIMARY_PASSWORD)->text(), QString::fromStdWString(L"p\u00e4ss"));
    QCOMPARE(Item<QLineEdit>(dialog, IDC_PRIMARY_PASSWORD)->echoMode(), QLineEdit::Password);
    QCOMPARE(Item<QLineEdit>(dialog, IDC_SECONDARY_PASSWORD)->echoMode(), QLineEdit::Password);

    // The secondary location always opens empty, whatever the options hold.
    auto* secondary = Item<QComboBox>(dialog, IDC_SECONDARY_LOCATION);
    QVERIFY(secondary->isEditable());
    QCOMPARE(secondary->currentText(), QString());
    QCOMPARE(secondary->count(), 1);
    QCOMPARE(secondary->itemText(0), QStringLiteral("VESKOR"));
    QCOMPARE(Item<QLineEdit>(dialog, IDC_SECONDARY_USER)->text(), QString());

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Veskor Zastrel"));
    QVERIFY(!dialog.windowIcon().isNull());
}

void HalvexDlgTest::longPresetValuesAreKeptWhole()
{
    // A limit restrains typing only: a longer value from the arguments must not be cut,
    // or the next build would silently use a different location or password.
    const std::wstring location = L"http://updates.example.com/" + std::wstring(200, L'a');
    const std::wstring password(60, L'p');
    PackageOptions options;
    options.SetPrimaryUpdateLocation(location);
    options.SetPrimaryPassword(password);
    CHalvexDlg dialog(options);
    QCOMPARE(Item<QLineEdit>(dialog, IDC_PRIMARY_LOCATION)->text().toStdWString(), location);
    QCOMPARE(Item<QLineEdit>(dialog, IDC_PRIMARY_PASSWORD)->text().toStdWString(), password);
}

void HalvexDlgTest::templateOrderIsTabOrder()
{
    PackageOptions options;
    CHalvexDlg dialog(options);
    QList<int> seen;
    QWidget* widget = dialog.GetDlgItem(kTemplateOrder.first());
    do {
        const int id = kTemplateOrder.indexOf(widget->objectName().toInt()) >= 0 ? widget->objectName().toInt() : 0;
        const bool dialogControl = widget->parentWidget() == Page(dialog)
                                   || widget->parentWidget() == dialog.GetDlgItem(IDOK)->parentWidget();
        if (id != 0 && dialogControl && !seen.contains(id))
            seen << id;
        widget = widget->nextInFocusChain();
    } while (widget != dialog.GetDlgItem(kTemplateOrder.first()));
    QCOMPARE(seen, kTemplateOrder);
}

void HalvexDlgTest::mnemonicsMoveFocus_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("field");
    QTest::newRow("Source &folder") << int(Qt::Key_F) << int(IDC_SOURCE_FOLDER);
    QTest::newRow("Operating &system type") << int(Qt::Key_S) << int(IDC_BOTH_ARCHITECTURES);
    QTest::newRow("&Installation type") << int(Qt::Key_I) << int(IDC_SILENT);
    QTest::newRow("&Additional setup parameters") << int(Qt::Key_A) << int(IDC_SETUP_PARAMETERS);
    QTest::newRow("&Output package") << int(Qt::Key_O) << int(IDC_OUTPUT_PACKAGE);
    QTest::newRow("&Primary update location") << int(Qt::Key_P) << int(IDC_PRIMARY_LOCATION);
    QTest::newRow("User&name") << int(Qt::Key_N) << int(IDC_PRIMARY_USER);
    QTest::newRow("Pass&word") << int(Qt::Key_W) << int(IDC_PRIMARY_PASSWORD);
    QTest::newRow("Secondary update &location") << int(Qt::Key_L) << int(IDC_SECONDARY_LOCATION);
    QTest::newRow("Userna&me") << int(Qt::Key_M) << int(IDC_SECONDARY_USER);
    QTest::newRow("Passwo&rd") << int(Qt::Key_R) << int(IDC_SECONDARY_PASSWORD);
    QTest::newRow("C&ertificate or PKCS#12 file") << int(Qt::Key_E) << int(IDC_SIGN_FILE);
    QTest::newRow("&Key password") << int(Qt::Key_K) << int(IDC_SIGN_PASSWORD);
    QTest::newRow("&Time-stamp URL") << int(Qt::Key_T) << int(IDC_TIMESTAMP_URL);
}

void HalvexDlgTest::mnemonicsMoveFocus()
{
    QFETCH(int, key);
    QFETCH(int, field);
    PackageOptions options;
    options.SetPatch(true);  // the operating-system choice is enabled
    options.SetUseSecondaryLocation(true);
    CHalvexDlg dialog(options);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    Item<QPushButton>(dialog, IDC_HELP)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::AltModifier);
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus);
    QVERIFY2(focus == dialog.GetDlgItem(field) || focus->parentWidget() == dialog.GetDlgItem(field),
             qPrintable(focus->objectName()));
}

void HalvexDlgTest::altLettersNoControlOwnsDoNothing_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<int>("key");
    // At the defaults the operating-system choice and the secondary fields are greyed, so
    // their mnemonics belong to no enabled control; B, C and H belong to none at all.
    QTest::newRow("Alt+S, operating system greyed") << int(IDC_SOURCE_FOLDER) << int(Qt::Key_S);
    QTest::newRow("Alt+L, secondary location greyed") << int(IDC_PRIMARY_PASSWORD) << int(Qt::Key_L);
    QTest::newRow("Alt+M, secondary user name greyed") << int(IDC_PRIMARY_PASSWORD) << int(Qt::Key_M);
    QTest::newRow("Alt+R, secondary password greyed") << int(IDC_PRIMARY_PASSWORD) << int(Qt::Key_R);
    QTest::newRow("Alt+B") << int(IDC_SOURCE_FOLDER) << int(Qt::Key_B);
    QTest::newRow("Alt+C") << int(IDC_SETUP_PARAMETERS) << int(Qt::Key_C);
    QTest::newRow("Alt+H") << int(IDC_PRIMARY_USER) << int(Qt::Key_H);
}

void HalvexDlgTest::altLettersNoControlOwnsDoNothing()
{
    QFETCH(int, field);
    QFETCH(int, key);
    PackageOptions options;
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* edit = Item<QLineEdit>(dialog, field);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key(key), Qt::AltModifier);
    QTest::keyClick(edit, Qt::Key(key), Qt::AltModifier | Qt::ShiftModifier);
    for (QLineEdit* each : Page(dialog)->findChildren<QLineEdit*>())
        QVERIFY2(each->text().isEmpty(), qPrintable(each->objectName() + QStringLiteral(": ") + each->text()));
    QCOMPARE(QApplication::focusWidget(), edit);
    QVERIFY(host.boxes.empty());
    // Plain typing still types.
    QTest::keyClick(edit, Qt::Key(key));
    QCOMPARE(edit->text().size(), 1);
}

void HalvexDlgTest::arrowKeysChooseWithinARadioGroup()
{
    PackageOptions options;
    options.SetNonInteractive(true);  // opens with Silent and Non-interactive both ticked
    CHalvexDlg dialog(options);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    Item<QRadioButton>(dialog, IDC_SILENT)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QCOMPARE(QApplication::focusWidget(), dialog.GetDlgItem(IDC_NON_INTERACTIVE));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QCOMPARE(QApplication::focusWidget(), dialog.GetDlgItem(IDC_INTERACTIVE));
    QVERIFY(Item<QRadioButton>(dialog, IDC_INTERACTIVE)->isChecked());
    QVERIFY(!Item<QRadioButton>(dialog, IDC_SILENT)->isChecked());
    QVERIFY(!Item<QRadioButton>(dialog, IDC_NON_INTERACTIVE)->isChecked());
    // The other groups are untouched.
    QVERIFY(Item<QRadioButton>(dialog, IDC_IN_PACKAGE)->isChecked());
}

void HalvexDlgTest::textsFitTheirControls()
{
    PackageOptions options;
    CHalvexDlg dialog(options);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (QWidget* widget : dialog.findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(widget) && !qobject_cast<QAbstractButton*>(widget))
            continue;
        const QString what = widget->objectName() + QLatin1Char(' ') + widget->property("text").toString();
        QVERIFY2(NeededWidth(widget) <= widget->width(), qPrintable(what + QStringLiteral(" is clipped")));
        QVERIFY2(widget->parentWidget()->rect().contains(widget->geometry()),
                 qPrintable(what + QStringLiteral(" leaves the dialog")));
    }
}

void HalvexDlgTest::fitsTheScreen()
{
    // Runs at 100% and, as HalvexDlgTest-200, at 200% on a 1920 x 1080 screen: the
    // template fits only the first.
    PackageOptions options;
    CHalvexDlg dialog(options);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget* page = Page(dialog);
    auto* scroll = dialog.findChild<QScrollArea*>();
    QVERIFY(scroll);
    const QSize room = dialog.screen()->availableGeometry().size();
    const QWidget* buttonRow = dialog.GetDlgItem(IDOK)->parentWidget();
    const QSize whole = page->size() + QSize(0, buttonRow->height());
    qInfo("template %dx%d, screen %dx%d", whole.width(), whole.height(), room.width(), room.height());
    const bool tooBig = whole.width() > room.width() || whole.height() > room.height();
    // Room for any window manager's title bar and frame besides.
    const bool fits = whole.width() + 100 <= room.width() && whole.height() + 100 <= room.height();
    if (!tooBig && !fits)
        QSKIP("the template only just fits this screen: whether the frame fits beside it is the window manager's");

    // Build Package, Cancel and Help stay whole in view, outside the scrolling part.
    for (const int id : {IDOK, IDCANCEL, IDC_HELP}) {
        QWidget* button = dialog.GetDlgItem(id);
        QVERIFY2(!scroll->isAncestorOf(button), qPrintable(QString::number(id)));
        QVERIFY2(dialog.rect().contains(QRect(button->mapTo(&dialog, QPoint(0, 0)), button->size())),
                 qPrintable(QString::number(id)));
    }
    if (fits) {
        // The designed size, fixed, without scroll bars.
        QCOMPARE(dialog.size(), whole);
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(!scroll->verticalScrollBar()->isVisible());
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        return;
    }
    QVERIFY(dialog.width() <= room.width() && dialog.height() <= room.height());
    QVERIFY(dialog.minimumSize() != dialog.maximumSize());
    // Every control can be brought into view, and the focus brings it there itself: at
    // least its start, where a field's cursor is.
    const auto shown = [&](QWidget* control) {
        return scroll->viewport()->rect().contains(control->mapTo(scroll->viewport(), QPoint(0, 0)));
    };
    for (const int id : kTemplateOrder) {
        QWidget* control = dialog.GetDlgItem(id);
        if (!scroll->isAncestorOf(control))
            continue;
        scroll->ensureWidgetVisible(control, 0, 0);
        QVERIFY2(shown(control), qPrintable(QString::number(id)));
    }
    scroll->verticalScrollBar()->setValue(0);
    Item<QLineEdit>(dialog, IDC_SOURCE_FOLDER)->setFocus();
    QWidget* lowest = dialog.GetDlgItem(IDC_PRIMARY_PASSWORD);
    while (QApplication::focusWidget() != lowest)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(shown(lowest));
}

void HalvexDlgTest::groupFramesMissTheControls()
{
    // Runs at 100% and, as HalvexDlgTest-150 and HalvexDlgTest-200, at 150% and 200%.
    PackageOptions options;
    CHalvexDlg dialog(options);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget* page = Page(dialog);
    const QList<QGroupBox*> boxes = page->findChildren<QGroupBox*>();
    QCOMPARE(boxes.size(), 3);
    for (QGroupBox* box : boxes) {
        const std::vector<QRectF> lines = FrameLines(*box);
        QCOMPARE(lines.size(), std::size_t{4});
        for (const QWidget* control : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!control->isVisible() || control == box || !box->geometry().intersects(control->geometry()))
                continue;
            const QRectF area(control->geometry());
            for (const QRectF& line : lines)
                QVERIFY2(!line.intersects(area),
                         qPrintable(box->title() + QStringLiteral("'s frame line at %1,%2 %3x%4 crosses ")
                                                       .arg(line.x()).arg(line.y()).arg(line.width()).arg(line.height())
                                    + control->objectName() + QLatin1Char(' ') + control->property("text").toString()));
        }
    }
}

void HalvexDlgTest::everyInputAndButtonHasAnAccessibleName()
{
    PackageOptions options;
    CHalvexDlg dialog(options);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QStringList names;
    for (const int id : kTemplateOrder) {
        QWidget* control = dialog.GetDlgItem(id);
        if (qobject_cast<QLabel*>(control))
            continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        QVERIFY(accessible);
        const QString name = accessible->text(QAccessible::Name);
        QVERIFY2(!name.isEmpty() && !name.contains(QLatin1Char('&')), qPrintable(QString::number(id)));
        QVERIFY2(!names.contains(name), qPrintable(name + QStringLiteral(" twice")));
        names << name;
    }
    // The Browse buttons say what they browse for.
    for (const auto& [button, what] : {std::pair{IDC_BROWSE_SOURCE, "source folder"}, std::pair{IDC_BROWSE_OUTPUT, "output package"},
                                       std::pair{IDC_BROWSE_PRIMARY, "primary update location"},
                                       std::pair{IDC_BROWSE_SECONDARY, "secondary update location"},
                                       std::pair{IDC_BROWSE_SIGN_FILE, "signing certificate"}}) {
        const QString name = dialog.GetDlgItem(button)->accessibleName();
        QVERIFY2(name.contains(QLatin1String(what)), qPrintable(name));
    }
    // The management server field is labelled by its label.
    QAccessibleInterface* server = QAccessible::queryAccessibleInterface(dialog.GetDlgItem(IDC_SERVER_URL));
    bool labelled = false;
    for (const auto& [other, relation] : server->relations(QAccessible::Label))
        labelled = labelled || other->object() == dialog.GetDlgItem(IDC_SERVER_URL_LABEL);
    QVERIFY(labelled);
}

void HalvexDlgTest::browseButtons_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("field");
    QTest::newRow("source") << int(IDC_BROWSE_SOURCE) << QStringLiteral("Source folder") << int(IDC_SOURCE_FOLDER);
    QTest::newRow("primary") << int(IDC_BROWSE_PRIMARY) << QStringLiteral("Primary update location")
                             << int(IDC_PRIMARY_LOCATION);
    QTest::newRow("secondary") << int(IDC_BROWSE_SECONDARY) << QStringLiteral("Secondary update location")
                               << int(IDC_SECONDARY_LOCATION);
}

void HalvexDlgTest::browseButtons()
{
    QFETCH(int, button);
    QFETCH(QString, title);
    QFETCH(int, field);
    const QString chosen = scratch;

    PackageOptions options;
    options.SetUseSecondaryLocation(true);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    const auto fieldText = [&] {
        QWidget* item = dialog.GetDlgItem(field);
        auto* combo = qobject_cast<QComboBox*>(item);
        return combo ? combo->currentText() : qobject_cast<QLineEdit*>(item)->text();
    };
    if (auto* combo = qobject_cast<QComboBox*>(dialog.GetDlgItem(field)))
        combo->setEditText(QStringLiteral("typed"));
    else
        qobject_cast<QLineEdit*>(dialog.GetDlgItem(field))->setText(QStringLiteral("typed"));

    // A cancelled browser changes nothing.
    host.answers.push_back([](QDialog&) { return int(QDialog::Rejected); });
    Item<QPushButton>(dialog, button)->click();
    QCOMPARE(fieldText(), QStringLiteral("typed"));

    const auto choose = [&](QDialog& box) {
        auto& browser = dynamic_cast<QFileDialog&>(box);
        if (browser.fileMode() != QFileDialog::Directory)
            return int(QDialog::Rejected);
        browser.selectFile(chosen);
        return int(QDialog::Accepted);
    };
    host.answers.push_back(choose);
    Item<QPushButton>(dialog, button)->click();
    QCOMPARE(fieldText(), chosen);
    QCOMPARE(host.boxes.size(), std::size_t{2});
    QCOMPARE(host.boxes.back().className, QStringLiteral("QFileDialog"));
    QCOMPARE(host.boxes.back().title, title);
    QVERIFY(host.boxes.back().ownedByDialog);

    if (auto* combo = qobject_cast<QComboBox*>(dialog.GetDlgItem(field))) {
        // The chosen folder joins the list once, beside "VESKOR".
        host.answers.push_back(choose);
        Item<QPushButton>(dialog, button)->click();
        QCOMPARE(combo->count(), 2);
        QVERIFY(combo->findText(chosen) >= 0);
    }
}

void HalvexDlgTest::browseStartsWhereTheUserIs_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("namesFile");
    QTest::newRow("source") << int(IDC_BROWSE_SOURCE) << int(IDC_SOURCE_FOLDER) << false;
    QTest::newRow("output") << int(IDC_BROWSE_OUTPUT) << int(IDC_OUTPUT_PACKAGE) << true;
    QTest::newRow("primary") << int(IDC_BROWSE_PRIMARY) << int(IDC_PRIMARY_LOCATION) << false;
    QTest::newRow("secondary") << int(IDC_BROWSE_SECONDARY) << int(IDC_SECONDARY_LOCATION) << false;
}

void HalvexDlgTest::browseStartsWhereTheUserIs()
{
    QFETCH(int, button);
    QFETCH(int, field);
    QFETCH(bool, namesFile);
    const QString current = scratch + QStringLiteral("/current");
    const QString chosen = scratch + QStringLiteral("/chosen");
    QVERIFY(QDir().mkpath(current) && QDir().mkpath(chosen));

    QStringList startedIn;
    const auto answer = [&](const QString& pick) {
        return [&startedIn, pick](QDialog& box) {
            auto& browser = dynamic_cast<QFileDialog&>(box);
            startedIn << browser.directory().absolutePath();
            if (pick.isEmpty())
                return int(QDialog::Rejected);
            browser.selectFile(pick);
            return int(QDialog::Accepted);
        };
    };
    const QString inPick = namesFile ? chosen + QStringLiteral("/Client.exe") : chosen;
    {
        PackageOptions options;
        options.SetUseSecondaryLocation(true);
        RecordingDialogHost host;
        CHalvexDlg dialog(options, nullptr, host);
        // The field names a local folder (or a file in one): the browser starts there.
        SetText(dialog, field, namesFile ? current + QStringLiteral("/Old.exe") : current);
        host.answers.push_back(answer(inPick));
        Click(dialog, button);
        QCOMPARE(FieldText(dialog, field), inPick);

        // A location that is no local folder: the last folder chosen for this field.
        SetText(dialog, field, QStringLiteral("\\\\server\\share"));
        host.answers.push_back(answer(QString()));
        Click(dialog, button);
        QCOMPARE(startedIn, (QStringList{current, chosen}));
    }
    // The last folder outlives the run, and belongs to its own field only.
    PackageOptions options;
    options.SetUseSecondaryLocation(true);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    const int other = button == IDC_BROWSE_SOURCE ? IDC_BROWSE_PRIMARY : IDC_BROWSE_SOURCE;
    host.answers.push_back(answer(current));
    Click(dialog, other);
    SetText(dialog, field, QString());
    host.answers.push_back(answer(QString()));
    Click(dialog, button);
    QCOMPARE(startedIn.last(), chosen);
}

void HalvexDlgTest::saveBoxOffersThePackageName()
{
    PackageOptions options;
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    const QString folder = scratch;
    QString offered;
    host.answers.push_back([&](QDialog& box) {
        auto& saveBox = dynamic_cast<QFileDialog&>(box);
        offered = QFileInfo(saveBox.selectedFiles().value(0)).fileName();
        if (saveBox.acceptMode() != QFileDialog::AcceptSave || saveBox.defaultSuffix() != QStringLiteral("exe")
            || saveBox.nameFilters() != QStringList{QStringLiteral("Executable files (*.exe)")}
            || !saveBox.testOption(QFileDialog::DontConfirmOverwrite))
            return int(QDialog::Rejected);
        saveBox.setDirectory(folder);
        saveBox.selectFile(folder + QStringLiteral("/Client"));
        return int(QDialog::Accepted);
    });
    Item<QPushButton>(dialog, IDC_BROWSE_OUTPUT)->click();
    QCOMPARE(offered, QStringLiteral("VeskorEndpoint.exe"));
    QCOMPARE(host.boxes.at(0).title, QStringLiteral("Destination package"));
    QCOMPARE(Item<QLineEdit>(dialog, IDC_OUTPUT_PACKAGE)->text(), folder + QStringLiteral("/Client.exe"));
}

void HalvexDlgTest::secondaryLocationIsRememberedOnce()
{
    PackageOptions options;
    options.SetUseSecondaryLocation(true);
    CHalvexDlg dialog(options);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* secondary = Item<QComboBox>(dialog, IDC_SECONDARY_LOCATION);
    auto* userName = Item<QLineEdit>(dialog, IDC_SECONDARY_USER);
    const auto typeAndLeave = [&](const QString& text) {
        secondary->setFocus();
        secondary->lineEdit()->clear();
        QTest::keyClicks(secondary->lineEdit(), text);
        userName->setFocus();
    };
    const auto entries = [&] {
        QStringList list;
        for (int i = 0; i < secondary->count(); ++i)
            list << secondary->itemText(i);
        return list;
    };

    typeAndLeave(QStringLiteral("\\\\mirror\\updates"));
    QCOMPARE(entries(), (QStringList{QStringLiteral("\\\\mirror\\updates"), QStringLiteral("VESKOR")}));
    QCOMPARE(secondary->currentText(), QStringLiteral("\\\\mirror\\updates"));

    typeAndLeave(QStringLiteral("\\\\mirror\\updates"));
    QCOMPARE(secondary->count(), 2);
    QCOMPARE(secondary->currentIndex(), 0);

    // Case matters: "veskor" is a location of its own, sorted in.
    typeAndLeave(QStringLiteral("veskor"));
    QCOMPARE(entries(), (QStringList{QStringLiteral("\\\\mirror\\updates"), QStringLiteral("VESKOR"),
                                     QStringLiteral("veskor")}));

    // Leaving an empty field adds nothing.
    typeAndLeave(QString());
    QCOMPARE(secondary->count(), 3);
}

void HalvexDlgTest::typedSecondaryLocationKeepsItsCase()
{
    PackageOptions options;
    options.SetProgramFolder(programFolder.toStdWString());
    options.SetUseSecondaryLocation(true);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    SetText(dialog, IDC_SOURCE_FOLDER, cid);
    SetText(dialog, IDC_OUTPUT_PACKAGE, output);
    SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("\\\\server\\updates"));
    SetText(dialog, IDC_SECONDARY_USER, QStringLiteral("EX-1"));
    SetText(dialog, IDC_SECONDARY_PASSWORD, QStringLiteral("pw"));
    auto* secondary = Item<QComboBox>(dialog, IDC_SECONDARY_LOCATION);
    secondary->setFocus();
    QTest::keyClicks(secondary->lineEdit(), QStringLiteral("veskor"));
    QCOMPARE(secondary->currentText(), QStringLiteral("veskor"));
    Item<QLineEdit>(dialog, IDC_SECONDARY_USER)->setFocus();
    QCOMPARE(secondary->currentText(), QStringLiteral("veskor"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(secondary->currentText(), QStringLiteral("veskor"));
    QCOMPARE(options.GetSecondaryUpdateLocation(), std::wstring(L"veskor"));
    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].text, CheckBoxText(QStringLiteral(
        "Secondary update location \"veskor\" is not in the correct format. Enter either a UNC folder path or "
        "HTTP location and try again.")));
}

void HalvexDlgTest::choicesAreRememberedBetweenRuns()
{
    const QString settingsFile = RememberedSettings().fileName();
    QVERIFY2(settingsFile.startsWith(scratch), qPrintable(settingsFile));
    {
        PackageOptions options;
        RecordingDialogHost host;
        CHalvexDlg dialog(options, nullptr, host);
        SetText(dialog, IDC_SOURCE_FOLDER, cid);
        SetText(dialog, IDC_OUTPUT_PACKAGE, output);
        for (const int id : {IDC_FIREWALL, IDC_PATCH, IDC_TRAFFIC_DETECTION, IDC_64BIT_ONLY, IDC_AUTOUPDATE_DOWNLOADS, IDC_INTERACTIVE, IDC_USE_SECONDARY})
            Click(dialog, id);
        SetText(dialog, IDC_SERVER_URL, QStringLiteral("http://kett"));
        SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("\\\\server\\updates"));
        SetText(dialog, IDC_PRIMARY_USER, QStringLiteral("updater"));
        SetText(dialog, IDC_PRIMARY_PASSWORD, QStringLiteral("primary-secret"));
        SetText(dialog, IDC_SECONDARY_LOCATION, QStringLiteral("\\\\mirror\\updates"));
        SetText(dialog, IDC_SECONDARY_USER, QStringLiteral("mirror-user"));
        SetText(dialog, IDC_SECONDARY_PASSWORD, QStringLiteral("secondary-secret"));
        SetText(dialog, IDC_SETUP_PARAMETERS, QStringLiteral("-g Office -opwd VG9rZW4="));
        QVERIFY(RememberedSettings().allKeys().isEmpty());
        dialog.reject();
    }
    QFile stored(settingsFile);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    const QByteArray content = stored.readAll();
    for (const char* secret : {"secret", "VG9rZW4", "opwd", "Office"})
        QVERIFY2(!content.contains(secret), content.constData());

    PackageOptions options;
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    QCOMPARE(FieldText(dialog, IDC_SOURCE_FOLDER), cid);
    QCOMPARE(FieldText(dialog, IDC_OUTPUT_PACKAGE), output);
    QCOMPARE(FieldText(dialog, IDC_SERVER_URL), QStringLiteral("http://kett"));
    QCOMPARE(FieldText(dialog, IDC_PRIMARY_LOCATION), QStringLiteral("\\\\server\\updates"));
    QCOMPARE(FieldText(dialog, IDC_PRIMARY_USER), QStringLiteral("updater"));
    QCOMPARE(FieldText(dialog, IDC_SECONDARY_LOCATION), QStringLiteral("\\\\mirror\\updates"));
    QCOMPARE(FieldText(dialog, IDC_SECONDARY_USER), QStringLiteral("mirror-user"));
    for (const int id : {IDC_PRIMARY_PASSWORD, IDC_SECONDARY_PASSWORD, IDC_SETUP_PARAMETERS})
        QVERIFY2(FieldText(dialog, id).isEmpty(), qPrintable(QString::number(id)));
    const QList<int> ticked = {IDC_FIREWALL, IDC_PATCH, IDC_TRAFFIC_DETECTION, IDC_AUTOUPDATE_DOWNLOADS, IDC_64BIT_ONLY, IDC_INTERACTIVE, IDC_USE_SECONDARY};
    for (const int id : kCheckable)
        QVERIFY2(Item<QAbstractButton>(dialog, id)->isChecked() == ticked.contains(id),
                 qPrintable(QStringLiteral("tick of %1").arg(id)));
    // The restored ticks obey the dialog's rules: Patch enables the server field.
    QVERIFY(dialog.GetDlgItem(IDC_SERVER_URL)->isEnabled());
    QVERIFY(dialog.GetDlgItem(IDC_SECONDARY_LOCATION)->isEnabled());
    QCOMPARE(Item<QComboBox>(dialog, IDC_SECONDARY_LOCATION)->count(), 2);
}

void HalvexDlgTest::argumentsWinOverRememberedChoices_data()
{
    QTest::addColumn<Setup>("arguments");
    QTest::addColumn<QList<int>>("checked");
    QTest::addColumn<QString>("source");
    QTest::newRow("nothing given: the remembered choices")
        << Setup([](PackageOptions&) {}) << QList<int>{IDC_MANAGED, IDC_TRAFFIC_DETECTION, IDC_IN_PACKAGE, IDC_32BIT_ONLY, IDC_NON_INTERACTIVE} << QStringLiteral("/remembered");
    QTest::newRow("-cidpath, -arch 64bit and -ni given")
        << Setup([](PackageOptions& o) {
               o.SetSourceFolder(L"/given");
               o.SetInclude32Bit(false);
               o.SetNonInteractive(true);
           })
        << QList<int>{IDC_MANAGED, IDC_TRAFFIC_DETECTION, IDC_IN_PACKAGE, IDC_64BIT_ONLY, IDC_SILENT, IDC_NON_INTERACTIVE} << QStringLiteral("/given");
    QTest::newRow("-s given") << Setup([](PackageOptions& o) { o.SetSilent(true); })
                              << QList<int>{IDC_MANAGED, IDC_TRAFFIC_DETECTION, IDC_IN_PACKAGE, IDC_32BIT_ONLY, IDC_SILENT} << QStringLiteral("/remembered");
}

void HalvexDlgTest::argumentsWinOverRememberedChoices()
{
    QFETCH(Setup, arguments);
    QFETCH(QList<int>, checked);
    QFETCH(QString, source);
    {
        PackageOptions options;
        RecordingDialogHost host;
        CHalvexDlg dialog(options, nullptr, host);
        SetText(dialog, IDC_SOURCE_FOLDER, QStringLiteral("/remembered"));
        for (const int id : {IDC_MANAGED, IDC_TRAFFIC_DETECTION, IDC_32BIT_ONLY, IDC_NON_INTERACTIVE})
            Click(dialog, id);
        dialog.reject();
    }
    PackageOptions options;
    arguments(options);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    QCOMPARE(FieldText(dialog, IDC_SOURCE_FOLDER), source);
    for (const int id : kCheckable)
        QVERIFY2(Item<QAbstractButton>(dialog, id)->isChecked() == checked.contains(id),
                 qPrintable(QStringLiteral("tick of %1").arg(id)));
}

void HalvexDlgTest::helpOpensTheDocumentation_data()
{
    QTest::addColumn<bool>("shift");
    QTest::addColumn<bool>("browser");
    QTest::addColumn<int>("opened");
    QTest::newRow("F1") << false << true << 1;
    QTest::newRow("Shift+F1") << true << true << 0;
    QTest::newRow("F1 without a browser") << false << false << 1;
}

void HalvexDlgTest::helpOpensTheDocumentation()
{
    QFETCH(bool, shift);
    QFETCH(bool, browser);
    QFETCH(int, opened);
    PackageOptions options;
    RecordingDialogHost host;
    host.opensAddresses = browser;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    // F1 counts wherever the focus is, an edit field included.
    QTest::keyClick(Item<QLineEdit>(dialog, IDC_SETUP_PARAMETERS), Qt::Key_F1, shift ? Qt::ShiftModifier : Qt::NoModifier);
    QCOMPARE(int(host.openedAddresses.size()), opened);

    Item<QPushButton>(dialog, IDC_HELP)->click();
    QCOMPARE(int(host.openedAddresses.size()), opened + 1);
    for (const auto& address : host.openedAddresses)
        QCOMPARE(address, std::wstring(L"https://www.veskor.com/support/documentation/zastrel"));
    QVERIFY(dialog.isVisible());
    if (browser) {
        QVERIFY(host.boxes.empty());
        return;
    }
    // Without a browser each request shows the address where it can be selected and copied.
    QCOMPARE(int(host.boxes.size()), opened + 1);
    for (const auto& box : host.boxes) {
        QCOMPARE(box.title, QStringLiteral("Veskor Zastrel"));
        QVERIFY(box.ownedByDialog);
        QVERIFY2(box.text.contains(QStringLiteral("https://www.veskor.com/support/documentation/zastrel")),
                 qPrintable(box.text));
        QVERIFY(box.textFlags & Qt::TextSelectableByMouse);
        QVERIFY(box.textFlags & Qt::TextSelectableByKeyboard);
    }
}

void HalvexDlgTest::aboutEntryOpensTheAboutBox()
{
    PackageOptions options;
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    QCOMPARE(dialog.contextMenuPolicy(), Qt::ActionsContextMenu);
    QAction* about = dialog.findChild<QAction*>(QStringLiteral("about"));
    QVERIFY(about);
    QCOMPARE(about->text(), QStringLiteral("&About Zastrel..."));
    QVERIFY(dialog.actions().indexOf(about) > 0 && dialog.actions().first()->isSeparator());

    about->trigger();
    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].className, QStringLiteral("CAboutDlg"));
    QCOMPARE(host.boxes[0].title, QStringLiteral("About Zastrel"));
    QVERIFY(host.boxes[0].ownedByDialog);

    // From the keyboard: Shift+F10 in any control opens the same menu.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget* field = dialog.GetDlgItem(IDC_OUTPUT_PACKAGE);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_F10, Qt::ShiftModifier);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QVERIFY(menu->actions().contains(about));
    menu->close();
}

void HalvexDlgTest::enterBuildsFromAnyField_data()
{
    QTest::addColumn<int>("field");
    QTest::newRow("source folder") << int(IDC_SOURCE_FOLDER);
    QTest::newRow("password") << int(IDC_PRIMARY_PASSWORD);
    QTest::newRow("secondary location") << int(IDC_SECONDARY_LOCATION);
    QTest::newRow("a check box") << int(IDC_FIREWALL);
}

void HalvexDlgTest::enterBuildsFromAnyField()
{
    QFETCH(int, field);
    PackageOptions options;
    options.SetUseSecondaryLocation(true);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.GetDlgItem(field)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].className, QStringLiteral("QMessageBox"));
    QCOMPARE(host.boxes[0].text, CheckBoxText(QStringLiteral(
        "Source folder cannot be blank. Enter a software distribution location and try again.")));
    QVERIFY(dialog.isVisible());
}

void HalvexDlgTest::cancelAndEscEndTheDialog_data()
{
    QTest::addColumn<bool>("viaEsc");
    QTest::newRow("Cancel") << false;
    QTest::newRow("Esc") << true;
}

void HalvexDlgTest::cancelAndEscEndTheDialog()
{
    QFETCH(bool, viaEsc);
    PackageOptions options;
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    if (viaEsc)
        QTest::keyClick(Item<QLineEdit>(dialog, IDC_SOURCE_FOLDER), Qt::Key_Escape);
    else
        Item<QPushButton>(dialog, IDCANCEL)->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(host.boxes.empty());
}

void HalvexDlgTest::validationStopsAtTheFirstProblem_data()
{
    QTest::addColumn<Fill>("fill");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("notChecked");

    const QString primary = QStringLiteral("\\\\server\\updates");
    const auto valid = [this, primary](Fill more) {
        return Fill([this, primary, more](CHalvexDlg& d) {
            SetText(d, IDC_SOURCE_FOLDER, cid);
            SetText(d, IDC_OUTPUT_PACKAGE, output);
            SetText(d, IDC_PRIMARY_LOCATION, primary);
            more(d);
        });
    };
    const QStringList nothingElse = {QStringLiteral("Destination path:"), QStringLiteral("URL:"),
                                     QStringLiteral("Updating source:")};

    QTest::newRow("blank source is the only thing tested")
        << Fill([this](CHalvexDlg& d) {
               SetText(d, IDC_OUTPUT_PACKAGE, QStringLiteral("relative"));
               Click(d, IDC_PATCH);
           })
        << QStringLiteral("Source folder cannot be blank. Enter a software distribution location and try again.")
        << (QStringList{QStringLiteral("Source path:")} + nothingElse);
    QTest::newRow("source without the marker")
        << valid([this](CHalvexDlg& d) { SetText(d, IDC_SOURCE_FOLDER, scratch); })
        << QStringLiteral("Source folder \"%1\" must point to a software distribution location.").arg(scratch)
        << nothingElse;
    QTest::newRow("blank output")
        << valid([](CHalvexDlg& d) { SetText(d, IDC_OUTPUT_PACKAGE, QString()); })
        << QStringLiteral("Output package cannot be blank. Enter a folder path and try again.") << nothingElse;
    // A relative output would depend on the folder the program was started from.
    for (const char* relative : {"Client.exe", "out/Client.exe"})
        QTest::newRow(qPrintable(QStringLiteral("relative output ") + QLatin1String(relative)))
            << valid([relative](CHalvexDlg& d) { SetText(d, IDC_OUTPUT_PACKAGE, QLatin1String(relative)); })
            << QStringLiteral("Output package path \"%1\" is invalid.\nEnter the full path of the package or of its "
                              "folder.")
                   .arg(QLatin1String(relative))
            << QStringList{QStringLiteral("Destination path: "), QStringLiteral("URL:"), QStringLiteral("Updating source:")};
    QTest::newRow("patch without a server, after source and output")
        << valid([](CHalvexDlg& d) { Click(d, IDC_PATCH); })
        << QStringLiteral("Management server URL cannot be blank. Enter an HTTP location and try again.")
        << QStringList{QStringLiteral("Updating source:")};
    QTest::newRow("server with a path")
        << valid([](CHalvexDlg& d) {
               Click(d, IDC_PATCH);
               SetText(d, IDC_SERVER_URL, QStringLiteral("http://kett/console"));
           })
        << QStringLiteral("Management server URL \"http://kett/console\" is not in the correct format. Enter an HTTP "
                          "location and try again.")
        << QStringList{QStringLiteral("Updating source:")};
    QTest::newRow("blank primary location while enabled")
        << valid([](CHalvexDlg& d) { SetText(d, IDC_PRIMARY_LOCATION, QString()); })
        << QStringLiteral("Primary update location cannot be blank. Enter a UNC folder path or HTTP location and try "
                          "again.")
        << QStringList{};
    QTest::newRow("https primary location")
        << valid([](CHalvexDlg& d) { SetText(d, IDC_PRIMARY_LOCATION, QStringLiteral("https://updates/veskor")); })
        << QStringLiteral("Primary update location \"https://updates/veskor\" is not in the correct format. Enter "
                          "either a UNC folder path or HTTP location and try again.")
        << QStringList{};
    QTest::newRow("blank secondary location")
        << valid([](CHalvexDlg& d) { Click(d, IDC_USE_SECONDARY); })
        << QStringLiteral("Secondary update location cannot be blank. Enter a UNC folder path or HTTP location and "
                          "try again.")
        << QStringList{};
    QTest::newRow("VESKOR needs the credentials")
        << valid([](CHalvexDlg& d) {
               Click(d, IDC_USE_SECONDARY);
               SetText(d, IDC_SECONDARY_LOCATION, QStringLiteral("VESKOR"));
               SetText(d, IDC_SECONDARY_USER, QStringLiteral("EX-1"));
           })
        << QStringLiteral("Your Veskor username and password cannot be blank.") << QStringList{};
    QTest::newRow("veskor in lower case is a location to check")
        << valid([](CHalvexDlg& d) {
               Click(d, IDC_USE_SECONDARY);
               SetText(d, IDC_SECONDARY_LOCATION, QStringLiteral("veskor"));
               SetText(d, IDC_SECONDARY_USER, QStringLiteral("EX-1"));
               SetText(d, IDC_SECONDARY_PASSWORD, QStringLiteral("pw"));
           })
        << QStringLiteral("Secondary update location \"veskor\" is not in the correct format. Enter either a UNC "
                          "folder path or HTTP location and try again.")
        << QStringList{};
    QTest::newRow("greyed primary location is not tested")
        << valid([](CHalvexDlg& d) {
               SetText(d, IDC_PRIMARY_LOCATION, QString());
               Click(d, IDC_MANAGED);
               Click(d, IDC_AUTOUPDATE_DOWNLOADS);
               Click(d, IDC_USE_SECONDARY);
               Click(d, IDC_IN_PACKAGE);  // managed, in the package: the update fields grey out
           })
        << QString() << QStringList{QStringLiteral("Updating source:")};
}

void HalvexDlgTest::validationStopsAtTheFirstProblem()
{
    QFETCH(Fill, fill);
    QFETCH(QString, failure);
    QFETCH(QStringList, notChecked);

    PackageOptions options;
    options.SetProgramFolder(programFolder.toStdWString());
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    fill(dialog);
    const qsizetype logBefore = LogText().size();
    Click(dialog, IDOK);
    const QString lines = LogText().mid(logBefore);

    QVERIFY(!host.boxes.empty());
    const auto& box = host.boxes.front();
    QCOMPARE(box.title, QStringLiteral("Veskor Zastrel"));
    QVERIFY(box.ownedByDialog);
    QVERIFY(box.enabled);
    if (failure.isEmpty()) {
        // Every check passed: the job ran (and failed on the small CID) instead.
        QCOMPARE(box.icon, QMessageBox::Critical);
        QVERIFY2(box.text.startsWith(QStringLiteral("Package generation failed.")), qPrintable(box.text));
    } else {
        QCOMPARE(host.boxes.size(), std::size_t{1});
        QCOMPARE(box.text, CheckBoxText(failure));
        QCOMPARE(box.icon, QMessageBox::Critical);
    }
    for (const QString& line : notChecked)
        QVERIFY2(!lines.contains(line), qPrintable(line + QStringLiteral(" was checked:\n") + lines));
    QVERIFY(dialog.isEnabled());
    QVERIFY(!QApplication::overrideCursor());
}

void HalvexDlgTest::transferCopiesEveryControl()
{
    PackageOptions options;
    options.SetSourceFolder(L"/nowhere");  // fails the first check: no job runs
    options.SetSecondaryUpdateLocation(L"stale");
    options.GetSetupParameters().emplace(L"-stale", L"");
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    SetText(dialog, IDC_OUTPUT_PACKAGE, QStringLiteral("/out/p\u00e4ckage.exe"));
    for (const int id : {IDC_FIREWALL, IDC_PATCH, IDC_TRAFFIC_DETECTION, IDC_32BIT_ONLY, IDC_AUTOUPDATE_DOWNLOADS,
                         IDC_NON_INTERACTIVE, IDC_USE_SECONDARY})
        Click(dialog, id);
    SetText(dialog, IDC_SERVER_URL, QStringLiteral("http://kett"));
    SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("http://u/p"));
    SetText(dialog, IDC_PRIMARY_USER, QStringLiteral("user"));
    SetText(dialog, IDC_PRIMARY_PASSWORD, QStringLiteral("pass word"));
    SetText(dialog, IDC_SECONDARY_LOCATION, QStringLiteral("\\\\mirror"));
    SetText(dialog, IDC_SECONDARY_USER, QStringLiteral("user2"));
    SetText(dialog, IDC_SECONDARY_PASSWORD, QStringLiteral("pass2"));
    SetText(dialog, IDC_SETUP_PARAMETERS, QStringLiteral("-g \"Head Office\" /x -user override"));
    Click(dialog, IDOK);

    QCOMPARE(options.GetSourceFolder(), std::wstring(L"/nowhere"));
    QCOMPARE(options.GetOutputPackage(), std::wstring(L"/out/p\u00e4ckage.exe"));
    QVERIFY(!options.GetManaged());
    QVERIFY(options.GetFirewall());
    QVERIFY(options.GetPatch());
    QVERIFY(options.GetTrafficDetection());
    QVERIFY(!options.GetExploitPrevention());
    QVERIFY(!options.GetIncludeComponents());
    QVERIFY(options.GetInclude32Bit());
    QVERIFY(!options.GetInclude64Bit());
    QCOMPARE(options.GetManagementServerUrl(), std::wstring(L"http://kett"));
    QCOMPARE(options.GetPrimaryUpdateLocation(), std::wstring(L"http://u/p"));
    QCOMPARE(options.GetPrimaryPassword(), std::wstring(L"pass word"));
    QVERIFY(options.GetNonInteractive());
    QVERIFY(!options.GetSilent());
    // The parameters field is parsed over the controls: its -user wins.
    QCOMPARE(options.GetPrimaryUserName(), std::wstring(L"override"));
    const PackageOptions::ParameterMap expected = {{L"-g", L"Head Office"}, {L"/x", L""}};
    QVERIFY(options.GetSetupParameters() == expected);
    QVERIFY(options.GetUseSecondaryLocation());
    QCOMPARE(options.GetSecondaryUpdateLocation(), std::wstring(L"\\\\mirror"));
    QCOMPARE(options.GetSecondaryUserName(), std::wstring(L"user2"));
    QCOMPARE(options.GetSecondaryPassword(), std::wstring(L"pass2"));
}

void HalvexDlgTest::noCheckAppliesOnlyWhileInTheField()
{
    PackageOptions options;
    options.SetProgramFolder(programFolder.toStdWString());
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    // Patch without a server and a blank primary location would both be refused.
    Click(dialog, IDC_PATCH);
    SetText(dialog, IDC_SETUP_PARAMETERS, QStringLiteral("-nocheck"));

    // Source and output are still checked.
    Click(dialog, IDOK);
    QCOMPARE(host.boxes.back().text, CheckBoxText(QStringLiteral(
        "Source folder cannot be blank. Enter a software distribution location and try again.")));

    SetText(dialog, IDC_SOURCE_FOLDER, cid);
    SetText(dialog, IDC_OUTPUT_PACKAGE, output);
    Click(dialog, IDOK);
    QVERIFY2(host.boxes.back().text.startsWith(QStringLiteral("Package generation failed.")),
             qPrintable(host.boxes.back().text));

    // Taken out of the field, the switch no longer applies.
    SetText(dialog, IDC_SETUP_PARAMETERS, QString());
    Click(dialog, IDOK);
    QCOMPARE(host.boxes.size(), std::size_t{3});
    QCOMPARE(host.boxes.back().text, CheckBoxText(QStringLiteral(
        "Management server URL cannot be blank. Enter an HTTP location and try again.")));
    QVERIFY(!options.GetSkipChecks());
}

void HalvexDlgTest::noCheckArgumentShowsInTheField()
{
    // -nocheck given without -cli is visible, and removable, where the builds read it.
    PackageOptions options;
    options.SetSkipChecks(true);
    options.GetSetupParameters().emplace(L"-g", L"Head Office");
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    QCOMPARE(FieldText(dialog, IDC_SETUP_PARAMETERS), QStringLiteral("-nocheck -g \"Head Office\""));
    SetText(dialog, IDC_SOURCE_FOLDER, cid);
    SetText(dialog, IDC_OUTPUT_PACKAGE, output);
    Click(dialog, IDC_PATCH);
    SetText(dialog, IDC_SETUP_PARAMETERS, QStringLiteral("-g \"Head Office\""));
    Click(dialog, IDOK);
    QCOMPARE(host.boxes.back().text, CheckBoxText(QStringLiteral(
        "Management server URL cannot be blank. Enter an HTTP location and try again.")));
}

void HalvexDlgTest::wholeBuildThroughTheDialog()
{
    const QString package = scratch + QStringLiteral("/built/VeskorEndpoint.exe");
    PackageOptions options;
    options.SetProgramFolder(programFolder.toStdWString());
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    SetText(dialog, IDC_SOURCE_FOLDER, cid);
    // An address names the path it stands for.
    SetText(dialog, IDC_OUTPUT_PACKAGE, QUrl::fromLocalFile(package).toString());
    SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("http://updates.example.com/veskor"));
    SetText(dialog, IDC_PRIMARY_USER, QStringLiteral("updater"));
    SetText(dialog, IDC_PRIMARY_PASSWORD, QStringLiteral("secret"));

    // Watches the progress window from inside the build: the job's Refresh runs timers.
    QStringList statuses;
    QList<int> percentages;
    bool mainDialogBlocked = false;
    int turnsAfterTheLastStatus = 0;
    bool waitCursor = false;
    QElapsedTimer sinceLastStatus;
    QTimer watcher;
    watcher.setInterval(0);
    connect(&watcher, &QTimer::timeout, [&] {
        auto* progress = dialog.findChild<CProgressDlg*>();
        if (!progress || !progress->isVisible())
            return;
        if (auto* bar = progress->findChild<QProgressBar*>(QStringLiteral("1046"));
            bar && !bar->property("watched").toBool()) {
            bar->setProperty("watched", true);
            connect(bar, &QProgressBar::valueChanged, [&](int value) { percentages << value; });
        }
        const QString status = progress->findChild<QLabel*>(QStringLiteral("1049"))->text();
        if (status == QStringLiteral("Package generation complete."))
            ++turnsAfterTheLastStatus;
        // The placeholder shows only until the job's first status.
        if (status != QStringLiteral("Static") && (statuses.isEmpty() || statuses.last() != status)) {
            statuses << status;
            sinceLastStatus.start();
        }
        mainDialogBlocked = mainDialogBlocked || QApplication::activeModalWidget() == progress;
        waitCursor = waitCursor || (QApplication::overrideCursor()
                                    && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
    });
    QList<bool> enabledBefore;
    for (const int id : kTemplateOrder)
        enabledBefore << dialog.GetDlgItem(id)->isEnabled();
    watcher.start();
    qint64 heldFor = -1;
    host.onShow = [&](QDialog&) { heldFor = sinceLastStatus.elapsed(); };

    Click(dialog, IDOK);
    watcher.stop();

    QCOMPARE(statuses, (QStringList{QStringLiteral("Establishing package components to transfer..."),
                                    QStringLiteral("Copying package data and ConfigUpdate tool to local machine..."),
                                    QStringLiteral("Creating setup configuration script..."),
                                    QStringLiteral("Creating the final self-extracting archive..."),
                                    QStringLiteral("Cleaning up package components from local machine..."),
                                    QStringLiteral("Package generation complete.")}));
    // The bar may also move within a step, but never back, and passes every percentage of the job.
    QVERIFY2(std::is_sorted(percentages.begin(), percentages.end()), qPrintable(QDebug::toString(percentages)));
    for (const int designed : {20, 40, 60, 80, 100})
        QVERIFY2(percentages.contains(designed), qPrintable(QDebug::toString(percentages)));
    QVERIFY(mainDialogBlocked);
    QVERIFY(waitCursor);
    // The last status stays readable for about two seconds before the result box.
    QVERIFY2(heldFor >= 1900, qPrintable(QString::number(heldFor)));
    // Meanwhile the event loop kept turning, not just at each of the twenty refreshes.
    QVERIFY2(turnsAfterTheLastStatus > 100, qPrintable(QString::number(turnsAfterTheLastStatus)));

    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].text, QStringLiteral("Package generation complete.\n\n") + package);
    QCOMPARE(host.boxes[0].icon, QMessageBox::Information);
    QCOMPARE(host.boxes[0].title, QStringLiteral("Veskor Zastrel"));
    QVERIFY(host.boxes[0].ownedByDialog);
    QVERIFY(host.boxes[0].enabled);

    // The package: the installer module first, then the configuration and the archive.
    QFile built(package);
    QFile module(programFolder + QStringLiteral("/7za/7zSD.sfx"));
    QVERIFY(built.open(QIODevice::ReadOnly) && module.open(QIODevice::ReadOnly));
    QVERIFY(built.readAll().startsWith(module.readAll()));
    QVERIFY(!QFileInfo::exists(scratch + QStringLiteral("/built/halvex_archive.7z")));

    // The dialog is usable again, as it was, and the progress window is gone.
    QVERIFY(dialog.isEnabled());
    for (qsizetype i = 0; i < kTemplateOrder.size(); ++i)
        QCOMPARE(dialog.GetDlgItem(kTemplateOrder[i])->isEnabled(), enabledBefore[i]);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.findChild<CProgressDlg*>());
    QVERIFY(!QApplication::overrideCursor());
}

void HalvexDlgTest::buildErrorsKeepTheDialog_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("pasted");
    const QString invalidPassword = QString::fromStdWString(L"Option \u2013opwd is not a valid password.");
    // Outside the alphabet, a wrong algorithm ident, a token the cipher cannot open, a
    // token of no layout at all: the same text for each, never the library's own.
    for (const char* token : {"***", "BxQBAQEBAQEBAQEBAQE=", "BwgBAQEBAQEBAQ==", "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo="})
        QTest::newRow(qPrintable(QStringLiteral("-opwd ") + QLatin1String(token)))
            << int(IDC_SETUP_PARAMETERS) << QStringLiteral("-opwd ") + QLatin1String(token) << invalidPassword << false;
    const QString file = cid + QStringLiteral("/cidsync.upd");
    QTest::newRow("source path naming a file")
        << int(IDC_SOURCE_FOLDER) << file
        << QStringLiteral("Source folder \"%1\" must point to a software distribution location.\nNot a directory").arg(file)
        << false;
    // Over a field's limit: refused whole, never cut to the limit and built.
    const QString longLocation = QStringLiteral("\\\\fileserver.branch.example.com\\") + QString(130, QLatin1Char('u'));
    QTest::newRow("pasted primary location over its limit")
        << int(IDC_PRIMARY_LOCATION) << longLocation
        << QStringLiteral("Primary update location is %1 characters long; it can hold at most 150. Nothing was built.")
               .arg(longLocation.size())
        << true;
    QTest::newRow("typed password over its limit")
        << int(IDC_PRIMARY_PASSWORD) << QString(51, QLatin1Char('p'))
        << QStringLiteral("Password for the primary update location is 51 characters long; it can hold at most 50. "
                          "Nothing was built.")
        << false;
}

void HalvexDlgTest::buildErrorsKeepTheDialog()
{
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, reason);
    QFETCH(bool, pasted);
    PackageOptions options;
    options.SetProgramFolder(programFolder.toStdWString());
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    SetText(dialog, IDC_SOURCE_FOLDER, cid);
    SetText(dialog, IDC_OUTPUT_PACKAGE, output);
    SetText(dialog, IDC_PRIMARY_USER, QStringLiteral("updater"));
    if (pasted) {
        QGuiApplication::clipboard()->setText(typed);
        Item<QLineEdit>(dialog, field)->paste();
    } else {
        SetText(dialog, field, typed);
    }
    Click(dialog, IDC_PATCH);

    // Inside the dialog's own loop, as a user meets it.
    bool stillOpen = false;
    QWidget* focused = nullptr;
    QTimer::singleShot(0, &dialog, [&] {
        dialog.GetDlgItem(IDOK)->setFocus();
        Click(dialog, IDOK);
        Click(dialog, IDOK);
        stillOpen = dialog.isVisible();
        focused = dialog.focusWidget();
        dialog.reject();
    });
    QCOMPARE(dialog.DoModal(), int(QDialog::Rejected));
    QVERIFY(stillOpen);

    // Each build stops with the reason, and nothing typed is lost.
    QCOMPARE(host.boxes.size(), std::size_t{2});
    QCOMPARE(focused, dialog.GetDlgItem(field));
    for (const auto& box : host.boxes) {
        QCOMPARE(box.text, CheckBoxText(reason));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.title, QStringLiteral("Veskor Zastrel"));
        QVERIFY(box.ownedByDialog);
    }
    QCOMPARE(FieldText(dialog, field), typed);
    QCOMPARE(FieldText(dialog, IDC_PRIMARY_USER), QStringLiteral("updater"));
    QVERIFY(Item<QAbstractButton>(dialog, IDC_PATCH)->isChecked());
    QVERIFY(dialog.GetDlgItem(IDC_SERVER_URL)->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
}

void HalvexDlgTest::stoppingABuild_data()
{
    // How the user acts once the archive step shows, and whether the build stops.
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("stops");
    QTest::newRow("Cancel") << QStringLiteral("cancel") << true;
    QTest::newRow("Esc, then Yes") << QStringLiteral("esc-yes") << true;
    QTest::newRow("Esc, then No") << QStringLiteral("esc-no") << false;
    // Asked to end (kill, or the terminal it came from closing): stopped as by Cancel,
    // then the dialog ends.
    QTest::newRow("SIGTERM") << QStringLiteral("sigterm") << true;
    QTest::newRow("SIGHUP") << QStringLiteral("sighup") << true;
}

void HalvexDlgTest::stoppingABuild()
{
    QFETCH(QString, action);
    QFETCH(bool, stops);
    const std::filesystem::path folder = TestSupport::ScratchFolder() / ("busy-" + action.toStdString());
    const QString busyCid = BusyCid(folder);
    const QString outputFolder = QString::fromStdString((folder / "out").string());
    const QString package = outputFolder + QStringLiteral("/VeskorEndpoint.exe");
    const QString workFolder = QString::fromLocal8Bit(qgetenv("TEMP")) + QStringLiteral("/Halvex");

    PackageOptions options;
    options.SetProgramFolder(programFolder.toStdWString());
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    SetText(dialog, IDC_SOURCE_FOLDER, busyCid);
    SetText(dialog, IDC_OUTPUT_PACKAGE, package);
    Click(dialog, IDC_FIREWALL);
    Click(dialog, IDC_INTERACTIVE);
    SetText(dialog, IDC_SETUP_PARAMETERS, QStringLiteral("-nocheck"));
    SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("http://updates.example.com/veskor"));
    SetText(dialog, IDC_PRIMARY_USER, QStringLiteral("updater"));
    SetText(dialog, IDC_PRIMARY_PASSWORD, QStringLiteral("secret"));
    Click(dialog, IDC_USE_SECONDARY);
    SetText(dialog, IDC_SECONDARY_LOCATION, QStringLiteral("\\\\files\\veskor"));
    SetText(dialog, IDC_SECONDARY_USER, QStringLiteral("mirror"));
    const QStringList typed = Entries(dialog);
    // The step that was working logs why it ended.
    const QString stopLine = QStringLiteral("interrupted: the run was asked to stop");
    const qsizetype stopLinesBefore = LogText().count(stopLine);

    // The job's Refresh runs timers: act once the progress window shows the archive step.
    bool acted = false;
    QTimer watcher;
    watcher.setInterval(0);
    connect(&watcher, &QTimer::timeout, [&] {
        auto* progress = dialog.findChild<CProgressDlg*>();
        if (acted || !progress || !progress->isVisible()
            || progress->findChild<QLabel*>(QStringLiteral("1049"))->text()
                   != QStringLiteral("Creating the final self-extracting archive..."))
            return;
        acted = true;
        if (action == QStringLiteral("sigterm") || action == QStringLiteral("sighup")) {
            ::raise(action == QStringLiteral("sigterm") ? SIGTERM : SIGHUP);
        } else if (action == QStringLiteral("cancel")) {
            QTest::mouseClick(progress->findChild<QPushButton*>(QStringLiteral("2")), Qt::LeftButton);
        } else {
            host.answers.push_back([&action](QDialog&) {
                return int(action == QStringLiteral("esc-yes") ? QMessageBox::Yes : QMessageBox::No);
            });
            QTest::keyClick(progress, Qt::Key_Escape);
        }
    });
    watcher.start();
    Click(dialog, IDOK);
    watcher.stop();
    QVERIFY2(acted, qPrintable(host.boxes.empty() ? QString() : host.boxes.back().text));

    if (action.startsWith(QStringLiteral("sig"))) {
        // No box waits for a user who asked the program to end, and nothing stays behind.
        QVERIFY(host.boxes.empty());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(QDir(outputFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
        QVERIFY(!QFileInfo::exists(workFolder));
        QVERIFY(!HasChildren());
        QVERIFY(!Platform::InterruptRequested());
        QVERIFY(LogText().count(stopLine) > stopLinesBefore);
        return;
    }
    QVERIFY(!host.boxes.empty());
    const RecordingDialogHost::Box& result = host.boxes.back();
    QCOMPARE(host.boxes.size(), action == QStringLiteral("cancel") ? std::size_t{1} : std::size_t{2});
    QCOMPARE(result.icon, QMessageBox::Information);
    QVERIFY(result.ownedByDialog);
    QCOMPARE(Entries(dialog), typed);
    QVERIFY(!Platform::InterruptRequested());
    QVERIFY(!HasChildren());
    QVERIFY(!QFileInfo::exists(workFolder));
    QVERIFY(!dialog.findChild<CProgressDlg*>());
    QVERIFY(!QApplication::activeModalWidget());
    if (!stops) {
        QCOMPARE(result.text, QStringLiteral("Package generation complete.\n\n") + package);
        QVERIFY(QFileInfo(package).size() > 8 << 20);
        QCOMPARE(QDir(outputFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("VeskorEndpoint.exe"), QStringLiteral("VeskorEndpoint.exe.sha256")}));
        return;
    }
    QCOMPARE(result.text,
             QStringLiteral("The package build was stopped. Nothing was written under the package name."));
    // Nothing under the package name, no archive, no half-joined file.
    QCOMPARE(QDir(outputFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
    QVERIFY(LogText().count(stopLine) > stopLinesBefore);

    // The stop is forgotten: the next build from the same fields runs to the end.
    Click(dialog, IDOK);
    QCOMPARE(host.boxes.back().text, QStringLiteral("Package generation complete.\n\n") + package);
    QVERIFY(QFileInfo(package).size() > 8 << 20);
    QCOMPARE(Entries(dialog), typed);
}

// A second run during a build, in either order: the program's log stays whole and the
// other run writes its own beside it, which its notice names.
void HalvexDlgTest::twoRunsAtOnceKeepTheirOwnLogs()
{
    const std::filesystem::path folder = TestSupport::ScratchFolder() / "two-runs";
    const QString busyCid = BusyCid(folder);
    const std::filesystem::path program = std::filesystem::path(programFolder.toStdString()) / "halvex";
    std::filesystem::copy_file(HALVEX_PROGRAM, program, std::filesystem::copy_options::overwrite_existing);
    const QString logFolder = QString::fromLocal8Bit(qgetenv("ProgramData")) + QStringLiteral("/Veskor/Zastrel/Log/");
    const QString ownLog = QString::fromStdWString(GetLogging().GetLogFilePath());
    QCOMPARE(ownLog, logFolder + QStringLiteral("log.txt"));
    const QString otherLog = logFolder + QStringLiteral("log-2.txt");
    const QString workFolder = QString::fromLocal8Bit(qgetenv("TEMP")) + QStringLiteral("/Halvex");
    const std::string otherNotice =
        "halvex: another run is writing log.txt; this run's log is " + otherLog.toStdString() + "\n";
    // The refusal names the run that holds the work folder.
    const QString busyLine =
        QStringLiteral("Another packaging run is using the work folder: ") + workFolder + QStringLiteral(" (held by process ");
    const auto hasBusyLine = [&busyLine](const QStringList& lines) {
        return std::any_of(lines.begin(), lines.end(), [&](const QString& line) { return line.startsWith(busyLine); });
    };

    PackageOptions options;
    options.SetProgramFolder(programFolder.toStdWString());
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    SetText(dialog, IDC_SOURCE_FOLDER, busyCid);
    const QString package = QString::fromStdString((folder / "dialog/VeskorEndpoint.exe").string());
    SetText(dialog, IDC_OUTPUT_PACKAGE, package);
    SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("http://updates.example.com/veskor"));
    SetText(dialog, IDC_PRIMARY_USER, QStringLiteral("updater"));

    // The dialog builds; a command-line run starts once the archive step shows.
    TestSupport::ChildResult second;
    bool started = false;
    QTimer watcher;
    watcher.setInterval(0);
    connect(&watcher, &QTimer::timeout, [&] {
        auto* progress = dialog.findChild<CProgressDlg*>();
        if (started || !progress || !progress->isVisible()
            || progress->findChild<QLabel*>(QStringLiteral("1049"))->text()
                   != QStringLiteral("Creating the final self-extracting archive..."))
            return;
        started = true;
        second = TestSupport::RunChild(program.string(), {"-cli", "-cidpath", busyCid.toStdString(), "-sfxpath",
                                                          (folder / "cli/second.exe").string()});
    });
    const qsizetype startsBefore = WholeLog(ownLog).value_or(QStringList()).count(
        QStringLiteral("*** Starting packaging process *** "));
    watcher.start();
    Click(dialog, IDOK);
    watcher.stop();
    QVERIFY2(started, qPrintable(host.boxes.empty() ? QString() : host.boxes.back().text));
    QCOMPARE(host.boxes.back().text, QStringLiteral("Package generation complete.\n\n") + package);
    QCOMPARE(second.exitCode, 82);
    QCOMPARE(second.err, otherNotice);
    const auto secondLog = WholeLog(otherLog);
    QVERIFY(secondLog);
    QVERIFY2(hasBusyLine(*secondLog), qPrintable(secondLog->join(QLatin1Char('\n'))));
    const auto ownLines = WholeLog(ownLog);
    QVERIFY(ownLines);
    QCOMPARE(ownLines->count(QStringLiteral("*** Starting packaging process *** ")), startsBefore + 1);
    QCOMPARE(ownLines->back(), QStringLiteral("Zastrel completed successfully "));
    QVERIFY(!hasBusyLine(*ownLines));

    // A command-line run builds; the dialog's build starts once its archive step shows.
    host.boxes.clear();
    SetText(dialog, IDC_OUTPUT_PACKAGE, QString::fromStdString((folder / "dialog/Other.exe").string()));
    const TestSupport::ChildResult first =
        TestSupport::RunChild(program.string(),
                              {"-cli", "-cidpath", busyCid.toStdString(), "-sfxpath",
                               (folder / "cli/first.exe").string()},
                              [&] {
                                  TestSupport::ChildOptions run;
                                  run.onOutputLine = [&](const std::string& line, pid_t) {
                                      if (line == "Creating the final self-extracting archive...")
                                          Click(dialog, IDOK);
                                  };
                                  return run;
                              }());
    QCOMPARE(first.exitCode, 0);
    QCOMPARE(first.err, otherNotice);
    QCOMPARE(WholeLog(otherLog).value_or(QStringList{QString()}).back(), QStringLiteral("Zastrel completed successfully "));
    QCOMPARE(host.boxes.size(), std::size_t{1});
    QVERIFY2(host.boxes[0].text.startsWith(
                 QString::fromStdWString(Platform::LoadFormattedString(116, ownLog.toStdWString()).value())),
             qPrintable(host.boxes[0].text));
    const auto failedLines = WholeLog(ownLog);
    QVERIFY(failedLines);
    QVERIFY(hasBusyLine(*failedLines));
    QCOMPARE(failedLines->back(), QStringLiteral("Zastrel failed "));
}

void HalvexDlgTest::failedBuildBoxGivesTheReason_data()
{
    // What to spoil in a fresh CID and program folder, and the reason the box must give.
    QTest::addColumn<Spoil>("spoil");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a CID lacking a component")
        << Spoil([](const std::filesystem::path& cid, const std::filesystem::path&) {
               std::filesystem::remove_all(cid / TestSupport::kDefaultComponents.front());
           })
        << QStringLiteral("One or more selected features or components are not available in source folder \"%1\". "
                          "Choose a different source folder and try again.");
    QTest::newRow("no archiver beside the program")
        << Spoil([](const std::filesystem::path&, const std::filesystem::path& program) {
               std::filesystem::remove(program / "7za/7za");
           })
        << QStringLiteral("Failed to invoke archiver tool: A fatal error occurred in the archiver tool. Return code: 2");
    QTest::newRow("an archiver that fails with its own words")
        << Spoil([](const std::filesystem::path&, const std::filesystem::path& program) {
               const std::filesystem::path archiver = program / "7za/7za";
               std::filesystem::remove(archiver);
               QFile script(QString::fromStdString(archiver.string()));
               QVERIFY(script.open(QIODevice::WriteOnly));
               script.write("#!/bin/sh\necho 'ERROR: the disk is on fire' >&2\necho 'stop.' >&2\nexit 7\n");
               script.close();
               std::filesystem::permissions(archiver, std::filesystem::perms::owner_all);
           })
        << QStringLiteral("Failed to invoke archiver tool: Command-line error. Return code: 7\n"
                          "Archiver: ERROR: the disk is on fire\nArchiver: stop.");
}

void HalvexDlgTest::failedBuildBoxGivesTheReason()
{
    QFETCH(Spoil, spoil);
    QFETCH(QString, reason);
    const std::filesystem::path folder = TestSupport::ScratchFolder() / "failing" / QTest::currentDataTag();
    const std::filesystem::path failingCid = TestSupport::CidBuilder(folder / "CID" / "NORDAVIN")
                                                 .Components(TestSupport::kDefaultComponents)
                                                 .File("setup.exe", "setup stand-in\n")
                                                 .Path();
    const std::filesystem::path program = TestSupport::MakeProgramFolder(folder);
    spoil(failingCid, program);
    const QString package = QString::fromStdString((folder / "out/VeskorEndpoint.exe").string());

    PackageOptions options;
    options.SetProgramFolder(program.wstring());
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    SetText(dialog, IDC_SOURCE_FOLDER, QString::fromStdString(failingCid.string()));
    SetText(dialog, IDC_OUTPUT_PACKAGE, package);
    SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("http://updates.example.com/veskor"));
    Click(dialog, IDOK);

    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].text,
             QString::fromStdWString(Platform::LoadFormattedString(116, GetLogging().GetLogFilePath()).value())
                 + QStringLiteral("\n\n") + QString(reason).replace(QStringLiteral("%1"), QString::fromStdString(failingCid.string())));
    QCOMPARE(host.boxes[0].icon, QMessageBox::Critical);
    QVERIFY(!QFileInfo::exists(package));
    QVERIFY(dialog.isEnabled());
}

// The folder the package would go into cannot be written (read-only, or not the user's):
// refused before the build with the system's reason, as an unreadable source folder is.
void HalvexDlgTest::unwritableOutputFolderIsRefusedWithTheSystemsReason()
{
    const std::filesystem::path folder = TestSupport::ScratchFolder() / "unwritable";
    std::filesystem::create_directories(folder / "out");
    const QString outputFolder = QString::fromStdString((folder / "out").string());
    // Root writes through permissions: a file system mounted read-only stops it too.
    const bool root = ::geteuid() == 0;
    if (root)
        QCOMPARE(TestSupport::RunChild("/usr/bin/mount", {"-t", "tmpfs", "-o", "ro,size=64k", "tmpfs",
                                                         outputFolder.toStdString()})
                     .exitCode,
                 0);
    else
        std::filesystem::permissions(folder / "out", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const auto restore = qScopeGuard([&] {
        if (root)
            TestSupport::RunChild("/usr/bin/umount", {outputFolder.toStdString()});
        else
            std::filesystem::permissions(folder / "out", std::filesystem::perms::owner_all);
    });
    const QString package = outputFolder + QStringLiteral("/sub/VeskorEndpoint.exe");

    PackageOptions options;
    options.SetProgramFolder(programFolder.toStdWString());
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    SetText(dialog, IDC_SOURCE_FOLDER, cid);
    SetText(dialog, IDC_OUTPUT_PACKAGE, package);
    SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("http://updates.example.com/veskor"));
    dialog.GetDlgItem(IDOK)->setFocus();
    Click(dialog, IDOK);

    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].text,
             CheckBoxText(QStringLiteral("Output package path \"%1\" is invalid.\nThe folder \"%2\" cannot be written: %3")
                              .arg(package, outputFolder,
                                   root ? QStringLiteral("Read-only file system") : QStringLiteral("Permission denied"))));
    QCOMPARE(dialog.focusWidget(), dialog.GetDlgItem(IDC_OUTPUT_PACKAGE));
    QVERIFY(!dialog.findChild<CProgressDlg*>());
}

// A typed path naming a package that exists: built over only once the user says so.
void HalvexDlgTest::existingPackageIsReplacedOnlyWhenConfirmed()
{
    const QString package = scratch + QStringLiteral("/existing/VeskorEndpoint.exe");
    QVERIFY(QDir().mkpath(QFileInfo(package).path()));
    QFile older(package);
    QVERIFY(older.open(QIODevice::WriteOnly));
    older.write("an older package");
    older.close();

    PackageOptions options;
    options.SetProgramFolder(programFolder.toStdWString());
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    SetText(dialog, IDC_SOURCE_FOLDER, cid);
    SetText(dialog, IDC_OUTPUT_PACKAGE, package);
    SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("http://updates.example.com/veskor"));
    const QStringList typed = Entries(dialog);
    const auto packageBytes = [&package] {
        QFile file(package);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };

    host.answers.push_back([](QDialog&) { return int(QMessageBox::No); });
    dialog.GetDlgItem(IDOK)->setFocus();
    Click(dialog, IDOK);
    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].text, package + QStringLiteral(" already exists.\nDo you want to replace it?"));
    QCOMPARE(host.boxes[0].icon, QMessageBox::Warning);
    QVERIFY(host.boxes[0].ownedByDialog);
    QCOMPARE(packageBytes(), QByteArray("an older package"));
    QCOMPARE(Entries(dialog), typed);
    QCOMPARE(dialog.focusWidget(), dialog.GetDlgItem(IDC_OUTPUT_PACKAGE));

    host.answers.push_back([](QDialog&) { return int(QMessageBox::Yes); });
    Click(dialog, IDOK);
    QCOMPARE(host.boxes.size(), std::size_t{3});
    QCOMPARE(host.boxes[1].text, host.boxes[0].text);
    QCOMPARE(host.boxes[2].text, QStringLiteral("Package generation complete.\n\n") + package);
    QVERIFY(packageBytes().startsWith("TEST STAND-IN FOR THE 7-ZIP INSTALLER MODULE\n"));
}

// A folder dropped onto a path field replaces the text with its path; a pasted path loses
// the blanks and line ends around it, wherever in the text it lands; typed blanks stay.
void HalvexDlgTest::pathFieldsTakeDropsAndPastesWhole()
{
    PackageOptions options;
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QList<int> pathFields = {IDC_SOURCE_FOLDER, IDC_OUTPUT_PACKAGE, IDC_PRIMARY_LOCATION, IDC_SECONDARY_LOCATION};
    Click(dialog, IDC_USE_SECONDARY);
    const auto lineEdit = [&dialog](int id) {
        auto* combo = qobject_cast<QComboBox*>(dialog.GetDlgItem(id));
        return combo ? combo->lineEdit() : Item<QLineEdit>(dialog, id);
    };

    for (const int id : pathFields) {
        QLineEdit* field = lineEdit(id);
        // A drop as a file manager makes it: the address as a link and as text.
        field->setText(QStringLiteral("/srv/old cid"));
        field->setCursorPosition(4);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(cid)});
        data.setText(QUrl::fromLocalFile(cid).toString());
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(FieldText(dialog, id), cid);

        // A paste of a whole path, then one into the middle of the text.
        field->clear();
        field->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("  \t/srv/software/NORDAVIN \r\n"));
        QTest::keySequence(field, QKeySequence::Paste);
        QTRY_COMPARE(FieldText(dialog, id), QStringLiteral("/srv/software/NORDAVIN"));
        field->setText(QStringLiteral("/srv//NORDAVIN"));
        field->setCursorPosition(5);
        QGuiApplication::clipboard()->setText(QStringLiteral("\nsoftware \n"));
        field->paste();
        QTRY_COMPARE(FieldText(dialog, id), QStringLiteral("/srv/software/NORDAVIN"));
        QCOMPARE(field->cursorPosition(), 13);

        field->clear();
        QTest::keyClicks(field, QStringLiteral("/my cid "));
        QCoreApplication::processEvents();
        QCOMPARE(FieldText(dialog, id), QStringLiteral("/my cid "));
    }
}


// Inputs and buttons each have their own room; a label may reach under the field it names.
void HalvexDlgTest::controlsDoNotOverlap()
{
    PackageOptions options;
    CHalvexDlg dialog(options);
    QList<QWidget*> controls;
    for (const int id : kTemplateOrder)
        if (QWidget* control = dialog.GetDlgItem(id); !qobject_cast<QLabel*>(control))
            controls << control;
    for (qsizetype i = 0; i < controls.size(); ++i)
        for (qsizetype j = i + 1; j < controls.size(); ++j)
            QVERIFY2(controls[i]->parentWidget() != controls[j]->parentWidget()
                         || !controls[i]->geometry().intersects(controls[j]->geometry()),
                     qPrintable(controls[i]->objectName() + QStringLiteral(" overlaps ") + controls[j]->objectName()));
}

void HalvexDlgTest::signedBuildThroughTheDialog_data()
{
    // The key file ("pkcs12", or "pem": the certificate and its key in one file), the
    // password typed, whether it is time-stamped, and the failure's words (none: it builds).
    QTest::addColumn<QString>("keyFile");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("stamped");
    QTest::addColumn<QString>("failure");
    const QString password = QString::fromLatin1(TestSupport::SigningFixture::kPassword);
    QTest::newRow("PKCS#12 file, time-stamped") << QStringLiteral("pkcs12") << password << true << QString();
    QTest::newRow("PEM certificate with its key") << QStringLiteral("pem") << QString() << false << QString();
    QTest::newRow("a wrong password") << QStringLiteral("pkcs12") << QStringLiteral("not the password") << true
                                      << QStringLiteral("Wrong password?");
}

// A signed package from the dialog: osslsigncode accepts it; a failed signature gives its
// reason in the box and leaves nothing. The password is kept nowhere, the time-stamp
// server is remembered.
void HalvexDlgTest::signedBuildThroughTheDialog()
{
    QFETCH(QString, keyFile);
    QFETCH(QString, password);
    QFETCH(bool, stamped);
    QFETCH(QString, failure);
    // openssl takes the key files' names whole only without blanks.
    const std::filesystem::path folder =
        TestSupport::ScratchFolder() / "signing"
        / QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression(QStringLiteral("\\W")), QStringLiteral("-")).toStdString();
    const TestSupport::SigningFixture fixture(folder / "keys");
    const TestSupport::TimeStampAuthority authority(fixture);
    // A Windows program to sign: the installer module the build made.
    const std::filesystem::path program = TestSupport::MakeProgramFolder(folder);
    std::filesystem::remove(program / "7za/7zSD.sfx");
    TestSupport::WriteBytes(program / "7za/7zSD.sfx", TestSupport::ReadBytes(HALVEX_MODULE));
    std::filesystem::path key = fixture.pkcs12;
    if (keyFile == QLatin1String("pem")) {
        key = folder / "signer-with-key.pem";
        TestSupport::WriteBytes(key, TestSupport::ReadBytes(fixture.certificate) + TestSupport::ReadBytes(fixture.key));
    }
    const QString package = QString::fromStdString((folder / "out/VeskorEndpoint.exe").string());
    const QString timestamp = stamped ? QString::fromStdString(authority.Url()) : QString();

    {
        PackageOptions options;
        options.SetProgramFolder(program.wstring());
        RecordingDialogHost host;
        CHalvexDlg dialog(options, nullptr, host);
        host.owner = &dialog;
        SetText(dialog, IDC_SOURCE_FOLDER, cid);
        SetText(dialog, IDC_OUTPUT_PACKAGE, package);
        SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("http://updates.example.com/veskor"));
        SetText(dialog, IDC_SIGN_FILE, QString::fromStdString(key.string()));
        SetText(dialog, IDC_SIGN_PASSWORD, password);
        SetText(dialog, IDC_TIMESTAMP_URL, timestamp);
        Click(dialog, IDOK);

        QCOMPARE(host.boxes.size(), std::size_t{1});
        if (failure.isEmpty()) {
            QCOMPARE(host.boxes[0].text, QStringLiteral("Package generation complete.\n\n") + package);
            const TestSupport::ChildResult verify = TestSupport::RunChild(
                "/usr/bin/osslsigncode", {"verify", "-in", package.toStdString(), "-CAfile", fixture.ca.string(),
                                          "-TSA-CAfile", fixture.ca.string()});
            QVERIFY2(verify.exitCode == 0, (verify.out + verify.err).c_str());
            QCOMPARE(QString::fromStdString(verify.out).contains(QLatin1String("Timestamp Server Signature verification: ok")),
                     stamped);
        } else {
            const QString heading =
                QString::fromStdWString(Platform::LoadFormattedString(116, GetLogging().GetLogFilePath()).value());
            QVERIFY2(host.boxes[0].text.startsWith(heading + QStringLiteral("\n\n"))
                         && host.boxes[0].text.contains(failure),
                     qPrintable(host.boxes[0].text));
            QCOMPARE(host.boxes[0].icon, QMessageBox::Critical);
            QVERIFY(!QFileInfo::exists(package));
            QVERIFY(QDir(QFileInfo(package).path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        }
        QVERIFY(options.GetSignPassword().empty());
        dialog.reject();
    }
    QFile settings(RememberedSettings().fileName());
    QVERIFY(settings.open(QIODevice::ReadOnly));
    const QByteArray stored = settings.readAll();
    if (!password.isEmpty()) {
        QVERIFY2(!stored.contains(password.toUtf8()), stored.constData());
        QVERIFY(!LogText().contains(password));
    }
    QCOMPARE(RememberedSettings().value(QStringLiteral("timestampUrl")).toString(), timestamp);
    PackageOptions options;
    CHalvexDlg reopened(options);
    QCOMPARE(FieldText(reopened, IDC_TIMESTAMP_URL), timestamp);
    QCOMPARE(FieldText(reopened, IDC_SIGN_FILE), QString::fromStdString(key.string()));
    QCOMPARE(FieldText(reopened, IDC_SIGN_PASSWORD), QString());
}

void HalvexDlgTest::signingChecksAreTheCommandLines_data()
{
    // What is typed into the signing part, the refusal, and the field it puts the focus on.
    QTest::addColumn<QString>("keyFile");
    QTest::addColumn<QString>("timestamp");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<int>("field");
    const QString missing = scratch + QStringLiteral("/no-such-signer.p12");
    QTest::newRow("a key file that cannot be read")
        << missing << QString() << QStringLiteral("the file of -signpkcs12 cannot be read: ") + missing
        << int(IDC_SIGN_FILE);
    QTest::newRow("a time-stamp server that is not a web address")
        << scratch + QStringLiteral("/signer.p12") << QStringLiteral("ftp://stamps.example")
        << QStringLiteral("the time-stamp server (-timestamp) must be an http:// or https:// URL: ftp://stamps.example")
        << int(IDC_TIMESTAMP_URL);
}

// The dialog refuses what the command line refuses, in the same words, before building.
void HalvexDlgTest::signingChecksAreTheCommandLines()
{
    QFETCH(QString, keyFile);
    QFETCH(QString, timestamp);
    QFETCH(QString, refusal);
    QFETCH(int, field);
    TestSupport::WriteBytes(TestSupport::ScratchFolder() / "signer.p12", "not really a PKCS#12 file");
    PackageOptions options;
    options.SetProgramFolder(programFolder.toStdWString());
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    host.owner = &dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    SetText(dialog, IDC_SOURCE_FOLDER, cid);
    SetText(dialog, IDC_OUTPUT_PACKAGE, output);
    SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("http://updates.example.com/veskor"));
    SetText(dialog, IDC_SIGN_FILE, keyFile);
    SetText(dialog, IDC_TIMESTAMP_URL, timestamp);
    // -nocheck skips the package checks, never the signing request's.
    SetText(dialog, IDC_SETUP_PARAMETERS, QStringLiteral("-nocheck"));
    dialog.GetDlgItem(IDOK)->setFocus();
    Click(dialog, IDOK);

    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].text, CheckBoxText(refusal));
    QCOMPARE(dialog.focusWidget(), dialog.GetDlgItem(field));
    QVERIFY(LogText().contains(QStringLiteral("Signing option error: ") + refusal));
    QVERIFY(!QFileInfo::exists(output));
}

QTEST_MAIN(HalvexDlgTest)
#include "HalvexDlgTest.moc"
