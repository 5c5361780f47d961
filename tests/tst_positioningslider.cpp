// The positioning slider, the console toggle and a stage that really moves: the slider's
// release sends the target and its hold keeps position replies off the handle, setSlidePosition
// truncates, the console button resizes the window, and a simulated controller arrives where
// the target box sends it.

#include "console.h"
#include "panelinput.h"
#include "simulatedcontroller.h"

#include <QAction>
#include <QLabel>
#include <QLocale>

using namespace PanelInput;

class TestPositioningSlider : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sliderRelease_data();
    void sliderRelease();
    void setSlidePositionTruncates_data();
    void setSlidePositionTruncates();
    void consoleToggle();
    void simulatedStageArrivesAtTarget();
};

void TestPositioningSlider::initTestCase()
{
    // Spin boxes take the locale at construction; typed values use "." as the separator.
    QLocale::setDefault(QLocale::c());
}

void TestPositioningSlider::sliderRelease_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("sent");

    QTest::newRow("1000") << 1000 << QByteArray(">ma 10000");
    QTest::newRow("lower end") << -250 << QByteArray(">ma -2500");
    QTest::newRow("upper end") << 14750 << QByteArray(">ma 147500");
    QTest::newRow("where it was") << 0 << QByteArray(">ma 0");
}

void TestPositioningSlider::sliderRelease()
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

void TestPositioningSlider::setSlidePositionTruncates_data()
{
    QTest::addColumn<double>("pos");
    QTest::addColumn<int>("value");

    QTest::newRow("positive") << 1234.9 << 1234;
    QTest::newRow("negative") << -249.9 << -249;
    QTest::newRow("below one") << 0.99 << 0;
    QTest::newRow("whole") << 6250.0 << 6250;
}

void TestPositioningSlider::setSlidePositionTruncates()
{
    QFETCH(double, pos);
    QFETCH(int, value);

    PanelOnLine panel;
    auto *slider = panel.find<QSlider>("horizontalSlider");
    slider->setValue(17);
    QVERIFY(QMetaObject::invokeMethod(panel.window, "setSlidePosition", Q_ARG(double, pos)));
    QCOMPARE(slider->value(), value);
}

void TestPositioningSlider::consoleToggle()
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

void TestPositioningSlider::simulatedStageArrivesAtTarget()
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

QTEST_MAIN(TestPositioningSlider)
#include "tst_positioningslider.moc"
