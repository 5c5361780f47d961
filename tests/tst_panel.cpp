// The panel over a real pseudo-terminal, driven as the operator drives it: a whole session in
// one pass, a lost device, the keyboard, the stop key and the question before large moves.

#include "console.h"
#include "panelsettings.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTimer>

namespace {

// Which controls are enabled, as 0 and 1: Home, AutoCalibrate, the six that move the stage
// (stop, target, step, minus, plus, slider), then the actions Connect, Disconnect, Configure.
QString enabled(const QWidget *window)
{
    QString flags;
    for (const char *name : { "pushButton_home", "pushButton_AutoCalibrate", "pushButton_stop",
                              "doubleSpinBox_Position", "doubleSpinBox_mrstp",
                              "pushButton_SliderMinus", "pushButton_SliderPlus", "horizontalSlider",
                              "actionConnect", "actionDisconnect", "actionConfigure" })
        flags += window->findChild<QObject *>(name)->property("enabled").toBool() ? '1' : '0';
    return flags;
}

// Keys go where the platform sends them: to the focus widget, else to the active window.
void press(Qt::Key key)
{
    QTest::keyClick(static_cast<QWidget *>(nullptr), key);
}

void enter(QDoubleSpinBox *box, const QString &text)
{
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(static_cast<QWidget *>(nullptr), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(static_cast<QWidget *>(nullptr), text);
    press(Qt::Key_Return);
}

// The console's last lines, joined by "|"; the empty last one is the line being typed.
QString consoleTail(PanelOnLine &panel, int lines)
{
    const QStringList all = panel.probe().console()->toPlainText().split('\n');
    return all.mid(all.size() - 1 - lines).join('|');
}

// The keys of a window that more than one action, menu or button takes: shortcuts, and the
// Alt+letter of the menu bar's titles and of the buttons; then, menu by menu, its items' letters.
QStringList clashes(const QWidget *window)
{
    QStringList keys, found;
    QSet<const QAction *> actions;
    for (const QAction *action : window->findChildren<QAction *>() + window->actions()) {
        if (!actions.contains(action))
            for (const QKeySequence &key : action->shortcuts())
                keys << key.toString();
        actions << action;
    }
    for (const QMenuBar *bar : window->findChildren<QMenuBar *>())
        for (const QAction *title : bar->actions())
            keys << QKeySequence::mnemonic(title->text()).toString();
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>())
        keys << QKeySequence::mnemonic(button->text()).toString();
    for (const QMenu *menu : window->findChildren<QMenu *>()) {
        for (const QAction *item : menu->actions())
            keys << menu->title() + ' ' + QKeySequence::mnemonic(item->text()).toString();
    }
    for (const QString &key : keys)
        if (!key.isEmpty() && !key.endsWith(' ') && keys.count(key) > 1 && !found.contains(key))
            found << key;
    return found;
}

// Answers the next modal dialog, once open: selects its field's text and types, then the key.
void answer(const QString &text, Qt::Key key, bool *asked = nullptr)
{
    QTimer::singleShot(100, [=] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        if (asked)
            *asked = true;
        QWidget *field = dialog->focusWidget() ? dialog->focusWidget() : dialog;
        if (!text.isEmpty()) {
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(field, text);
        }
        QTest::keyClick(field, key);
    });
}

void activate(QWidget *window)
{
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
}

} // namespace

class TestPanel : public QObject
{
    Q_OBJECT

private slots:
    void session();
    void lostDevice();
    void keyboard();
    void stopKey_data();
    void stopKey();
    void largeMoves_data();
    void largeMoves();
};

void TestPanel::session()
{
    ModalCloser boxes;
    PanelOnLine panel;
    const PanelProbe probe = panel.probe();
    activate(panel.window);

    // Connect: identification first, then the status; the line and the actions follow.
    QVERIFY(panel.connectPanel());
    QCOMPARE(probe.statusLabel()->text(),
             "Connected to " + panel.controller.devicePath() + " : 115200, 8, None, 1, ");
    QCOMPARE(enabled(panel.window), QStringLiteral("11000000010")); // status 1: may calibrate
    QTRY_COMPARE(panel.find<QLabel>("label_Slidermax")->text(), QStringLiteral("14750 \u00b5m"));

    // Before homing, the arrows move nothing, even with the window itself taking the keys.
    if (QWidget *focused = QApplication::focusWidget())
        focused->clearFocus();
    press(Qt::Key_Right);
    auto *home = panel.find<QPushButton>("pushButton_home");
    QVERIFY(panel.controller.waitForText(">cp\r", 3000));
    QTRY_COMPARE(home->styleSheet(), QStringLiteral("color: red"));
    press(Qt::Key_Left);
    QTest::mouseClick(home, Qt::LeftButton);
    QVERIFY(panel.controller.waitForText(">home\r"));
    QCOMPARE(panel.sent(), QByteArray(">stop\r>home\r"));
    QCOMPARE(enabled(panel.window), QStringLiteral("11111111010"));
    QVERIFY(!QApplication::focusWidget());
    QVERIFY(panel.controller.waitForText(">cp\r>cp\r", 3000)); // later ticks leave it green
    QCOMPARE(home->styleSheet(), QStringLiteral("color: green"));
    QCOMPARE(probe.console()->toPlainText(),
             ">inform\n>status\n_Ver 106\n_offset 2500\n_status 1\n>stop\n>home\n");
    auto *motion = panel.find<QLabel>("motionIndicator"); // the rule of a script's state
    QCOMPARE(motion->text(), QStringLiteral("Moving"));
    panel.controller.write("_cp 0.0 um\r_cp 0.05 um\r_cp 0.0 um\r");
    QTRY_COMPARE(motion->text(), QStringLiteral("At rest"));

    // Steps by key and button, the target box, the slider; moves go out without a CR.
    press(Qt::Key_Right);
    press(Qt::Key_Left);
    auto *plus = panel.find<QPushButton>("pushButton_SliderPlus");
    QTest::mouseClick(plus, Qt::LeftButton);
    QVERIFY(!QApplication::focusWidget());
    plus->setFocus(); // an arrow's step leaves the step button without focus, also then
    QTest::keyClick(panel.window, Qt::Key_Right);
    QVERIFY(!plus->hasFocus());
    auto *target = panel.find<QDoubleSpinBox>("doubleSpinBox_Position");
    enter(target, "14750");
    enter(target, "14750.01"); // beyond the upper limit: nothing
    enter(target, "1234.56");
    QVERIFY(!target->hasFocus());
    QVERIFY(panel.controller.waitForText(">ma 12345.6"));
    QCOMPARE(panel.sent(), QByteArray(">mr 2000>mr -2000>mr 2000>mr 2000>ma 147500>ma 12345.6"));
    QCOMPARE(consoleTail(panel, 2), QStringLiteral(">ma 147500|>ma 12345.6|"));

    auto *slider = panel.find<QSlider>("horizontalSlider");
    auto *label = panel.find<QLabel>("label_Position");
    slider->setFocus(); // as a click on the handle gives it
    slider->setSliderDown(true);
    slider->setSliderPosition(1000);
    panel.controller.write("_cp 3000.0 um\r"); // shown, but the held handle stays
    QTRY_COMPARE(label->text(), QStringLiteral("3000.0 \u00b5m"));
    QCOMPARE(slider->value(), 1000);
    slider->setSliderDown(false);
    QVERIFY(!target->signalsBlocked());
    panel.controller.write("_cp 1234.5 um\r_cp 1234.5 um\r_cp 1234.5 um\r"); // at rest
    QTRY_COMPARE(slider->value(), 1234);

    // Stop, and calibration with its status query, which is not shown.
    QTest::mouseClick(panel.find<QPushButton>("pushButton_stop"), Qt::LeftButton);
    QTest::mouseClick(panel.find<QPushButton>("pushButton_AutoCalibrate"), Qt::LeftButton);
    QVERIFY(panel.controller.waitForText(">status\r"));
    QCOMPARE(panel.sent(), QByteArray(">ma 10000>stop\r>auto\r>status\r"));
    QCOMPARE(consoleTail(panel, 3), QStringLiteral(">ma 10000|>stop|>auto|"));
    panel.controller.write("_status 9\r");
    QTRY_COMPARE(home->styleSheet(), QStringLiteral("color: red"));
    QCOMPARE(panel.find<QPushButton>("pushButton_AutoCalibrate")->text(),
             QStringLiteral("Calibrated"));

    // A typed line that asks for the position has the next position reply shown, once.
    Console *console = probe.console();
    console->setFocus();
    QTest::keyClicks(console, "get cp");
    QTest::keyClick(console, Qt::Key_Return);
    QVERIFY(panel.controller.waitForText("get cp\r"));
    panel.controller.write("_cp 100.0 um\r_cp 200.0 um\r");
    QTRY_COMPARE(probe.position(), 200.0);
    QCOMPARE(consoleTail(panel, 2), QStringLiteral("get cp|_cp 100.0 um|"));

    auto *toggle = panel.find<QPushButton>("pushButton_Console");
    toggle->click();
    QCOMPARE(panel.window->size(), QSize(580, 700));
    toggle->click();
    QCOMPARE(panel.window->size(), QSize(580, 408));

    // Disconnect: everything that moves the stage is off, nothing more is written.
    panel.trigger("actionDisconnect");
    panel.controller.take();
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Disconnected"));
    QCOMPARE(home->styleSheet(), QStringLiteral("color: grey"));
    QVERIFY(!probe.homed());
    QCOMPARE(enabled(panel.window), QStringLiteral("00000000101"));
    QVERIFY(motion->isHidden());

    // Reconnected to a silent controller, an old answer waiting: one tick's query, then let go.
    panel.controller.write("_Ver 126\r_offset 1000\r");
    panel.settle(200);
    QCOMPARE(panel.controller.take(), QByteArray());
    QStringList events;
    connect(panel.window, &MainWindow::lineSent, this, [&](const QByteArray &l) { events << l; });
    connect(panel.window, &MainWindow::controllerNotFound, this, [&] { events << "lost"; });
    QVERIFY(panel.connectPanel(QByteArray()));
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, 4000);
    QCOMPARE(boxes.title(), QStringLiteral("Error"));
    QVERIFY(boxes.text().startsWith(QStringLiteral("No Device found")));
    QCOMPARE(events.join('|'), QStringLiteral(">inform\r|>status\r|>cp\r|lost"));
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Open error"));
    QCOMPARE(enabled(panel.window), QStringLiteral("00000000101"));
}

void TestPanel::lostDevice()
{
    // Lost, the port is let go before the operator is told, once, however often it is reported.
    ModalCloser boxes(300);
    PanelOnLine panel;
    QVERIFY(panel.connectAndHome());
    const PanelProbe probe = panel.probe();
    bool openBehindBox = true;
    QObject::connect(panel.window, &MainWindow::connectionLost, probe.serial(), [&] {
        QTimer::singleShot(100, probe.serial(), [&] {
            openBehindBox = !ModalCloser::boxOpen() || probe.serial()->isOpen()
                || probe.pollTimer()->isActive();
            emit probe.serial()->errorOccurred(QSerialPort::ReadError);
        });
    });
    panel.controller.pty().hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(boxes.count() >= 1 && !ModalCloser::boxOpen(), 3000);
    QTest::qWait(100);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.title(), QStringLiteral("Critical Error"));
    QVERIFY(!openBehindBox);
    QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Disconnected"));
    QVERIFY(!probe.homed());
    QCOMPARE(enabled(panel.window), QStringLiteral("00000000101"));
}

void TestPanel::keyboard()
{
    PanelOnLine panel; // not connected: Configure is on
    activate(panel.window);
    QTest::keyClick(panel.window, Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activeWindow() != panel.window);
    QCOMPARE(QApplication::activeWindow()->metaObject()->className(), "SettingsDialog");
    QApplication::activeWindow()->close();
}

void TestPanel::stopKey_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("stops");
    QTest::newRow("main window") << "main" << true;
    QTest::newRow("positions window") << "positionsWindow" << true;
    QTest::newRow("plot window") << "positionPlot" << true;
    QTest::newRow("cell editor") << "positionsTable" << false;
    QTest::newRow("dialog") << "dialog" << false;
}

void TestPanel::stopKey()
{
    QFETCH(QString, where);
    QFETCH(bool, stops);
    PanelOnLine panel;
    panel.scripts().saveNamedPosition("a", 100.0);
    QVERIFY(panel.connectPanel()); // not homed: the Stop button is off, the key is not
    panel.trigger("actionPositions");
    panel.trigger("actionPositionPlot");
    auto *table = panel.find<QTableWidget>("positionsTable");
    QWidget *window = where == "main" ? panel.window : table->window();
    if (where == "positionPlot")
        window = panel.find<QWidget>("positionPlot");
    activate(window);
    QCOMPARE(clashes(window).join(" | "), QString());
    panel.controller.take();
    if (where == "dialog") { // Esc closes the dialog
        answer(QString(), Qt::Key_Escape);
        panel.trigger("actionConfirmMoves");
    } else if (where == "positionsTable") {
        table->editItem(table->item(0, 0));
        QTest::keyClicks(QApplication::focusWidget(), "b");
        press(Qt::Key_Escape);
        QVERIFY(!qobject_cast<QLineEdit *>(QApplication::focusWidget())); // cancelled
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("a"));
    } else {
        press(Qt::Key_Escape);
    }
    panel.settle(100);
    QCOMPARE(panel.sent(), stops ? QByteArray(">stop\r") : QByteArray());
}

void TestPanel::largeMoves_data()
{
    QTest::addColumn<QString>("threshold"); // typed into its dialog; empty: never set
    QTest::addColumn<Qt::Key>("key"); // answers the question, if one comes
    QTest::addColumn<bool>("sent");
    QTest::newRow("off") << QString() << Qt::Key_Escape << true;
    QTest::newRow("shorter") << "6000" << Qt::Key_Escape << true;
    QTest::newRow("longer, Enter") << "4000" << Qt::Key_Return << true;
    QTest::newRow("longer, Esc") << "4000" << Qt::Key_Escape << false;
}

void TestPanel::largeMoves()
{
    QFETCH(QString, threshold);
    QFETCH(Qt::Key, key);
    QFETCH(bool, sent);
    PanelOnLine panel;
    activate(panel.window);
    if (!threshold.isEmpty()) {
        answer(threshold, Qt::Key_Return);
        panel.trigger("actionConfirmMoves");
        activate(panel.window);
    }
    QCOMPARE(PanelSettings(QString()).confirmMovesOver(), threshold.toDouble());
    QVERIFY(panel.connectAndHome());
    bool asked = false;
    answer(QString(), key, &asked);
    enter(panel.find<QDoubleSpinBox>("doubleSpinBox_Position"), "5000");
    panel.settle(200);
    QCOMPARE(asked, threshold == "4000");
    QCOMPARE(panel.sent(), sent ? QByteArray(">ma 50000") : QByteArray());
}

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
