// The main dialog's template: every control in its place, in focus order, with its mnemonic
// and its name for assistive tools, at any scale.
#include "DialogTestSupport.h"

using namespace DialogTest;

class HalvexDlgTemplateTest : public QObject, public DialogScratch {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
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
    void enterBuildsFromAnyField_data();
    void enterBuildsFromAnyField();
    void controlsDoNotOverlap();
};

void HalvexDlgTemplateTest::initTestCase()
{
    Prepare();
}

void HalvexDlgTemplateTest::init()
{
    // Every test starts as a first run: nothing remembered.
    RememberedSettings().clear();
}

void HalvexDlgTemplateTest::templateOrderIsTabOrder()
{
    PackageOptions options;
    CHalvexDlg dialog(options);
    QList<int> seen;
    QWidget* widget = dialog.GetDlgItem(kTemplateOrder.first());
    do {
        const int id = kTemplateOrder.indexOf(widget->objectName().toInt()) >= 0 ? widget->objectName().toInt() : 0;
        const bool dialogControl =
            widget->parentWidget() == Page(dialog) || widget->parentWidget() == dialog.GetDlgItem(IDOK)->parentWidget();
        if (id != 0 && dialogControl && !seen.contains(id))
            seen << id;
        widget = widget->nextInFocusChain();
    } while (widget != dialog.GetDlgItem(kTemplateOrder.first()));
    QCOMPARE(seen, kTemplateOrder);
}

void HalvexDlgTemplateTest::mnemonicsMoveFocus_data()
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

void HalvexDlgTemplateTest::mnemonicsMoveFocus()
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

void HalvexDlgTemplateTest::altLettersNoControlOwnsDoNothing_data()
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

void HalvexDlgTemplateTest::altLettersNoControlOwnsDoNothing()
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

void HalvexDlgTemplateTest::arrowKeysChooseWithinARadioGroup()
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

void HalvexDlgTemplateTest::textsFitTheirControls()
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

void HalvexDlgTemplateTest::fitsTheScreen()
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

void HalvexDlgTemplateTest::groupFramesMissTheControls()
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
                         qPrintable(box->title() +
                                    QStringLiteral("'s frame line at %1,%2 %3x%4 crosses ")
                                        .arg(line.x())
                                        .arg(line.y())
                                        .arg(line.width())
                                        .arg(line.height()) +
                                    control->objectName() + QLatin1Char(' ') + control->property("text").toString()));
        }
    }
}

void HalvexDlgTemplateTest::everyInputAndButtonHasAnAccessibleName()
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
    for (const auto& [button, what] :
         {std::pair{IDC_BROWSE_SOURCE, "source folder"}, std::pair{IDC_BROWSE_OUTPUT, "output package"},
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

void HalvexDlgTemplateTest::enterBuildsFromAnyField_data()
{
    QTest::addColumn<int>("field");
    QTest::newRow("source folder") << int(IDC_SOURCE_FOLDER);
    QTest::newRow("password") << int(IDC_PRIMARY_PASSWORD);
    QTest::newRow("secondary location") << int(IDC_SECONDARY_LOCATION);
    QTest::newRow("a check box") << int(IDC_FIREWALL);
}

void HalvexDlgTemplateTest::enterBuildsFromAnyField()
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
    QCOMPARE(host.boxes[0].text,
             CheckBoxText(QStringLiteral(
                 "Source folder cannot be blank. Enter a software distribution location and try again.")));
    QVERIFY(dialog.isVisible());
}

// Inputs and buttons each have their own room; a label may reach under the field it names.
void HalvexDlgTemplateTest::controlsDoNotOverlap()
{
    PackageOptions options;
    CHalvexDlg dialog(options);
    QList<QWidget*> controls;
    for (const int id : kTemplateOrder)
        if (QWidget* control = dialog.GetDlgItem(id); !qobject_cast<QLabel*>(control))
            controls << control;
    for (qsizetype i = 0; i < controls.size(); ++i)
        for (qsizetype j = i + 1; j < controls.size(); ++j)
            QVERIFY2(controls[i]->parentWidget() != controls[j]->parentWidget() ||
                         !controls[i]->geometry().intersects(controls[j]->geometry()),
                     qPrintable(controls[i]->objectName() + QStringLiteral(" overlaps ") + controls[j]->objectName()));
}

QTEST_MAIN(HalvexDlgTemplateTest)
#include "HalvexDlgTemplateTest.moc"
