// Panel instances and what they remember, in a temporary configuration directory: a first
// start exactly as designed, the operator's choices back after a restart, a damaged settings
// file taken as the defaults, two instances kept apart, and the positions window's rules.

#include "console.h"
#include "positionswindow.h"
#include "scriptserver.h"
#include "settingsdialog.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

namespace {

template<class T> T *child(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

bool checked(const QWidget &window, const char *action)
{
    return child<QAction>(window, action)->isChecked();
}

SettingsDialog *settingsDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<SettingsDialog *>(widget))
            return dialog;
    }
    return nullptr;
}

// Answers the next file dialog: chooses path (or only reads where it opened, path empty).
void answerFileDialog(const QString &path, QString *openedIn = nullptr)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, path, openedIn] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->deleteLater();
        if (openedIn)
            *openedIn = dialog->directory().absolutePath();
        if (path.isEmpty())
            return static_cast<QDialog *>(dialog)->done(QDialog::Rejected);
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
    });
    poll->start(50);
}

QString settingsFile(const char *instance)
{
    return configurationDir() + QStringLiteral("/lumarvethon-%1.conf").arg(instance);
}

PositionsWindow *openPositions(const QWidget &window)
{
    child<QAction>(window, "actionPositions")->trigger();
    return child<PositionsWindow>(window, "positionsWindow");
}

} // namespace

class TestInstances : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstStart();
    void rememberedAfterRestart();
    void damagedSettings_data();
    void damagedSettings();
    void twoInstances();
    void positionsRules_data();
    void positionsRules();
    void editsNeverMove_data();
    void editsNeverMove();
    void arrivalShown_data();
    void arrivalShown();
    void importRefusesBadRow();
};

void TestInstances::initTestCase()
{
    static QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QLocale::setDefault(QLocale::c());
}

void TestInstances::firstStart()
{
    forgetRemembered();
    MainWindow window;
    window.show();
    QTest::qWait(50); // what is remembered is taken up once the loop runs
    const PanelProbe probe(window);
    QCOMPARE(window.windowTitle(), QStringLiteral("Lumarvethon"));
    QCOMPARE(window.size(), QSize(580, 408));
    for (const char *control :
         { "pushButton_home", "pushButton_AutoCalibrate", "pushButton_stop",
           "doubleSpinBox_Position", "doubleSpinBox_mrstp", "pushButton_SliderMinus",
           "pushButton_SliderPlus", "horizontalSlider", "actionDisconnect" })
        QVERIFY2(!child<QObject>(window, control)->property("enabled").toBool(), control);
    for (const char *action : { "actionConnect", "actionConfigure", "actionQuit" })
        QVERIFY(child<QAction>(window, action)->isEnabled());
    QVERIFY(!checked(window, "actionReconnect") && !checked(window, "actionAllowScripts"));
    QVERIFY(probe.statusLabel()->text().isEmpty());
    QVERIFY(child<QStatusBar>(window, "statusBar")->currentMessage().isEmpty());
    QVERIFY(!probe.console()->isVisible() && !probe.console()->isEnabled());
    QVERIFY(!probe.pollTimer()->isActive() && !probe.serial()->isOpen());
    const auto *slider = child<QSlider>(window, "horizontalSlider");
    QCOMPARE(QPoint(slider->minimum(), slider->maximum()), QPoint(-250, 6250));
    QCOMPARE(child<QDoubleSpinBox>(window, "doubleSpinBox_mrstp")->value(), 200.0);
    QCOMPARE(child<QDoubleSpinBox>(window, "doubleSpinBox_Position")->value(), 0.0);
}

void TestInstances::rememberedAfterRestart()
{
    forgetRemembered();
    ControllerEnd port;
    QVERIFY(port.open());
    QTemporaryDir records;
    const QString record = records.filePath(QStringLiteral("session.csv"));
    {
        MainWindow simulated(nullptr, port.devicePath(), QStringLiteral("r"));
        simulated.setSimulatedPort(port.devicePath()); // as --simulate does with its own
        settingsDialog()->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
    }
    QVERIFY(!QSettings(settingsFile("r"), QSettings::IniFormat).contains("connection/port"));
    {
        MainWindow first(nullptr, port.devicePath(), QStringLiteral("r"));
        first.show();
        settingsDialog()->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
        child<QAction>(first, "actionReconnect")->trigger();
        child<QAction>(first, "actionAllowScripts")->trigger();
        child<QDoubleSpinBox>(first, "doubleSpinBox_mrstp")->setValue(350);
        child<QAction>(first, "actionPositionPlot")->trigger();
        child<QComboBox>(first, "plotRange")->setCurrentIndex(1);
        first.move(140, 120);
        answerFileDialog(record);
        child<QAction>(first, "actionRecord")->trigger();
        QTRY_VERIFY(QFile::exists(record));
    }
    MainWindow second(nullptr, QString(), QStringLiteral("r"));
    second.show();
    QTRY_VERIFY(checked(second, "actionAllowScripts"));
    QLocalSocket script;
    script.connectToServer(ScriptServer::defaultPath(QStringLiteral("r")));
    QVERIFY(script.waitForConnected(1000));
    QVERIFY(checked(second, "actionReconnect"));
    QCOMPARE(settingsDialog()->currentSettings().portName, port.devicePath());
    QCOMPARE(child<QDoubleSpinBox>(second, "doubleSpinBox_mrstp")->value(), 350.0);
    QCOMPARE(second.pos(), QPoint(140, 120));
    child<QAction>(second, "actionPositionPlot")->trigger();
    QCOMPARE(child<QComboBox>(second, "plotRange")->currentData().toInt(), 10);
    QString openedIn;
    answerFileDialog(QString(), &openedIn);
    child<QAction>(second, "actionRecord")->trigger();
    QCOMPARE(openedIn, records.path());

    // The same done as command-line options do it holds for that run only.
    second.setReconnectAutomatically(false);
    QString error;
    QVERIFY(second.listenForScripts(records.filePath(QStringLiteral("other.sock")), &error));
    for (int toggle = 0; toggle < 2; ++toggle) // the operator's off and on again
        child<QAction>(second, "actionAllowScripts")->trigger();
    QVERIFY(checked(second, "actionAllowScripts"));
    const QSettings file(settingsFile("r"), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("connection/reconnect")).toString(), QStringLiteral("true"));
    QCOMPARE(file.value(QStringLiteral("scripts/socket")).toString(),
             ScriptServer::defaultPath(QStringLiteral("r")));
}

void TestInstances::damagedSettings_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("notice");
    QTest::newRow("wrong types")
        << QByteArray("[connection]\nreconnect=maybe\nport=a, b\n[window]\nposition=17\n"
                      "[positioning]\nstep=abc\n[plot]\nminutes=ten\n[scripts]\nallow=1\n"
                      "[positions]\ncontroller=x, y\nlist\\1\\name=bad!\nlist\\1\\um=5\n"
                      "list\\size=1\n")
        << "connection/port, connection/reconnect, scripts/allow, window/position, "
           "positioning/step, plot/minutes; 2 saved position entries not valid";
    QTest::newRow("out of range")
        << QByteArray("[scripts]\nsocket=relative.sock\n[positioning]\nstep=6000.5\n"
                      "[plot]\nminutes=7\n[positions]\nlist\\1\\name=a\nlist\\1\\um=1e7\n"
                      "list\\2\\name=b\nlist\\2\\um=nan\nlist\\size=2\n")
        << "used: scripts/socket, positioning/step, plot/minutes; 2 saved position entries";
    QTest::newRow("unparsable") << QByteArray("[connection\nreconnect=true\n\xff\xfe\0\n")
                                << "could not be read and was kept as " + settingsFile("bad")
            + ".bad; the defaults are used";
}

void TestInstances::damagedSettings()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, notice);
    forgetRemembered();
    QVERIFY(QDir().mkpath(configurationDir()));
    QFile file(settingsFile("bad"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();

    MainWindow window(nullptr, QString(), QStringLiteral("bad"));
    window.show();
    QTRY_VERIFY2(child<QStatusBar>(window, "statusBar")->currentMessage().contains(notice),
                 qPrintable(child<QStatusBar>(window, "statusBar")->currentMessage()));
    QVERIFY(!checked(window, "actionReconnect") && !checked(window, "actionAllowScripts"));
    QCOMPARE(child<QDoubleSpinBox>(window, "doubleSpinBox_mrstp")->value(), 200.0);
    QCOMPARE(openPositions(window)->findChild<QTableWidget *>()->rowCount(), 0);
    child<QAction>(window, "actionPositionPlot")->trigger();
    QCOMPARE(child<QComboBox>(window, "plotRange")->currentData().toInt(), 1);
    QFile kept(settingsFile("bad") + ".bad");
    QCOMPARE(kept.open(QIODevice::ReadOnly) && kept.readAll() == content,
             QByteArray(QTest::currentDataTag()) == "unparsable");
}

void TestInstances::twoInstances()
{
    forgetRemembered();
    MainWindow x(nullptr, QString(), QStringLiteral("x"));
    MainWindow y(nullptr, QString(), QStringLiteral("y"));
    QCOMPARE(x.windowTitle(), QStringLiteral("Lumarvethon - x"));
    child<QAction>(x, "actionReconnect")->trigger();
    child<QDoubleSpinBox>(y, "doubleSpinBox_mrstp")->setValue(12.5);
    for (MainWindow *window : { &x, &y })
        child<QAction>(*window, "actionAllowScripts")->trigger();
    QVERIFY(checked(x, "actionAllowScripts") && checked(y, "actionAllowScripts"));
    const QString xPath = ScriptServer::defaultPath(QStringLiteral("x"));
    QCOMPARE(QFileInfo(xPath).dir(), QFileInfo(ScriptServer::defaultPath()).dir());
    QCOMPARE(QFileInfo(xPath).fileName(), QStringLiteral("lumarvethon-x.sock"));
    const QSettings xFile(settingsFile("x"), QSettings::IniFormat);
    const QSettings yFile(settingsFile("y"), QSettings::IniFormat);
    QCOMPARE(xFile.value(QStringLiteral("scripts/socket")).toString(), xPath);
    QCOMPARE(yFile.value(QStringLiteral("scripts/socket")).toString(),
             ScriptServer::defaultPath(QStringLiteral("y")));
    QVERIFY(xFile.contains(QStringLiteral("connection/reconnect")));
    QVERIFY(!yFile.contains(QStringLiteral("connection/reconnect")));
    QVERIFY(yFile.contains(QStringLiteral("positioning/step")));
    QVERIFY(!xFile.contains(QStringLiteral("positioning/step")));

    // A second x finds its socket taken: it says so and goes on without scripts.
    MainWindow again(nullptr, QString(), QStringLiteral("x"));
    QTRY_VERIFY(
        child<QStatusBar>(again, "statusBar")
            ->currentMessage()
            .startsWith("Scripts are not allowed: another program is listening on " + xPath));
    QVERIFY(!checked(again, "actionAllowScripts") && checked(again, "actionReconnect"));
}

void TestInstances::positionsRules_data()
{
    QTest::addColumn<int>("stage"); // 0 disconnected again, 1 connected, 2 homed
    QTest::addColumn<double>("saved");
    QTest::addColumn<QString>("refusal"); // the tool tip of a disabled Go to; empty: enabled
    QTest::newRow("not connected") << 0 << 100.0 << "Not connected";
    QTest::newRow("not homed") << 1 << 100.0 << "Home the stage first";
    QTest::newRow("homed") << 2 << 100.0 << "";
    QTest::newRow("lowest") << 2 << -250.0 << "";
    QTest::newRow("highest") << 2 << 14750.0 << "";
    QTest::newRow("beyond") << 2 << 14750.5 << "Outside the limits, -250 to 14750 \u00b5m";
}

void TestInstances::positionsRules()
{
    QFETCH(int, stage);
    QFETCH(double, saved);
    QFETCH(QString, refusal);
    PanelOnLine panel;
    QVERIFY(stage == 2 ? panel.connectAndHome() : panel.connectPanel());
    PositionsWindow *positions = openPositions(*panel.window);
    auto *add = positions->findChild<QPushButton *>(QStringLiteral("positionsAdd"));
    positions->findChild<QLineEdit *>()->setText(QStringLiteral("spot 1"));
    QVERIFY(!add->isEnabled()); // no position reported yet
    panel.controller.write("_cp " + QByteArray::number(saved) + " um\r");
    QTRY_VERIFY(add->isEnabled());
    add->click();
    if (stage == 0)
        panel.trigger("actionDisconnect");
    auto *table = positions->findChild<QTableWidget *>();
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("spot 1"));
    table->selectRow(0);
    auto *goTo = positions->findChild<QPushButton *>(QStringLiteral("positionsGoTo"));
    QCOMPARE(goTo->isEnabled(), refusal.isEmpty());
    if (!refusal.isEmpty())
        QCOMPARE(goTo->toolTip(), refusal);
    panel.controller.take();
    QTest::keyClick(table, Qt::Key_Return);
    panel.settle();
    QCOMPARE(panel.sent(), refusal.isEmpty() ? ">ma " + QByteArray::number(saved * 10) : "");
}

void TestInstances::editsNeverMove_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("commit"); // how the edit ends
    for (const char *commit : { "Return", "Enter", "Tab", "click", "Go to" }) {
        QTest::addRow("name, %s", commit) << 0 << commit;
        QTest::addRow("position, %s", commit) << 1 << commit;
    }
}

// Real keys on the real window: an edit ends (with a script's save refilling the table
// meanwhile) and nothing moves but a Go to, which takes the edited value.
void TestInstances::editsNeverMove()
{
    QFETCH(int, column);
    QFETCH(QString, commit);
    PanelOnLine panel;
    QVERIFY(panel.connectAndHome());
    auto *scriptable = static_cast<ScriptablePanel *>(panel.window);
    QVERIFY(scriptable->saveNamedPosition(QStringLiteral("spot"), 100));
    PositionsWindow *positions = openPositions(*panel.window);
    QTest::qWait(20); // the main window's own activation first
    positions->activateWindow();
    QTRY_VERIFY(positions->isActiveWindow());
    auto *table = positions->findChild<QTableWidget *>();
    table->setFocus();
    table->setCurrentCell(0, column);
    QTest::keyClick(table, Qt::Key_F2);
    auto *editor = qobject_cast<QLineEdit *>(table->indexWidget(table->currentIndex()));
    QVERIFY(editor);
    editor->selectAll();
    const QString typed = column == 0 ? QStringLiteral("spot B") : QStringLiteral("250");
    QTest::keyClicks(editor, typed);
    QVERIFY(scriptable->saveNamedPosition(QStringLiteral("other"), 5));
    QCOMPARE(table->indexWidget(table->currentIndex()), editor);
    QCOMPARE(editor->text(), typed);

    const QByteArray goTo = column == 0 ? ">ma 1000" : ">ma 2500";
    if (commit == "Return")
        QTest::keyClick(editor, Qt::Key_Return);
    else if (commit == "Enter")
        QTest::keyClick(editor, Qt::Key_Enter, Qt::KeypadModifier);
    else if (commit == "Tab")
        QTest::keyClick(editor, Qt::Key_Tab);
    else if (commit == "click") // elsewhere: the focus leaves the editor
        QTest::mouseClick(child<QWidget>(*positions, "positionsName"), Qt::LeftButton);
    else // as by a shortcut, the editor keeping the focus
        child<QPushButton>(*positions, "positionsGoTo")->click();
    panel.settle(50);
    QCOMPARE(panel.sent(), commit == "Go to" ? goTo : QByteArray());
    if (QWidget *next = table->indexWidget(table->currentIndex()))
        QTest::keyClick(next, Qt::Key_Escape);
    const QList<QPair<QString, double>> expected {
        { column == 0 ? "spot B" : "spot", column == 0 ? 100.0 : 250.0 }, { "other", 5 }
    };
    QCOMPARE(scriptable->namedPositions(), expected);
    QTRY_COMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, column)->text(), typed);
    table->selectRow(0);
    QTest::keyClick(table, Qt::Key_Return);
    panel.settle();
    QCOMPARE(panel.sent(), goTo);
}

void TestInstances::arrivalShown_data()
{
    QTest::addColumn<QByteArray>("replies"); // after the Go to; "-": the connection ends
    QTest::addColumn<QString>("shown");
    QTest::newRow("arrived") << QByteArray("_cp 249.95 um\r_cp 250 um\r_cp 250 um\r")
                             << "At \"spot\".";
    QTest::newRow("on the way") << QByteArray("_cp 10 um\r_cp 200 um\r_cp 250 um\r")
                                << "Moving to \"spot\".";
    QTest::newRow("stopped") << QByteArray("_cp 120 um\r_cp 120 um\r_cp 120 um\r") << "";
    QTest::newRow("lost") << QByteArray("-") << "";
}

void TestInstances::arrivalShown()
{
    QFETCH(QByteArray, replies);
    QFETCH(QString, shown);
    PanelOnLine panel;
    QVERIFY(panel.connectAndHome());
    QVERIFY(static_cast<ScriptablePanel *>(panel.window)->saveNamedPosition("spot", 250));
    PositionsWindow *positions = openPositions(*panel.window);
    positions->findChild<QTableWidget *>()->selectRow(0);
    panel.controller.write("_cp 0 um\r_cp 0 um\r_cp 0 um\r"); // at rest before
    panel.settle();
    positions->findChild<QPushButton *>(QStringLiteral("positionsGoTo"))->click();
    auto *message = child<QLabel>(*positions, "positionsMessage");
    QCOMPARE(message->text(), QStringLiteral("Moving to \"spot\"."));
    if (replies == "-")
        panel.trigger("actionDisconnect");
    else
        panel.controller.write(replies);
    panel.settle(100);
    QCOMPARE(message->text(), shown);
}

void TestInstances::importRefusesBadRow()
{
    forgetRemembered();
    ModalCloser boxes;
    MainWindow named(nullptr, QString(), QStringLiteral("lab"));
    QCOMPARE(openPositions(named)->windowTitle(), QStringLiteral("Positions - lab"));
    PanelOnLine panel;
    PositionsWindow *positions = openPositions(*panel.window);
    QCOMPARE(positions->windowTitle(), QStringLiteral("Positions"));
    QTemporaryDir dir;
    const auto csvFile = [&dir](const QByteArray &content) {
        QFile file(dir.filePath(QStringLiteral("p.csv")));
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return file.fileName();
    };
    QString error;
    QVERIFY(positions->importFile(csvFile("name,position_um\r\n\"spot a\",1.5\nc,-2\n"), &error)
            || (qWarning() << error, false));
    QVERIFY(!positions->importFile(csvFile("name,position_um\na,1\nb,1,5\n"), &error));
    QCOMPARE(error, QStringLiteral("row 3: 3 fields instead of 2"));
    auto *table = positions->findChild<QTableWidget *>();
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("-2"));

    // Edited in place: a bad name or number goes back to what the list holds.
    table->item(0, 0)->setText(QStringLiteral("c"));
    table->item(1, 1)->setText(QStringLiteral("7.25"));
    table->item(1, 0)->setText(QStringLiteral("renamed"));
    table->item(0, 1)->setText(QStringLiteral("1,5"));
    QTRY_COMPARE(table->item(0, 1)->text(), QStringLiteral("1.5"));
    QCOMPARE(static_cast<ScriptablePanel *>(panel.window)->namedPositions(),
             (QList<QPair<QString, double>> { { "spot a", 1.5 }, { "renamed", 7.25 } }));
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("spot a"));

    // Import says what it did; the list holds at most 1000, and a save or an import beyond
    // is refused with the reason.
    QByteArray csv = "name,position_um\nrenamed,8\n";
    for (int i = 0; i < 998; ++i)
        csv += "p" + QByteArray::number(i) + ",1\n";
    QVERIFY(positions->importFile(csvFile(csv), &error));
    auto *message = child<QLabel>(*positions, "positionsMessage");
    QCOMPARE(message->text(), QStringLiteral("998 added, 1 replaced"));
    QVERIFY(!positions->importFile(csvFile("name,position_um\nx,1\n"), &error));
    QCOMPARE(error, QStringLiteral("1001 positions would be more than the 1000 a list holds"));
    QVERIFY(!positions->importFile(csvFile(csv + "x,1\ny,1\n"), &error));
    QCOMPARE(error, QStringLiteral("row 1002: more than 1000 positions"));
    auto *scriptable = static_cast<ScriptablePanel *>(panel.window);
    QVERIFY(!scriptable->saveNamedPosition("new", 1) && scriptable->saveNamedPosition("p7", 2));
    QCOMPARE(scriptable->namedPositions().size(), 1000);

    // The name column fits its names, the position column its numbers.
    QVERIFY(table->columnWidth(0) >= table->fontMetrics().horizontalAdvance("renamed"));
    QVERIFY(table->columnWidth(1) < 150);

    // Deleted with the button, back with Ctrl+Z, in their places, ten and more.
    const QList<QPair<QString, double>> before = scriptable->namedPositions();
    for (int i = 0; i < 11; ++i) {
        table->selectRow(i);
        child<QPushButton>(*positions, "positionsDelete")->click();
    }
    QCOMPARE(scriptable->namedPositions().size(), 989);
    positions->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(positions));
    for (int i = 0; i < 11; ++i)
        QTest::keyClick(positions, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(scriptable->namedPositions(), before);
    // Closing the window makes a deletion final.
    child<QPushButton>(*positions, "positionsDelete")->click();
    positions->close();
    openPositions(*panel.window);
    QApplication::setActiveWindow(positions);
    QTRY_VERIFY(positions->isActiveWindow());
    QTest::keyClick(positions, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(scriptable->namedPositions().size(), 999);
}

QTEST_MAIN(TestInstances)
#include "tst_instances.moc"
