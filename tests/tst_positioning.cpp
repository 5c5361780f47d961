// The positioning controls driven through their real widgets on a panel connected over a
// pseudo-terminal: the exact bytes that Home, Stop, AutoCalibrate, the target and step boxes,
// the step buttons, the arrow keys and the slider write, the enabled states, colours and focus
// that follow, the console toggle, and a simulated controller arriving where the target box
// sends it.

#include "console.h"
#include "panelinput.h"
#include "simulatedcontroller.h"

#include <QAction>
#include <QLabel>
#include <QLocale>

using namespace PanelInput;

namespace {

const char *const motionControls[]
    = { "pushButton_stop",        "doubleSpinBox_Position", "doubleSpinBox_mrstp",
        "pushButton_SliderMinus", "pushButton_SliderPlus",  "horizontalSlider" };

// Counts the presses of one key that reach a widget, whether sent to it or passed on to it.
class KeyCounter : public QObject
{
public:
    explicit KeyCounter(int counted)
        : key(counted)
    { }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == key)
            ++count;
        return false;
    }
    int key;
    int count = 0;
};

} // namespace

class TestPositioning : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void homeEnablesMotion();
    void stopAndAutoCalibrate();
    void targetWithinLimits_data();
    void targetWithinLimits();
    void targetSentOnFocusLoss();
    void relativeSteps();
    void arrowKeys_data();
    void arrowKeys();
    void heldArrowRepeats();
    void sliderRelease_data();
    void sliderRelease();
    void setSlidePositionTruncates();
    void consoleToggle();
    void simulatedStageArrivesAtTarget();
};

void TestPositioning::initTestCase()
{
    // Spin boxes take the locale at construction; typed values use "." as the separator.
    QLocale::setDefault(QLocale::c());
}

void TestPositioning::homeEnablesMotion()
{
    PanelOnLine panel;
    QVERIFY(activate(panel.window));
    QVERIFY(panel.connectPanel());
    QVERIFY(panel.controller.waitForText(">cp\r", 1000));
    auto *home = panel.find<QPushButton>("pushButton_home");
    QTRY_COMPARE_WITH_TIMEOUT(home->styleSheet(), QStringLiteral("color: red"), 1000);
    QVERIFY(home->isEnabled());
    QVERIFY(panel.find<QPushButton>("pushButton_AutoCalibrate")->isEnabled());
    for (const char *name : motionControls)
        QVERIFY2(!panel.find<QWidget>(name)->isEnabled(), name);

    // Not homed: the arrows move nothing, even with the window itself taking the keys.
    if (QWidget *focused = QApplication::focusWidget())
        focused->clearFocus();
    panel.controller.take();
    pressKey(Qt::Key_Right);
    pressKey(Qt::Key_Left);
    pressKey(Qt::Key_Right, Qt::ShiftModifier);
    panel.settle(60);
    QCOMPARE(withoutPolls(panel.controller.take()), QByteArray());
    QVERIFY(!panel.probe().homed());

    QTest::mouseClick(home, Qt::LeftButton);
    panel.settle();
    QCOMPARE(withoutPolls(panel.controller.take()), QByteArray(">stop\r>home\r"));
    QVERIFY(panel.probe().console()->toPlainText().endsWith(QStringLiteral(">stop\n>home\n")));
    QVERIFY(panel.probe().homed());
    QCOMPARE(home->styleSheet(), QStringLiteral("color: green"));
    for (const char *name : motionControls)
        QVERIFY2(panel.find<QWidget>(name)->isEnabled(), name);
    QVERIFY(!QApplication::focusWidget());
    // Later ticks leave the colour of a homed stage alone.
    QVERIFY(panel.controller.waitForText(">cp\r>cp\r", 1000));
    QCOMPARE(home->styleSheet(), QStringLiteral("color: green"));
}

void TestPositioning::stopAndAutoCalibrate()
{
    PanelOnLine panel;
    QVERIFY(homeAfter(panel, "_Ver 106\r_offset 2500\r_status 1\r"));
    auto *stop = panel.find<QPushButton>("pushButton_stop");
    QTest::mouseClick(stop, Qt::LeftButton);
    panel.settle();
    QCOMPARE(withoutPolls(panel.controller.take()), QByteArray(">stop\r"));
    QVERIFY(panel.probe().console()->toPlainText().endsWith(QStringLiteral(">home\n>stop\n")));
    QVERIFY(!stop->hasFocus());

    // The status query behind ">auto" is not shown.
    auto *calibrate = panel.find<QPushButton>("pushButton_AutoCalibrate");
    QTest::mouseClick(calibrate, Qt::LeftButton);
    panel.settle();
    QCOMPARE(withoutPolls(panel.controller.take()), QByteArray(">auto\r>status\r"));
    QVERIFY(panel.probe().console()->toPlainText().endsWith(QStringLiteral(">stop\n>auto\n")));
    QVERIFY(calibrate->hasFocus());
}

void TestPositioning::targetWithinLimits_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("sent"); // empty: nothing may be sent

    const QByteArray initial("_Ver 106\r"); // no offset line: the limits stay -250 and 6250
    const QByteArray long15000("_Ver 106\r_offset 2500\r"); // -250 and 14750
    QTest::newRow("upper limit") << initial << "6250" << QByteArray(">ma 62500");
    QTest::newRow("above upper limit") << initial << "6250.01" << QByteArray();
    QTest::newRow("lower limit") << initial << "-250" << QByteArray(">ma -2500");
    QTest::newRow("below lower limit") << initial << "-250.01" << QByteArray();
    QTest::newRow("beyond the initial range") << initial << "10000" << QByteArray();
    QTest::newRow("tenths") << initial << "1234.5" << QByteArray(">ma 12345");
    QTest::newRow("travel 15000") << long15000 << "10000" << QByteArray(">ma 100000");
    QTest::newRow("travel 15000 upper limit") << long15000 << "14750" << QByteArray(">ma 147500");
    QTest::newRow("travel 15000 above") << long15000 << "14750.01" << QByteArray();
}

void TestPositioning::targetWithinLimits()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, typed);
    QFETCH(QByteArray, sent);

    PanelOnLine panel;
    QVERIFY(homeAfter(panel, answer));
    auto *box = panel.find<QDoubleSpinBox>("doubleSpinBox_Position");
    const QString consoleBefore = panel.probe().console()->toPlainText();

    enter(box, typed);
    QVERIFY(!box->hasFocus());
    QVERIFY(!box->signalsBlocked());
    // The focus loss after Return must not send a second time.
    panel.settle(60);
    QCOMPARE(withoutPolls(panel.controller.received()), sent);
    QCOMPARE(box->value(), typed.toDouble()); // out-of-range entries stay in the box
    const QString console = panel.probe().console()->toPlainText();
    if (sent.isEmpty()) {
        QCOMPARE(console, consoleBefore);
    } else {
        QCOMPARE(console, consoleBefore + QString::fromLatin1(sent) + QLatin1Char('\n'));
        // No terminator: the next query follows the number directly.
        QVERIFY(panel.controller.waitForText(sent + ">cp\r", 1000));
    }
}

void TestPositioning::targetSentOnFocusLoss()
{
    PanelOnLine panel;
    QVERIFY(homeAfter(panel, "_Ver 106\r"));
    auto *box = panel.find<QDoubleSpinBox>("doubleSpinBox_Position");
    typeInto(box, QStringLiteral("321"));
    // Clicking the step box takes the focus away from the target box, which finishes it.
    QTest::mouseClick(panel.find<QDoubleSpinBox>("doubleSpinBox_mrstp"), Qt::LeftButton);
    panel.settle(60);
    QCOMPARE(withoutPolls(panel.controller.take()), QByteArray(">ma 3210"));
}

void TestPositioning::relativeSteps()
{
    PanelOnLine panel;
    QVERIFY(homeAfter(panel, "_Ver 106\r"));
    auto *stepBox = panel.find<QDoubleSpinBox>("doubleSpinBox_mrstp");
    for (const char *step : { "", "0.25" }) { // empty: the default of 200
        if (*step) {
            enter(stepBox, QString::fromLatin1(step));
            QVERIFY(!stepBox->hasFocus());
            panel.settle(40);
            QCOMPARE(withoutPolls(panel.controller.take()),
                     QByteArray()); // a step alone moves nothing
        }
        const QByteArray tenths = *step ? "2.5" : "2000";
        for (const bool forward : { true, false }) {
            const QByteArray sent = (forward ? ">mr " : ">mr -") + tenths;
            const QString consoleBefore = panel.probe().console()->toPlainText();
            auto *button = panel.find<QPushButton>(forward ? "pushButton_SliderPlus"
                                                           : "pushButton_SliderMinus");
            QTest::mouseClick(button, Qt::LeftButton);
            panel.settle();
            QCOMPARE(withoutPolls(panel.controller.take()), sent);
            QCOMPARE(panel.probe().console()->toPlainText(),
                     consoleBefore + QString::fromLatin1(sent) + QLatin1Char('\n'));
            QVERIFY(!QApplication::focusWidget());
        }
    }
}

void TestPositioning::arrowKeys_data()
{
    QTest::addColumn<QString>("focus"); // empty: no widget has the focus
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("reachesWindow");
    QTest::addColumn<QByteArray>("sent");

    auto row = [](const char *name, const char *focus, Qt::Key key, Qt::KeyboardModifiers modifiers,
                  bool reachesWindow, const char *sent) {
        QTest::newRow(name) << QString::fromLatin1(focus) << int(key) << int(modifiers)
                            << reachesWindow << QByteArray(sent);
    };
    row("Right", "", Qt::Key_Right, Qt::NoModifier, true, ">mr 2000");
    row("Left", "", Qt::Key_Left, Qt::NoModifier, true, ">mr -2000");
    row("Shift+Right", "", Qt::Key_Right, Qt::ShiftModifier, true, ">mr 2000");
    row("Ctrl+Left", "", Qt::Key_Left, Qt::ControlModifier, true, ">mr -2000");
    row("Up", "", Qt::Key_Up, Qt::NoModifier, true, "");
    row("letter", "", Qt::Key_R, Qt::NoModifier, true, "");
    // A focused child that takes the arrows keeps them from the window.
    row("Right in the target box", "doubleSpinBox_Position", Qt::Key_Right, Qt::NoModifier, false,
        "");
    row("Left on the slider", "horizontalSlider", Qt::Key_Left, Qt::NoModifier, false, "");
}

void TestPositioning::arrowKeys()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, reachesWindow);
    QFETCH(QByteArray, sent);

    PanelOnLine panel;
    QVERIFY(homeAfter(panel, "_Ver 106\r"));
    if (!focus.isEmpty()) {
        QWidget *target = panel.find<QWidget>(qPrintable(focus));
        target->setFocus(Qt::OtherFocusReason);
        QVERIFY(target->hasFocus());
    }
    KeyCounter atWindow(key);
    panel.window->installEventFilter(&atWindow);
    pressKey(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    panel.window->removeEventFilter(&atWindow);
    QCOMPARE(atWindow.count, reachesWindow ? 1 : 0);
    panel.settle();
    QCOMPARE(withoutPolls(panel.controller.take()), sent);
    if (!sent.isEmpty())
        QVERIFY(panel.probe().console()->toPlainText().endsWith(QString::fromLatin1(sent) + '\n'));
}

void TestPositioning::heldArrowRepeats()
{
    PanelOnLine panel;
    QVERIFY(homeAfter(panel, "_Ver 106\r"));
    // A held key: the first press and two auto-repeated ones, one step each.
    for (bool repeat : { false, true, true }) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier, QString(), repeat);
        QApplication::sendEvent(panel.window, &press);
    }
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier);
    QApplication::sendEvent(panel.window, &release);
    panel.settle();
    QCOMPARE(withoutPolls(panel.controller.take()), QByteArray(">mr -2000>mr -2000>mr -2000"));
}

void TestPositioning::sliderRelease_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("sent");

    QTest::newRow("1000") << 1000 << QByteArray(">ma 10000");
    QTest::newRow("upper end") << 14750 << QByteArray(">ma 147500");
}

void TestPositioning::sliderRelease()
{
    QFETCH(int, value);
    QFETCH(QByteArray, sent);

    PanelOnLine panel;
    QVERIFY(homeAfter(panel, "_Ver 106\r_offset 2500\r"));
    auto *slider = panel.find<QSlider>("horizontalSlider");
    auto *target = panel.find<QDoubleSpinBox>("doubleSpinBox_Position");
    auto *label = panel.find<QLabel>("label_Position");
    QCOMPARE(slider->minimum(), -250);
    QCOMPARE(slider->maximum(), 14750);

    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, handleCentre(slider));
    QVERIFY(slider->isSliderDown());
    QVERIFY(slider->hasFocus());
    QVERIFY(target->signalsBlocked());
    slider->setSliderPosition(value); // the drag
    QCOMPARE(slider->value(), value);
    // While held, replies show the position but leave the handle where the operator has it.
    panel.controller.write("_cp 3000.0 um\r");
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("3000.0 \u00b5m"), 1000);
    QCOMPARE(slider->value(), value);
    panel.settle();
    QCOMPARE(withoutPolls(panel.controller.take()), QByteArray()); // nothing before the release

    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, handleCentre(slider));
    QVERIFY(!slider->isSliderDown());
    panel.settle();
    QCOMPARE(withoutPolls(panel.controller.take()), sent);
    QVERIFY(panel.probe().console()->toPlainText().endsWith(QString::fromLatin1(sent) + '\n'));
    QVERIFY(!slider->hasFocus());
    QVERIFY(!target->signalsBlocked());

    // Released, the slider follows the reported position again.
    panel.controller.write("_cp 1234.5 um\r");
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("1234.5 \u00b5m"), 1000);
    QCOMPARE(slider->value(), 1234);
}

void TestPositioning::setSlidePositionTruncates()
{
    PanelOnLine panel;
    auto *slider = panel.find<QSlider>("horizontalSlider");
    const QList<QPair<double, int>> cases
        = { { 1234.9, 1234 }, { -249.9, -249 }, { 0.99, 0 }, { 6250.0, 6250 } };
    for (const auto &c : cases) {
        slider->setValue(17);
        QVERIFY(
            QMetaObject::invokeMethod(panel.window, "setSlidePosition", Q_ARG(double, c.first)));
        QCOMPARE(slider->value(), c.second);
    }
}

void TestPositioning::consoleToggle()
{
    PanelOnLine panel;
    QVERIFY(activate(panel.window));
    auto *button = panel.find<QPushButton>("pushButton_Console");
    QCOMPARE(panel.window->size(), QSize(580, 408));
    QCOMPARE(button->text(), QStringLiteral("Console >>"));
    QVERIFY(!panel.probe().console()->isVisible());

    struct Expected
    {
        QSize size;
        const char *text;
        bool shown;
    };
    for (const Expected &expected : { Expected { { 580, 700 }, "Console <<", true },
                                      Expected { { 580, 408 }, "Console >>", false } }) {
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(panel.window->size(), expected.size);
        QCOMPARE(panel.window->minimumSize(), expected.size);
        QCOMPARE(panel.window->maximumSize(), expected.size);
        QCOMPARE(button->text(), QString::fromLatin1(expected.text));
        QCOMPARE(panel.probe().console()->isVisible(), expected.shown);
        QCOMPARE(panel.probe().consoleShown(), expected.shown);
        QVERIFY(!button->hasFocus());
        QVERIFY(!QApplication::focusWidget());
    }
}

void TestPositioning::simulatedStageArrivesAtTarget()
{
    SimulatedController stage; // firmware 1.06, travel -250 to 14750
    QVERIFY2(stage.start(), qPrintable(stage.errorString()));
    MainWindow window(nullptr, stage.devicePath());
    window.show();
    QVERIFY(activate(&window));
    window.findChild<QAction *>("actionConnect")->trigger();
    auto *home = window.findChild<QPushButton *>("pushButton_home");
    QTRY_VERIFY_WITH_TIMEOUT(home->isEnabled(), 2000);
    QTest::mouseClick(home, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!stage.isMoving(), 5000);

    enter(window.findChild<QDoubleSpinBox *>("doubleSpinBox_Position"), QStringLiteral("1234.5"));
    auto *label = window.findChild<QLabel *>("label_Position");
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("1234.5 \u00b5m"), 5000);
    QCOMPARE(stage.position(), 1234.5);
    QCOMPARE(window.findChild<QSlider *>("horizontalSlider")->value(), 1234);
}

QTEST_MAIN(TestPositioning)
#include "tst_positioning.moc"
