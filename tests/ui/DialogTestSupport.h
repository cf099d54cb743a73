#pragma once

// What the main dialog's tests share: the template's ids in their groups, finding and
// filling controls, reading the log and the remembered settings, and the scratch folder
// with a CID and a program folder that every test program works in.
#include "RecordingDialogHost.h"

#include "core/Logging.h"
#include "core/PackageOptions.h"
#include "platform/Interrupt.h"
#include "platform/StringTable.h"
#include "support/ChildRun.h"
#include "support/CidBuilder.h"
#include "support/Files.h"
#include "support/SigningFixture.h"
#include "support/TestFolder.h"
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
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
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
#include <cerrno>
#include <csignal>
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

namespace DialogTest {

// Every control of the template that has an id, in template (and so tab) order.
inline const QList<int> kTemplateOrder = {IDC_SOURCE_FOLDER,
                                          IDC_BROWSE_SOURCE,
                                          IDC_MANAGED,
                                          IDC_FIREWALL,
                                          IDC_PATCH,
                                          IDC_SERVER_URL_LABEL,
                                          IDC_SERVER_URL,
                                          IDC_INCLUDE_LABEL,
                                          IDC_IN_PACKAGE,
                                          IDC_AUTOUPDATE_DOWNLOADS,
                                          IDC_OS_TYPE_LABEL,
                                          IDC_BOTH_ARCHITECTURES,
                                          IDC_32BIT_ONLY,
                                          IDC_64BIT_ONLY,
                                          IDC_SILENT,
                                          IDC_NON_INTERACTIVE,
                                          IDC_INTERACTIVE,
                                          IDC_SETUP_PARAMETERS,
                                          IDC_OUTPUT_PACKAGE,
                                          IDC_BROWSE_OUTPUT,
                                          IDC_PRIMARY_LOCATION_LABEL,
                                          IDC_PRIMARY_LOCATION,
                                          IDC_BROWSE_PRIMARY,
                                          IDC_PRIMARY_USER_LABEL,
                                          IDC_PRIMARY_USER,
                                          IDC_PRIMARY_PASSWORD_LABEL,
                                          IDC_PRIMARY_PASSWORD,
                                          IDC_USE_SECONDARY,
                                          IDC_SECONDARY_LOCATION_LABEL,
                                          IDC_SECONDARY_LOCATION,
                                          IDC_BROWSE_SECONDARY,
                                          IDC_SECONDARY_USER_LABEL,
                                          IDC_SECONDARY_USER,
                                          IDC_SECONDARY_PASSWORD_LABEL,
                                          IDC_SECONDARY_PASSWORD,
                                          IDC_SIGN_FILE,
                                          IDC_BROWSE_SIGN_FILE,
                                          IDC_SIGN_PASSWORD,
                                          IDC_TIMESTAMP_URL,
                                          IDOK,
                                          IDCANCEL,
                                          IDC_HELP,
                                          IDC_TRAFFIC_DETECTION,
                                          IDC_EXPLOIT_PREVENTION};
inline const QList<int> kCheckable = {IDC_MANAGED,
                                      IDC_FIREWALL,
                                      IDC_PATCH,
                                      IDC_IN_PACKAGE,
                                      IDC_AUTOUPDATE_DOWNLOADS,
                                      IDC_BOTH_ARCHITECTURES,
                                      IDC_32BIT_ONLY,
                                      IDC_64BIT_ONLY,
                                      IDC_SILENT,
                                      IDC_NON_INTERACTIVE,
                                      IDC_INTERACTIVE,
                                      IDC_USE_SECONDARY,
                                      IDC_TRAFFIC_DETECTION,
                                      IDC_EXPLOIT_PREVENTION};
inline const QList<int> kServer = {IDC_SERVER_URL_LABEL, IDC_SERVER_URL};
inline const QList<int> kOsChoice = {IDC_OS_TYPE_LABEL, IDC_32BIT_ONLY, IDC_64BIT_ONLY, IDC_BOTH_ARCHITECTURES};
inline const QList<int> kPrimary = {IDC_PRIMARY_LOCATION,       IDC_PRIMARY_USER,       IDC_PRIMARY_PASSWORD,
                                    IDC_PRIMARY_LOCATION_LABEL, IDC_PRIMARY_USER_LABEL, IDC_PRIMARY_PASSWORD_LABEL,
                                    IDC_BROWSE_PRIMARY,         IDC_USE_SECONDARY};
inline const QList<int> kSecondary = {
    IDC_SECONDARY_LOCATION,   IDC_SECONDARY_USER,           IDC_SECONDARY_PASSWORD, IDC_SECONDARY_LOCATION_LABEL,
    IDC_SECONDARY_USER_LABEL, IDC_SECONDARY_PASSWORD_LABEL, IDC_BROWSE_SECONDARY};

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
inline int NeededWidth(QWidget* widget)
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

inline void SetText(CHalvexDlg& dialog, int id, const QString& text)
{
    if (auto* combo = qobject_cast<QComboBox*>(dialog.GetDlgItem(id)))
        combo->setEditText(text);
    else
        Item<QLineEdit>(dialog, id)->setText(text);
}

inline void Click(CHalvexDlg& dialog, int id)
{
    Item<QAbstractButton>(dialog, id)->click();
}

inline QString LogText()
{
    QFile file(QString::fromStdWString(GetLogging().GetLogFilePath()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

inline QString CheckBoxText(const QString& failure)
{
    return QStringLiteral("The following error was found:\n\n") + failure + QStringLiteral("\n");
}

inline QSettings RememberedSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromLatin1(Ui::RememberedChoices::organisation),
                     QString::fromLatin1(Ui::RememberedChoices::application));
}

// What the user has typed and ticked: every field's text and every box's tick, in template order.
inline QStringList Entries(const CHalvexDlg& dialog)
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
inline bool HasChildren()
{
    return !(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD);
}

inline QString FieldText(const CHalvexDlg& dialog, int id)
{
    if (auto* combo = qobject_cast<QComboBox*>(dialog.GetDlgItem(id)))
        return combo->currentText();
    return Item<QLineEdit>(dialog, id)->text();
}

// The lines of a log file, their time stamps cut off, when the file is whole: the
// byte-order mark, then only stamped lines, each ending in CR LF, and no NUL byte.
inline std::optional<QStringList> WholeLog(const QString& path)
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
inline QString BusyCid(const std::filesystem::path& folder)
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
inline std::vector<std::pair<int, int>> Runs(int end, const std::function<bool(int)>& full)
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
inline std::vector<QRectF> FrameLines(QGroupBox& box)
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
inline QWidget* Page(const CHalvexDlg& dialog)
{
    return dialog.GetDlgItem(IDC_SOURCE_FOLDER)->parentWidget();
}

// This test program's scratch folder with a CID of the default components, a program
// folder and an output name in it; the remembered choices are kept there too, never in
// the user's own settings.
struct DialogScratch {
    QString scratch;
    QString cid;
    QString programFolder;
    QString output;

    void Prepare()
    {
        const std::filesystem::path folder = TestSupport::ScratchFolder();
        scratch = QString::fromStdString(folder.string());
        cid = QString::fromStdString(TestSupport::CidBuilder(folder / "CID" / "NORDAVIN")
                                         .Components(TestSupport::kDefaultComponents)
                                         .File("setup.exe", "setup stand-in\n")
                                         .Path()
                                         .string());
        programFolder = QString::fromStdString(TestSupport::MakeProgramFolder(folder).string());
        output = scratch + QStringLiteral("/out/Client.exe");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch + QStringLiteral("/config"));
    }
};

// Options whose installation is the program folder given.
inline PackageOptions OptionsFor(const QString& programFolder)
{
    PackageOptions options;
    options.SetProgramFolder(programFolder.toStdWString());
    return options;
}

// Shows the dialog, whose boxes `host` records as the dialog's own, and waits until it is
// on the screen.
inline bool ShowHosted(CHalvexDlg& dialog, RecordingDialogHost& host)
{
    host.owner = &dialog;
    dialog.show();
    return QTest::qWaitForWindowExposed(&dialog);
}

// Each field's id and the text typed into it.
using Fields = QList<std::pair<int, QString>>;

// What a package build needs typed: the source folder, the output package and a primary
// update location; `more` after them, in order.
inline Fields Buildable(const QString& source, const QString& output, const Fields& more = {})
{
    return Fields{{IDC_SOURCE_FOLDER, source},
                  {IDC_OUTPUT_PACKAGE, output},
                  {IDC_PRIMARY_LOCATION, QStringLiteral("http://updates.example.com/veskor")}} +
           more;
}

// Types every field given into the dialog, in order.
inline void TypeInto(CHalvexDlg& dialog, const Fields& fields)
{
    for (const auto& [id, text] : fields)
        SetText(dialog, id, text);
}

}  // namespace DialogTest
