// Writes PNGs of the dialogs into the folder named by its one argument, for a person to
// review the layout: the main dialog at its defaults and with every feature in use, a
// validation message box, the progress window mid-build (a real build of a small
// package in a temporary folder) and the about box.
#include "PackageFixture.h"
#include "RecordingDialogHost.h"

#include "core/PackageOptions.h"
#include "ui/AboutDlg.h"
#include "ui/HalvexDlg.h"
#include "ui/ProgressDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

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
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

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
        for (const int id : {1022, 1024, 1062, 1063, 1055, 1030})
            Click(dialog, id);
        SetText(dialog, 1019, QStringLiteral("https://kett.example.com:8443/"));
        SetText(dialog, 1027, QStringLiteral("http://updates.example.com/veskor"));
        SetText(dialog, 1028, QStringLiteral("updater"));
        SetText(dialog, 1029, QStringLiteral("secret"));
        SetText(dialog, 1037, QStringLiteral("VESKOR"));
        SetText(dialog, 1038, QStringLiteral("EX-1234567"));
        SetText(dialog, 1039, QStringLiteral("licence"));
        Save(dialog, "main-all-features");
    }
    {
        PackageOptions options;
        RecordingDialogHost host;
        host.onShow = [](QDialog& box) { Save(box, "validation-message"); };
        CHalvexDlg dialog(options, nullptr, host);
        dialog.show();
        Click(dialog, 1);
    }
    {
        QTemporaryDir scratch;
        PackageFixture fixture;
        if (!scratch.isValid() || !fixture.Create(scratch.path())) {
            std::fprintf(stderr, "could not make the sample package\n");
            return 1;
        }
        PackageOptions options;
        options.SetProgramFolder(fixture.programFolder.toStdWString());
        RecordingDialogHost host;
        CHalvexDlg dialog(options, nullptr, host);
        dialog.show();
        SetText(dialog, 1014, fixture.cid);
        SetText(dialog, 1015, scratch.filePath(QStringLiteral("VeskorEndpoint.exe")));
        SetText(dialog, 1027, QStringLiteral("http://updates.example.com/veskor"));
        // The job's Refresh runs timers: photograph the window once the archive step shows.
        bool taken = false;
        QTimer watcher;
        watcher.setInterval(0);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            auto* progress = dialog.findChild<CProgressDlg*>();
            if (taken || !progress || !progress->isVisible())
                return;
            if (progress->findChild<QLabel*>(QStringLiteral("1049"))->text().startsWith(QStringLiteral("Creating the final"))) {
                taken = true;
                Save(*progress, "progress-mid-build");
                Save(dialog, "main-during-build");
            }
        });
        watcher.start();
        Click(dialog, 1);
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
