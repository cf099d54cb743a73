// The main dialog's behaviour: the rules between its controls, browsing, help, the checks
// before a build and the fields that take paths.
#include "DialogTestSupport.h"

using namespace DialogTest;

class HalvexDlgTest : public QObject, public DialogScratch {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void controlStates_data();
    void controlStates();
    void browseButtons_data();
    void browseButtons();
    void browseStartsWhereTheUserIs_data();
    void browseStartsWhereTheUserIs();
    void saveBoxOffersThePackageName();
    void secondaryLocationIsRememberedOnce();
    void typedSecondaryLocationKeepsItsCase();
    void helpOpensTheDocumentation_data();
    void helpOpensTheDocumentation();
    void aboutEntryOpensTheAboutBox();
    void cancelAndEscEndTheDialog_data();
    void cancelAndEscEndTheDialog();
    void validationStopsAtTheFirstProblem_data();
    void validationStopsAtTheFirstProblem();
    void buildErrorsKeepTheDialog_data();
    void buildErrorsKeepTheDialog();
    void unwritableOutputFolderIsRefusedWithTheSystemsReason();
    void existingPackageIsReplacedOnlyWhenConfirmed();
    void pathFieldsTakeDropsAndPastesWhole();
    void signingChecksAreTheCommandLines_data();
    void signingChecksAreTheCommandLines();
};

void HalvexDlgTest::initTestCase()
{
    Prepare();
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
    QTest::newRow("patch with a server, 32-bit only") << Setup([](PackageOptions& o) {
        o.SetPatch(true);
        o.SetInclude64Bit(false);
    }) << Ids{} << Ids{IDC_PATCH, IDC_IN_PACKAGE, IDC_32BIT_ONLY, IDC_SILENT}
                                                      << kSecondary;
    QTest::newRow("download components, 64-bit only, secondary in use") << Setup([](PackageOptions& o) {
        o.SetManaged(true);
        o.SetIncludeComponents(false);
        o.SetInclude32Bit(false);
        o.SetUseSecondaryLocation(true);
    }) << Ids{} << Ids{IDC_MANAGED, IDC_AUTOUPDATE_DOWNLOADS, IDC_64BIT_ONLY, IDC_SILENT, IDC_USE_SECONDARY}
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
    QTest::newRow("architecture pick") << Setup([](PackageOptions& o) { o.SetPatch(true); }) << Ids{IDC_64BIT_ONLY}
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
        if (saveBox.acceptMode() != QFileDialog::AcceptSave || saveBox.defaultSuffix() != QStringLiteral("exe") ||
            saveBox.nameFilters() != QStringList{QStringLiteral("Executable files (*.exe)")} ||
            !saveBox.testOption(QFileDialog::DontConfirmOverwrite))
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
    QCOMPARE(entries(),
             (QStringList{QStringLiteral("\\\\mirror\\updates"), QStringLiteral("VESKOR"), QStringLiteral("veskor")}));

    // Leaving an empty field adds nothing.
    typeAndLeave(QString());
    QCOMPARE(secondary->count(), 3);
}

void HalvexDlgTest::typedSecondaryLocationKeepsItsCase()
{
    PackageOptions options = OptionsFor(programFolder);
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
    QCOMPARE(host.boxes[0].text,
             CheckBoxText(QStringLiteral(
                 "Secondary update location \"veskor\" is not in the correct format. Enter either a UNC folder path or "
                 "HTTP location and try again.")));
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
    QTest::keyClick(Item<QLineEdit>(dialog, IDC_SETUP_PARAMETERS), Qt::Key_F1,
                    shift ? Qt::ShiftModifier : Qt::NoModifier);
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
    QTest::newRow("blank output") << valid([](CHalvexDlg& d) {
        SetText(d, IDC_OUTPUT_PACKAGE, QString());
    }) << QStringLiteral("Output package cannot be blank. Enter a folder path and try again.")
                                  << nothingElse;
    // A relative output would depend on the folder the program was started from.
    for (const char* relative : {"Client.exe", "out/Client.exe"})
        QTest::newRow(qPrintable(QStringLiteral("relative output ") + QLatin1String(relative)))
            << valid([relative](CHalvexDlg& d) { SetText(d, IDC_OUTPUT_PACKAGE, QLatin1String(relative)); })
            << QStringLiteral(
                   "Output package path \"%1\" is invalid.\nEnter the full path of the package or of its "
                   "folder.")
                   .arg(QLatin1String(relative))
            << QStringList{QStringLiteral("Destination path: "), QStringLiteral("URL:"),
                           QStringLiteral("Updating source:")};
    QTest::newRow("patch without a server, after source and output")
        << valid([](CHalvexDlg& d) { Click(d, IDC_PATCH); })
        << QStringLiteral("Management server URL cannot be blank. Enter an HTTP location and try again.")
        << QStringList{QStringLiteral("Updating source:")};
    QTest::newRow("server with a path")
        << valid([](CHalvexDlg& d) {
               Click(d, IDC_PATCH);
               SetText(d, IDC_SERVER_URL, QStringLiteral("http://kett/console"));
           })
        << QStringLiteral(
               "Management server URL \"http://kett/console\" is not in the correct format. Enter an HTTP "
               "location and try again.")
        << QStringList{QStringLiteral("Updating source:")};
    QTest::newRow("blank primary location while enabled")
        << valid([](CHalvexDlg& d) { SetText(d, IDC_PRIMARY_LOCATION, QString()); })
        << QStringLiteral(
               "Primary update location cannot be blank. Enter a UNC folder path or HTTP location and try "
               "again.")
        << QStringList{};
    QTest::newRow("https primary location")
        << valid([](CHalvexDlg& d) { SetText(d, IDC_PRIMARY_LOCATION, QStringLiteral("https://updates/veskor")); })
        << QStringLiteral(
               "Primary update location \"https://updates/veskor\" is not in the correct format. Enter "
               "either a UNC folder path or HTTP location and try again.")
        << QStringList{};
    QTest::newRow("blank secondary location")
        << valid([](CHalvexDlg& d) { Click(d, IDC_USE_SECONDARY); })
        << QStringLiteral(
               "Secondary update location cannot be blank. Enter a UNC folder path or HTTP location and "
               "try again.")
        << QStringList{};
    QTest::newRow("VESKOR needs the credentials") << valid([](CHalvexDlg& d) {
        Click(d, IDC_USE_SECONDARY);
        SetText(d, IDC_SECONDARY_LOCATION, QStringLiteral("VESKOR"));
        SetText(d, IDC_SECONDARY_USER, QStringLiteral("EX-1"));
    }) << QStringLiteral("Your Veskor username and password cannot be blank.")
                                                  << QStringList{};
    QTest::newRow("veskor in lower case is a location to check")
        << valid([](CHalvexDlg& d) {
               Click(d, IDC_USE_SECONDARY);
               SetText(d, IDC_SECONDARY_LOCATION, QStringLiteral("veskor"));
               SetText(d, IDC_SECONDARY_USER, QStringLiteral("EX-1"));
               SetText(d, IDC_SECONDARY_PASSWORD, QStringLiteral("pw"));
           })
        << QStringLiteral(
               "Secondary update location \"veskor\" is not in the correct format. Enter either a UNC "
               "folder path or HTTP location and try again.")
        << QStringList{};
    QTest::newRow("greyed primary location is not tested") << valid([](CHalvexDlg& d) {
        SetText(d, IDC_PRIMARY_LOCATION, QString());
        Click(d, IDC_MANAGED);
        Click(d, IDC_AUTOUPDATE_DOWNLOADS);
        Click(d, IDC_USE_SECONDARY);
        Click(d, IDC_IN_PACKAGE);  // managed, in the package: the update fields grey out
    }) << QString() << QStringList{QStringLiteral("Updating source:")};
}

void HalvexDlgTest::validationStopsAtTheFirstProblem()
{
    QFETCH(Fill, fill);
    QFETCH(QString, failure);
    QFETCH(QStringList, notChecked);

    PackageOptions options = OptionsFor(programFolder);
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

void HalvexDlgTest::buildErrorsKeepTheDialog_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("pasted");
    const QString invalidPassword = QString::fromStdWString(L"Option \u2013opwd is not a valid password.");
    // Outside the alphabet, a wrong algorithm ident, a token the cipher cannot open, a
    // token of no layout at all: the same text for each, never the library's own.
    for (const char* token :
         {"***", "BxQBAQEBAQEBAQEBAQE=", "BwgBAQEBAQEBAQ==", "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo="})
        QTest::newRow(qPrintable(QStringLiteral("-opwd ") + QLatin1String(token)))
            << int(IDC_SETUP_PARAMETERS) << QStringLiteral("-opwd ") + QLatin1String(token) << invalidPassword << false;
    const QString file = cid + QStringLiteral("/cidsync.upd");
    QTest::newRow("source path naming a file")
        << int(IDC_SOURCE_FOLDER) << file
        << QStringLiteral("Source folder \"%1\" must point to a software distribution location.\nNot a directory")
               .arg(file)
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
        << QStringLiteral(
               "Password for the primary update location is 51 characters long; it can hold at most 50. "
               "Nothing was built.")
        << false;
}

void HalvexDlgTest::buildErrorsKeepTheDialog()
{
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, reason);
    QFETCH(bool, pasted);
    PackageOptions options = OptionsFor(programFolder);
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
        QCOMPARE(TestSupport::RunChild("/usr/bin/mount",
                                       {"-t", "tmpfs", "-o", "ro,size=64k", "tmpfs", outputFolder.toStdString()})
                     .exitCode,
                 0);
    else
        std::filesystem::permissions(folder / "out",
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const auto restore = qScopeGuard([&] {
        if (root)
            TestSupport::RunChild("/usr/bin/umount", {outputFolder.toStdString()});
        else
            std::filesystem::permissions(folder / "out", std::filesystem::perms::owner_all);
    });
    const QString package = outputFolder + QStringLiteral("/sub/VeskorEndpoint.exe");

    PackageOptions options = OptionsFor(programFolder);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    QVERIFY(ShowHosted(dialog, host));
    TypeInto(dialog, Buildable(cid, package));
    dialog.GetDlgItem(IDOK)->setFocus();
    Click(dialog, IDOK);

    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(
        host.boxes[0].text,
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

    PackageOptions options = OptionsFor(programFolder);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    QVERIFY(ShowHosted(dialog, host));
    TypeInto(dialog, Buildable(cid, package));
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
    PackageOptions options = OptionsFor(programFolder);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    QVERIFY(ShowHosted(dialog, host));
    TypeInto(dialog, Buildable(cid, output));
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
