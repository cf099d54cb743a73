// The dialog's fields and boxes and their options: opening from the options and the
// remembered choices, remembering, and copying back on Build.
#include "DialogTestSupport.h"

using namespace DialogTest;

class OptionBindingsTest : public QObject, public DialogScratch {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void openingFillsFieldsFromOptions();
    void longPresetValuesAreKeptWhole();
    void choicesAreRememberedBetweenRuns();
    void argumentsWinOverRememberedChoices_data();
    void argumentsWinOverRememberedChoices();
    void transferCopiesEveryControl();
    void noCheckAppliesOnlyWhileInTheField();
    void noCheckArgumentShowsInTheField();
};

void OptionBindingsTest::initTestCase()
{
    Prepare();
}

void OptionBindingsTest::init()
{
    // Every test starts as a first run: nothing remembered.
    RememberedSettings().clear();
}

void OptionBindingsTest::openingFillsFieldsFromOptions()
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

void OptionBindingsTest::longPresetValuesAreKeptWhole()
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

void OptionBindingsTest::choicesAreRememberedBetweenRuns()
{
    const QString settingsFile = RememberedSettings().fileName();
    QVERIFY2(settingsFile.startsWith(scratch), qPrintable(settingsFile));
    {
        PackageOptions options;
        RecordingDialogHost host;
        CHalvexDlg dialog(options, nullptr, host);
        SetText(dialog, IDC_SOURCE_FOLDER, cid);
        SetText(dialog, IDC_OUTPUT_PACKAGE, output);
        for (const int id : {IDC_FIREWALL, IDC_PATCH, IDC_TRAFFIC_DETECTION, IDC_64BIT_ONLY, IDC_AUTOUPDATE_DOWNLOADS,
                             IDC_INTERACTIVE, IDC_USE_SECONDARY})
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
    const QList<int> ticked = {IDC_FIREWALL,   IDC_PATCH,       IDC_TRAFFIC_DETECTION, IDC_AUTOUPDATE_DOWNLOADS,
                               IDC_64BIT_ONLY, IDC_INTERACTIVE, IDC_USE_SECONDARY};
    for (const int id : kCheckable)
        QVERIFY2(Item<QAbstractButton>(dialog, id)->isChecked() == ticked.contains(id),
                 qPrintable(QStringLiteral("tick of %1").arg(id)));
    // The restored ticks obey the dialog's rules: Patch enables the server field.
    QVERIFY(dialog.GetDlgItem(IDC_SERVER_URL)->isEnabled());
    QVERIFY(dialog.GetDlgItem(IDC_SECONDARY_LOCATION)->isEnabled());
    QCOMPARE(Item<QComboBox>(dialog, IDC_SECONDARY_LOCATION)->count(), 2);
}

void OptionBindingsTest::argumentsWinOverRememberedChoices_data()
{
    QTest::addColumn<Setup>("arguments");
    QTest::addColumn<QList<int>>("checked");
    QTest::addColumn<QString>("source");
    QTest::newRow("nothing given: the remembered choices")
        << Setup([](PackageOptions&) {})
        << QList<int>{IDC_MANAGED, IDC_TRAFFIC_DETECTION, IDC_IN_PACKAGE, IDC_32BIT_ONLY, IDC_NON_INTERACTIVE}
        << QStringLiteral("/remembered");
    QTest::newRow("-cidpath, -arch 64bit and -ni given") << Setup([](PackageOptions& o) {
        o.SetSourceFolder(L"/given");
        o.SetInclude32Bit(false);
        o.SetNonInteractive(true);
    }) << QList<int>{IDC_MANAGED, IDC_TRAFFIC_DETECTION, IDC_IN_PACKAGE, IDC_64BIT_ONLY,
                     IDC_SILENT,  IDC_NON_INTERACTIVE} << QStringLiteral("/given");
    QTest::newRow("-s given") << Setup([](PackageOptions& o) {
        o.SetSilent(true);
    }) << QList<int>{IDC_MANAGED, IDC_TRAFFIC_DETECTION, IDC_IN_PACKAGE, IDC_32BIT_ONLY, IDC_SILENT}
                              << QStringLiteral("/remembered");
}

void OptionBindingsTest::argumentsWinOverRememberedChoices()
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

void OptionBindingsTest::transferCopiesEveryControl()
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

void OptionBindingsTest::noCheckAppliesOnlyWhileInTheField()
{
    PackageOptions options = OptionsFor(programFolder);
    RecordingDialogHost host;
    CHalvexDlg dialog(options, nullptr, host);
    // Patch without a server and a blank primary location would both be refused.
    Click(dialog, IDC_PATCH);
    SetText(dialog, IDC_SETUP_PARAMETERS, QStringLiteral("-nocheck"));

    // Source and output are still checked.
    Click(dialog, IDOK);
    QCOMPARE(host.boxes.back().text,
             CheckBoxText(QStringLiteral(
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
    QCOMPARE(
        host.boxes.back().text,
        CheckBoxText(QStringLiteral("Management server URL cannot be blank. Enter an HTTP location and try again.")));
    QVERIFY(!options.GetSkipChecks());
}

void OptionBindingsTest::noCheckArgumentShowsInTheField()
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
    QCOMPARE(
        host.boxes.back().text,
        CheckBoxText(QStringLiteral("Management server URL cannot be blank. Enter an HTTP location and try again.")));
}

QTEST_MAIN(OptionBindingsTest)
#include "OptionBindingsTest.moc"
