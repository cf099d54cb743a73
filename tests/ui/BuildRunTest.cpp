// Builds started from the dialog: the progress window, stopping, the result box, and the
// package the job writes, signed or not.
#include "DialogTestSupport.h"

using namespace DialogTest;

class BuildRunTest : public QObject, public DialogScratch {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void wholeBuildThroughTheDialog();
    void stoppingABuild_data();
    void stoppingABuild();
    void twoRunsAtOnceKeepTheirOwnLogs();
    void failedBuildBoxGivesTheReason_data();
    void failedBuildBoxGivesTheReason();
    void signedBuildThroughTheDialog_data();
    void signedBuildThroughTheDialog();
};

void BuildRunTest::initTestCase()
{
    Prepare();
}

void BuildRunTest::init()
{
    // Every test starts as a first run: nothing remembered.
    RememberedSettings().clear();
}

void BuildRunTest::wholeBuildThroughTheDialog()
{
    const QString package = scratch + QStringLiteral("/built/VeskorEndpoint.exe");
    PackageOptions options = OptionsFor(programFolder);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    QVERIFY(ShowHosted(dialog, host));
    // An address names the path it stands for.
    TypeInto(dialog, Buildable(cid, QUrl::fromLocalFile(package).toString(),
                               {{IDC_PRIMARY_USER, QStringLiteral("updater")},
                                {IDC_PRIMARY_PASSWORD, QStringLiteral("secret")}}));

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
        waitCursor =
            waitCursor || (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
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

void BuildRunTest::stoppingABuild_data()
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

void BuildRunTest::stoppingABuild()
{
    QFETCH(QString, action);
    QFETCH(bool, stops);
    const std::filesystem::path folder = TestSupport::ScratchFolder() / ("busy-" + action.toStdString());
    const QString busyCid = BusyCid(folder);
    const QString outputFolder = QString::fromStdString((folder / "out").string());
    const QString package = outputFolder + QStringLiteral("/VeskorEndpoint.exe");
    const QString workFolder = QString::fromLocal8Bit(qgetenv("TEMP")) + QStringLiteral("/Halvex");

    PackageOptions options = OptionsFor(programFolder);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    QVERIFY(ShowHosted(dialog, host));
    Click(dialog, IDC_FIREWALL);
    Click(dialog, IDC_INTERACTIVE);
    Click(dialog, IDC_USE_SECONDARY);
    TypeInto(dialog, Buildable(busyCid, package,
                               {{IDC_SETUP_PARAMETERS, QStringLiteral("-nocheck")},
                                {IDC_PRIMARY_USER, QStringLiteral("updater")},
                                {IDC_PRIMARY_PASSWORD, QStringLiteral("secret")},
                                {IDC_SECONDARY_LOCATION, QStringLiteral("\\\\files\\veskor")},
                                {IDC_SECONDARY_USER, QStringLiteral("mirror")}}));
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
        if (acted || !progress || !progress->isVisible() ||
            progress->findChild<QLabel*>(QStringLiteral("1049"))->text() !=
                QStringLiteral("Creating the final self-extracting archive..."))
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
    QCOMPARE(result.text, QStringLiteral("The package build was stopped. Nothing was written under the package name."));
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
void BuildRunTest::twoRunsAtOnceKeepTheirOwnLogs()
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
    const QString busyLine = QStringLiteral("Another packaging run is using the work folder: ") + workFolder +
                             QStringLiteral(" (held by process ");
    const auto hasBusyLine = [&busyLine](const QStringList& lines) {
        return std::any_of(lines.begin(), lines.end(), [&](const QString& line) { return line.startsWith(busyLine); });
    };

    PackageOptions options = OptionsFor(programFolder);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    QVERIFY(ShowHosted(dialog, host));
    const QString package = QString::fromStdString((folder / "dialog/VeskorEndpoint.exe").string());
    TypeInto(dialog, Buildable(busyCid, package, {{IDC_PRIMARY_USER, QStringLiteral("updater")}}));

    // The dialog builds; a command-line run starts once the archive step shows.
    TestSupport::ChildResult second;
    bool started = false;
    QTimer watcher;
    watcher.setInterval(0);
    connect(&watcher, &QTimer::timeout, [&] {
        auto* progress = dialog.findChild<CProgressDlg*>();
        if (started || !progress || !progress->isVisible() ||
            progress->findChild<QLabel*>(QStringLiteral("1049"))->text() !=
                QStringLiteral("Creating the final self-extracting archive..."))
            return;
        started = true;
        second = TestSupport::RunChild(program.string(), {"-cli", "-cidpath", busyCid.toStdString(), "-sfxpath",
                                                          (folder / "cli/second.exe").string()});
    });
    const qsizetype startsBefore =
        WholeLog(ownLog).value_or(QStringList()).count(QStringLiteral("*** Starting packaging process *** "));
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
    const TestSupport::ChildResult first = TestSupport::RunChild(
        program.string(), {"-cli", "-cidpath", busyCid.toStdString(), "-sfxpath", (folder / "cli/first.exe").string()},
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
    QCOMPARE(WholeLog(otherLog).value_or(QStringList{QString()}).back(),
             QStringLiteral("Zastrel completed successfully "));
    QCOMPARE(host.boxes.size(), std::size_t{1});
    QVERIFY2(host.boxes[0].text.startsWith(
                 QString::fromStdWString(Platform::LoadFormattedString(116, ownLog.toStdWString()).value())),
             qPrintable(host.boxes[0].text));
    const auto failedLines = WholeLog(ownLog);
    QVERIFY(failedLines);
    QVERIFY(hasBusyLine(*failedLines));
    QCOMPARE(failedLines->back(), QStringLiteral("Zastrel failed "));
}

void BuildRunTest::failedBuildBoxGivesTheReason_data()
{
    // What to spoil in a fresh CID and program folder, and the reason the box must give.
    QTest::addColumn<Spoil>("spoil");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a CID lacking a component")
        << Spoil([](const std::filesystem::path& cid, const std::filesystem::path&) {
               std::filesystem::remove_all(cid / TestSupport::kDefaultComponents.front());
           })
        << QStringLiteral(
               "One or more selected features or components are not available in source folder \"%1\". "
               "Choose a different source folder and try again.");
    QTest::newRow("no archiver beside the program") << Spoil([](const std::filesystem::path&,
                                                                const std::filesystem::path& program) {
        std::filesystem::remove(program / "7za/7za");
    }) << QStringLiteral("Failed to invoke archiver tool: A fatal error occurred in the archiver tool. Return code: 2");
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
        << QStringLiteral(
               "Failed to invoke archiver tool: Command-line error. Return code: 7\n"
               "Archiver: ERROR: the disk is on fire\nArchiver: stop.");
}

void BuildRunTest::failedBuildBoxGivesTheReason()
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

    PackageOptions options = OptionsFor(QString::fromStdString(program.string()));
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    QVERIFY(ShowHosted(dialog, host));
    TypeInto(dialog, Buildable(QString::fromStdString(failingCid.string()), package));
    Click(dialog, IDOK);

    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].text,
             QString::fromStdWString(Platform::LoadFormattedString(116, GetLogging().GetLogFilePath()).value()) +
                 QStringLiteral("\n\n") +
                 QString(reason).replace(QStringLiteral("%1"), QString::fromStdString(failingCid.string())));
    QCOMPARE(host.boxes[0].icon, QMessageBox::Critical);
    QVERIFY(!QFileInfo::exists(package));
    QVERIFY(dialog.isEnabled());
}

void BuildRunTest::signedBuildThroughTheDialog_data()
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
void BuildRunTest::signedBuildThroughTheDialog()
{
    QFETCH(QString, keyFile);
    QFETCH(QString, password);
    QFETCH(bool, stamped);
    QFETCH(QString, failure);
    // openssl takes the key files' names whole only without blanks.
    const std::filesystem::path folder = TestSupport::ScratchFolder() / "signing" /
                                         QString::fromLatin1(QTest::currentDataTag())
                                             .replace(QRegularExpression(QStringLiteral("\\W")), QStringLiteral("-"))
                                             .toStdString();
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
        PackageOptions options = OptionsFor(QString::fromStdString(program.string()));
        RecordingDialogHost host;
        CHalvexDlg dialog(options, nullptr, host);
        QVERIFY(ShowHosted(dialog, host));
        TypeInto(dialog, Buildable(cid, package,
                                   {{IDC_SIGN_FILE, QString::fromStdString(key.string())},
                                    {IDC_SIGN_PASSWORD, password},
                                    {IDC_TIMESTAMP_URL, timestamp}}));
        Click(dialog, IDOK);

        QCOMPARE(host.boxes.size(), std::size_t{1});
        if (failure.isEmpty()) {
            QCOMPARE(host.boxes[0].text, QStringLiteral("Package generation complete.\n\n") + package);
            const TestSupport::ChildResult verify = TestSupport::RunChild(
                "/usr/bin/osslsigncode", {"verify", "-in", package.toStdString(), "-CAfile", fixture.ca.string(),
                                          "-TSA-CAfile", fixture.ca.string()});
            QVERIFY2(verify.exitCode == 0, (verify.out + verify.err).c_str());
            QCOMPARE(QString::fromStdString(verify.out)
                         .contains(QLatin1String("Timestamp Server Signature verification: ok")),
                     stamped);
        } else {
            const QString heading =
                QString::fromStdWString(Platform::LoadFormattedString(116, GetLogging().GetLogFilePath()).value());
            QVERIFY2(host.boxes[0].text.startsWith(heading + QStringLiteral("\n\n")) &&
                         host.boxes[0].text.contains(failure),
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

QTEST_MAIN(BuildRunTest)
#include "BuildRunTest.moc"
