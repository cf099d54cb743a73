// Writes PNGs of the dialogs into the folder named by its one argument, for a person to
// review the layout: the main dialog at its defaults and with every feature in use, a
// validation message box, the progress window mid-build (a real build of a small
// package in a temporary folder) and the about box.
#include "RecordingDialogHost.h"

#include "core/PackageOptions.h"
#include "support/CidBuilder.h"
#include "support/TestFolder.h"
#include "ui/AboutDlg.h"
#include "ui/HalvexDlg.h"
#include "ui/HalvexDlgControls.h"
#include "ui/ProgressDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <filesystem>

namespace {

QString outputFolder;
int failures = 0;

void Save(QWidget& window, const char* name)
{
    window.show();
    QApplication::processEvents();
    const QString path = QDir(outputFolder).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    if (window.grab().save(path)) {
        std::printf("%s\n", qPrintable(path));
    } else {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        ++failures;
    }
}

void Click(CHalvexDlg& dialog, int id)
{
    qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id))->click();
}

void SetText(CHalvexDlg& dialog, int id, const QString& text)
{
    if (auto* combo = qobject_cast<QComboBox*>(dialog.GetDlgItem(id)))
        combo->setEditText(text);
    else
        qobject_cast<QLineEdit*>(dialog.GetDlgItem(id))->setText(text);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    outputFolder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outputFolder);
    // A first start: nothing remembered, and nothing kept from these pictures.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((TestSupport::ScratchFolder() / "config").string()));

    {
        PackageOptions options;
        CHalvexDlg dialog(options);
        Save(dialog, "main-defaults");
    }
    {
        PackageOptions options;
        options.SetSourceFolder(L"/srv/cid/NORDAVIN");
        options.SetOutputPackage(L"/srv/packages/VeskorEndpoint.exe");
        options.GetSetupParameters().emplace(L"-g", L"Head Office");
        options.GetSetupParameters().emplace(L"/ncd", L"");
        CHalvexDlg dialog(options);
        for (const int id : {IDC_FIREWALL, IDC_PATCH, IDC_TRAFFIC_DETECTION, IDC_EXPLOIT_PREVENTION,
                             IDC_AUTOUPDATE_DOWNLOADS, IDC_USE_SECONDARY})
            Click(dialog, id);
        SetText(dialog, IDC_SERVER_URL, QStringLiteral("https://kett.example.com:8443/"));
        SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("http://updates.example.com/veskor"));
        SetText(dialog, IDC_PRIMARY_USER, QStringLiteral("updater"));
        SetText(dialog, IDC_PRIMARY_PASSWORD, QStringLiteral("secret"));
        SetText(dialog, IDC_SECONDARY_LOCATION, QStringLiteral("VESKOR"));
        SetText(dialog, IDC_SECONDARY_USER, QStringLiteral("EX-1234567"));
        SetText(dialog, IDC_SECONDARY_PASSWORD, QStringLiteral("licence"));
        SetText(dialog, IDC_SIGN_FILE, QStringLiteral("/srv/keys/code-signing.p12"));
        SetText(dialog, IDC_SIGN_PASSWORD, QStringLiteral("key secret"));
        SetText(dialog, IDC_TIMESTAMP_URL, QStringLiteral("http://timestamp.example.com/"));
        Save(dialog, "main-all-features");
    }
    {
        PackageOptions options;
        RecordingDialogHost host;
        host.onShow = [](QDialog& box) { Save(box, "validation-message"); };
        CHalvexDlg dialog(options, nullptr, host);
        dialog.show();
        Click(dialog, IDOK);
    }
    {
        const std::filesystem::path scratch = TestSupport::ScratchFolder() / "sample";
        const std::filesystem::path cid = TestSupport::CidBuilder(scratch / "CID" / "NORDAVIN")
                                              .Components(TestSupport::kDefaultComponents)
                                              .File("setup.exe", "setup stand-in\n")
                                              .Path();
        PackageOptions options;
        options.SetProgramFolder(TestSupport::MakeProgramFolder(scratch).wstring());
        RecordingDialogHost host;
        CHalvexDlg dialog(options, nullptr, host);
        dialog.show();
        SetText(dialog, IDC_SOURCE_FOLDER, QString::fromStdString(cid.string()));
        SetText(dialog, IDC_OUTPUT_PACKAGE, QString::fromStdString((scratch / "VeskorEndpoint.exe").string()));
        SetText(dialog, IDC_PRIMARY_LOCATION, QStringLiteral("http://updates.example.com/veskor"));
        // The job's Refresh runs timers: photograph the window once the archive step shows.
        bool taken = false;
        QTimer watcher;
        watcher.setInterval(0);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            auto* progress = dialog.findChild<CProgressDlg*>();
            if (taken || !progress || !progress->isVisible())
                return;
            if (progress->findChild<QLabel*>(QStringLiteral("1049"))
                    ->text()
                    .startsWith(QStringLiteral("Creating the final"))) {
                taken = true;
                Save(*progress, "progress-mid-build");
                Save(dialog, "main-during-build");
            }
        });
        watcher.start();
        Click(dialog, IDOK);
        if (!taken) {
            std::fprintf(stderr, "the build never reached the archive step\n");
            ++failures;
        }
        if (!host.boxes.empty())
            std::printf("build result: %s\n", qPrintable(host.boxes.back().text));
    }
    {
        CAboutDlg about;
        Save(about, "about");
    }
    return failures == 0 ? 0 : 1;
}
