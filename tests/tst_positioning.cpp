// The positioning controls driven through their real widgets on a panel connected over a
// pseudo-terminal: the exact bytes that Home, Stop, AutoCalibrate, the target and step boxes,
// the step buttons and the arrow keys write, and the enabled states, colours and focus that
// follow.

#include "console.h"
#include "panelinput.h"

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
    void fixedCommandButtons_data();
    void fixedCommandButtons();
    void targetWithinLimits_data();
    void targetWithinLimits();
    void targetSentOnFocusLoss();
    void relativeSteps_data();
    void relativeSteps();
    void arrowKeys_data();
    void arrowKeys();
    void heldArrowRepeats();
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

void TestPositioning::fixedCommandButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("consoleTail");
    QTest::addColumn<bool>("keepsFocus");

    QTest::newRow("stop") << "pushButton_stop" << QByteArray(">stop\r") << ">home\n>stop\n"
                          << false;
    // The status query behind ">auto" is not shown.
    QTest::newRow("auto-calibrate")
        << "pushButton_AutoCalibrate" << QByteArray(">auto\r>status\r") << ">home\n>auto\n"
        << true;
}

void TestPositioning::fixedCommandButtons()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, wire);
    QFETCH(QString, consoleTail);
    QFETCH(bool, keepsFocus);

    PanelOnLine panel;
    QVERIFY(homeAfter(panel, "_Ver 106\r_offset 2500\r_status 1\r"));
    auto *widget = panel.find<QPushButton>(qPrintable(button));
    QTest::mouseClick(widget, Qt::LeftButton);
    panel.settle();
    QCOMPARE(withoutPolls(panel.controller.take()), wire);
    QVERIFY2(panel.probe().console()->toPlainText().endsWith(consoleTail),
             qPrintable(panel.probe().console()->toPlainText()));
    QCOMPARE(widget->hasFocus(), keepsFocus);
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
    QTest::newRow("zero") << initial << "0" << QByteArray(">ma 0");
    QTest::newRow("tenths") << initial << "1234.5" << QByteArray(">ma 12345");
    QTest::newRow("hundredths") << initial << "1234.56" << QByteArray(">ma 12345.6");
    QTest::newRow("travel 15000") << long15000 << "10000" << QByteArray(">ma 100000");
    QTest::newRow("travel 15000 upper limit") << long15000 << "14750" << QByteArray(">ma 147500");
    QTest::newRow("travel 15000 above") << long15000 << "14750.01" << QByteArray();
    QTest::newRow("six significant digits") << long15000 << "12345.67" << QByteArray(">ma 123457");
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

void TestPositioning::relativeSteps_data()
{
    QTest::addColumn<QString>("step"); // empty: the default of 200
    QTest::addColumn<bool>("forward");
    QTest::addColumn<QByteArray>("sent");

    QTest::newRow("default plus") << "" << true << QByteArray(">mr 2000");
    QTest::newRow("default minus") << "" << false << QByteArray(">mr -2000");
    QTest::newRow("0.25 plus") << "0.25" << true << QByteArray(">mr 2.5");
    QTest::newRow("0.25 minus") << "0.25" << false << QByteArray(">mr -2.5");
    // Steps are not held against the limits.
    QTest::newRow("largest step") << "6000" << true << QByteArray(">mr 60000");
}

void TestPositioning::relativeSteps()
{
    QFETCH(QString, step);
    QFETCH(bool, forward);
    QFETCH(QByteArray, sent);

    PanelOnLine panel;
    QVERIFY(homeAfter(panel, "_Ver 106\r"));
    auto *stepBox = panel.find<QDoubleSpinBox>("doubleSpinBox_mrstp");
    if (!step.isEmpty()) {
        enter(stepBox, step);
        QVERIFY(!stepBox->hasFocus());
        panel.settle(40);
        QCOMPARE(withoutPolls(panel.controller.take()), QByteArray()); // a step alone moves nothing
    }
    const QString consoleBefore = panel.probe().console()->toPlainText();
    auto *widget
        = panel.find<QPushButton>(forward ? "pushButton_SliderPlus" : "pushButton_SliderMinus");
    QTest::mouseClick(widget, Qt::LeftButton);
    panel.settle();
    QCOMPARE(withoutPolls(panel.controller.take()), sent);
    QCOMPARE(panel.probe().console()->toPlainText(),
             consoleBefore + QString::fromLatin1(sent) + QLatin1Char('\n'));
    QVERIFY(!widget->hasFocus());
    QVERIFY(!QApplication::focusWidget());
}

void TestPositioning::arrowKeys_data()
{
    QTest::addColumn<QString>("focus"); // empty: no widget has the focus
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("reachesWindow");
    QTest::addColumn<QByteArray>("sent");

    const int right = Qt::Key_Right;
    const int left = Qt::Key_Left;
    const int none = Qt::NoModifier;
    QTest::newRow("Right") << "" << right << none << true << QByteArray(">mr 2000");
    QTest::newRow("Left") << "" << left << none << true << QByteArray(">mr -2000");
    QTest::newRow("Shift+Right") << "" << right << int(Qt::ShiftModifier) << true
                                 << QByteArray(">mr 2000");
    QTest::newRow("Ctrl+Left") << "" << left << int(Qt::ControlModifier) << true
                               << QByteArray(">mr -2000");
    QTest::newRow("Alt+Shift+Right") << "" << right << int(Qt::AltModifier | Qt::ShiftModifier)
                                     << true << QByteArray(">mr 2000");
    QTest::newRow("Up") << "" << int(Qt::Key_Up) << none << true << QByteArray();
    QTest::newRow("letter") << "" << int(Qt::Key_R) << none << true << QByteArray();
    // A focused child that takes the arrows keeps them from the window.
    const QString target("doubleSpinBox_Position");
    const QString slider("horizontalSlider");
    QTest::newRow("Right in the target box") << target << right << none << false << QByteArray();
    QTest::newRow("Left in the target box") << target << left << none << false << QByteArray();
    QTest::newRow("Right on the slider") << slider << right << none << false << QByteArray();
    QTest::newRow("Left on the slider") << slider << left << none << false << QByteArray();
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

QTEST_MAIN(TestPositioning)
#include "tst_positioning.moc"
