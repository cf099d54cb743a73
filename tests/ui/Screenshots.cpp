// Writes PNGs of the dialogs into the folder named by its one argument, for a person to
// review the layout: the main dialog at its defaults and with every feature in use, a
// validation message box, the progress window mid-build and the about box.
#include "RecordingDialogHost.h"

#include "app/PackageOptions.h"
#include "ui/AboutDlg.h"
#include "ui/HalvexDlg.h"
#include "ui/ProgressDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTest>

#include <cstdio>

namespace {

QString outputFolder;

void Save(QWidget& window, const char* name)
{
    window.show();
    QApplication::processEvents();
    const QString path = QDir(outputFolder).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    if (!window.grab().save(path))
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

void Click(CHalvexDlg& dialog, int id)
{
    qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id))->click();
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
        RecordingDialogHost host;
        CHalvexDlg dialog(options, nullptr, host);
        for (const int id : {1022, 1024, 1062, 1055, 1030})
            Click(dialog, id);
        qobject_cast<QLineEdit*>(dialog.GetDlgItem(1019))->setText(QStringLiteral("https://kett.example.com:8443/"));
        qobject_cast<QLineEdit*>(dialog.GetDlgItem(1027))->setText(QStringLiteral("http://updates.example.com/veskor"));
        qobject_cast<QLineEdit*>(dialog.GetDlgItem(1028))->setText(QStringLiteral("updater"));
        qobject_cast<QLineEdit*>(dialog.GetDlgItem(1029))->setText(QStringLiteral("secret"));
        qobject_cast<QComboBox*>(dialog.GetDlgItem(1037))->setEditText(QStringLiteral("VESKOR"));
        qobject_cast<QLineEdit*>(dialog.GetDlgItem(1038))->setText(QStringLiteral("EX-1234567"));
        qobject_cast<QLineEdit*>(dialog.GetDlgItem(1039))->setText(QStringLiteral("licence"));
        Click(dialog, 1063);
        Save(dialog, "main-all-features");
    }
    {
        CProgressDlg progress(nullptr);
        progress.SetStatus(L"Copying package data and ConfigUpdate tool to local machine...");
        progress.SetProgress(40);
        Save(progress, "progress-mid-build");
    }
    {
        CAboutDlg about;
        Save(about, "about");
    }
    return 0;
}
