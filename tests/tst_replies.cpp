// The controller's replies over a real pseudo-terminal: the firmware version and the grammar
// it selects, what position, status and offset lines do to the window, and which lines the
// console shows.

#include "faultsupport.h"
#include "replyfixtures.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <cmath>

namespace {

// A line that moves nothing: the stage stays at 500.
void unmoved(const char *name, const QByteArray &answer, const QByteArray &line,
             const QString &shown = QString())
{
    QTest::newRow(name) << answer << line << shown << 500.0 << QStringLiteral("500.0") << 500;
}

void limits(const char *name, const QByteArray &version, const QByteArray &line, const char *text,
            double minimum, double maximum, const char *minimumLabel, const char *maximumLabel,
            int sliderMinimum, int sliderMaximum)
{
    QTest::newRow(name) << version << line << QString::fromLatin1(text) << minimum << maximum
                        << QString::fromLatin1(minimumLabel) << QString::fromLatin1(maximumLabel)
                        << sliderMinimum << sliderMaximum;
}

} // namespace

class TestReplies : public QObject
{
    Q_OBJECT

private slots:
    void versionLines_data();
    void versionLines();
    void unsupportedVersionDropsEveryLine();
    void replyLines_data();
    void replyLines();
    void sliderHeldByOperatorStaysPut();
    void statusLines_data();
    void statusLines();
    void offsetLines_data();
    void offsetLines();
};

void TestReplies::versionLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("version");
    QTest::addColumn<double>("travel");
    QTest::addColumn<bool>("linesTaken");

    QTest::newRow("1.06") << QByteArray("_Ver 106\r") << "1.06" << 15000.0 << true;
    QTest::newRow("1.26") << QByteArray("_Ver 126\r") << "1.26" << 6500.0 << true;
    QTest::newRow("2.00") << QByteArray("_Ver 200\r") << "2.00" << 6500.0 << false;
    QTest::newRow("0.99") << QByteArray("_Ver 099\r") << "0.99" << 6500.0 << false;
    QTest::newRow("1.07") << QByteArray("_Ver 107\r") << "1.07" << 6500.0 << false;
    QTest::newRow("3.12") << QByteArray("_Ver 312\r") << "3.12" << 6500.0 << true;
    QTest::newRow("9.99") << QByteArray("_Ver 999\r") << "9.99" << 6500.0 << true;
    QTest::newRow("letter") << QByteArray("_Ver A01\r") << "A.01" << 6500.0 << true;
    // The three bytes are counted from the start of the line, wherever "Ver" stands.
    QTest::newRow("Ver further in") << QByteArray("Fw Ver 106\r") << "r. 1" << 6500.0 << true;
    QTest::newRow("after CR LF") << QByteArray("\n_Ver 106\r") << " .10" << 6500.0 << false;
}

void TestReplies::versionLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, version);
    QFETCH(double, travel);
    QFETCH(bool, linesTaken);

    PanelOnLine panel;
    ModalCloser closer;
    QVERIFY(panel.connectPanel(line));
    const PanelProbe probe = panel.probe();
    QCOMPARE(probe.firmwareVersion(), version);
    QCOMPARE(probe.travelRange(), travel);
    // A grammar shows "ok"; without one every line is dropped.
    QCOMPARE(shownFor(panel, "ok\r"), linesTaken ? QStringLiteral("ok\n") : QString());
    // Any version identifies the controller at the poll tick, supported or not.
    QTRY_VERIFY_WITH_TIMEOUT(panel.find<QPushButton>("pushButton_home")->isEnabled(), 1000);
    QVERIFY(panel.find<QPushButton>("pushButton_AutoCalibrate")->isEnabled());
    QVERIFY(probe.serial()->isOpen());
    QCOMPARE(closer.count(), 0);
}

void TestReplies::unsupportedVersionDropsEveryLine()
{
    PanelOnLine panel;
    QVERIFY(panel.connectPanel("_Ver 200\r_offset 1000\r_status 9\r_cp 12.5 um\r"));
    const PanelProbe probe = panel.probe();
    auto *label = panel.find<QLabel>("label_Position");
    const QString labelBefore = label->text();
    QCOMPARE(probe.console()->toPlainText(), QStringLiteral(">inform\n>status\n"));
    QCOMPARE(probe.offsetText(), QString());
    QCOMPARE(probe.statusCode(), QString());
    QCOMPARE(probe.minPosition(), -250.0);
    QCOMPARE(probe.maxPosition(), 6250.0);
    QCOMPARE(panel.find<QPushButton>("pushButton_AutoCalibrate")->text(),
             QStringLiteral("AutoCalibrate"));
    QCOMPARE(shownFor(panel, "_cp 1234.5 um\r_home done\r"), QString());
    QCOMPARE(label->text(), labelBefore);
    // A later version line brings a grammar back.
    QCOMPARE(shownFor(panel, "_Ver 106\r_cp 1234.5 um\r"), QStringLiteral("_Ver 106\n"));
    QCOMPARE(label->text(), micrometres("1234.5"));
    QCOMPARE(probe.position(), 1234.5);
}

void TestReplies::replyLines_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("position");
    QTest::addColumn<QString>("number"); // as the label shows it
    QTest::addColumn<int>("slider");

    const QByteArray p = QByteArrayLiteral("P 1234.5 um\r"),
                     cp = QByteArrayLiteral("_cp 1234.5 um\r");
    QTest::newRow("1.26") << fw126 << p << "" << 1234.5 << "1234.5" << 1234;
    QTest::newRow("1.26, P further in")
        << fw126 << QByteArray("_P 0012.50 um\r") << "" << 12.5 << " 0012.50" << 12;
    QTest::newRow("1.06") << fw106 << cp << "" << 1234.5 << "1234.5" << 1234;
    QTest::newRow("3.12") << fw312 << QByteArray("_cp 99.9 um\r") << "" << 99.9 << "99.9" << 99;
    QTest::newRow("not reformatted")
        << fw106 << QByteArray("_cp 1.5e3 um\r") << "" << 1500.0 << "1.5e3" << 1500;
    QTest::newRow("truncated toward zero")
        << fw106 << QByteArray("_cp -12.7 um\r") << "" << -12.7 << "-12.7" << -12;
    QTest::newRow("above the slider's range")
        << fw312 << QByteArray("_cp 7000.0 um\r") << "" << 7000.0 << "7000.0" << 6250;
    QTest::newRow("below the slider's range")
        << fw106 << QByteArray("_cp -300.0 um\r") << "" << -300.0 << "-300.0" << -250;
    QTest::newRow("micro sign is one character")
        << fw106 << QByteArray("_cp 1234.5 \xc2\xb5m\r") << "" << 1234.5 << "1234.5" << 1234;
    QTest::newRow("invalid UTF-8 is one character")
        << fw106 << QByteArray("_cp 1234.5 \xb5m\r") << "" << 1234.5 << "1234.5" << 1234;
    // Decoded up to the NUL: "_cp 1234.5" is cut between its first four and last four.
    QTest::newRow("NUL ends the line's text")
        << fw106 << raw("_cp 1234.5\0 um\r") << "" << 12.0 << "12" << 12;
    QTest::newRow("no number") << fw106 << QByteArray("_cp --- um\r") << "" << 0.0 << "---" << 0;
    unmoved("1.06, P form", fw106, p);
    unmoved("3.12, P form", fw312, p);
    unmoved("cp further in", fw106, " " + cp);
    unmoved("cp after CR LF", fw106, "\n" + cp);
    unmoved("upper case CP", fw106, "_CP 1234.5 um\r");
    // With 1.26 only a "P" makes a position line; this one passes through instead.
    unmoved("1.26, general form", fw126, cp, asShown(cp));
    unmoved("ok", fw106, "ok\r", "ok\n");
    unmoved("underscore", fw106, "_home done\r", "_home done\n");
    unmoved("begins with ok", fw106, "okay\r", "okay\n");
    unmoved("target never", fw106, "_tg 1000.0\r");
    unmoved("underscore with P", fw106, "_Pos 10\r");
    unmoved("ok with P", fw106, "ok P\r");
    unmoved("other line", fw106, "done\r");
    unmoved("upper case OK", fw106, "OK\r");
    unmoved("ok after CR LF", fw106, "\nok\r");
    unmoved("ok further in", fw106, " ok\r");
    unmoved("empty lines", fw106, "\r\r\r");
    unmoved("invalid UTF-8", fw106, "_\xc3( done\r", QStringLiteral("_\ufffd( done\n"));
    unmoved("UTF-8", fw106, "_\xc2\xb5m\r", QStringLiteral("_\u00b5m\n"));
    unmoved("NUL ends the text", fw106, raw("ok\0 and more\r"), QStringLiteral("ok"));
    unmoved("1.26 underscore", fw126, "_home done\r", "_home done\n");
    unmoved("1.26 target", fw126, "_tg 1000.0\r");
    unmoved("1.26 other line", fw126, "done\r");
}

void TestReplies::replyLines()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, line);
    QFETCH(QString, shown);
    QFETCH(double, position);
    QFETCH(QString, number);
    QFETCH(int, slider);

    PanelOnLine panel;
    QVERIFY(panel.connectPanel(answer));
    QCOMPARE(panel.probe().position(), 500.0);
    QCOMPARE(shownFor(panel, line), shown); // a poll reply is never shown
    QCOMPARE(panel.probe().position(), position);
    QCOMPARE(panel.find<QLabel>("label_Position")->text(), micrometres(number));
    auto *horizontalSlider = panel.find<QSlider>("horizontalSlider");
    QCOMPARE(horizontalSlider->value(), slider);
    QCOMPARE(horizontalSlider->maximum(), answer == fw106 ? 14750 : 6250); // limits untouched
}

void TestReplies::sliderHeldByOperatorStaysPut()
{
    PanelOnLine panel;
    QVERIFY(panel.connectAndHome());
    panel.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(panel.window));
    auto *slider = panel.find<QSlider>("horizontalSlider");
    auto *label = panel.find<QLabel>("label_Position");
    panel.controller.write("_cp 100.0 um\r");
    panel.settle();
    QCOMPARE(slider->value(), 100);

    slider->setFocus();
    QVERIFY(slider->hasFocus());
    panel.controller.write("_cp 1000.0 um\r");
    panel.settle();
    QCOMPARE(label->text(), micrometres("1000.0"));
    QCOMPARE(panel.probe().position(), 1000.0);
    QCOMPARE(slider->value(), 100);

    slider->clearFocus();
    panel.controller.write("_cp 1100.0 um\r");
    panel.settle();
    QCOMPARE(slider->value(), 1100);
}

void TestReplies::statusLines_data()
{
    QTest::addColumn<QByteArray>("before"); // lines at connect, after a "Calibrated" status
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("calibrateText");
    QTest::addColumn<QString>("calibrateStyle");
    QTest::addColumn<QString>("homeStyle");

    const QString red = QStringLiteral("color: red"), green = QStringLiteral("color: green");
    const QByteArray one = QByteArrayLiteral("_status 1\r");
    // The stage has been homed, so the home button is green to begin with.
    QTest::newRow("calibrated turns home red") << one << QByteArray("_status 9\r") << "9"
                                               << "Calibrated" << green << red;
    QTest::newRow("not calibrated") << QByteArray("_status 9\r") << one << "1"
                                    << "AutoCalibrate" << red << green;
    QTest::newRow("other code") << QByteArray() << QByteArray("_status 4\r") << "4"
                                << "Calibrated" << green << green;
    QTest::newRow("wider code taken as one character") << one << QByteArray("_status 41\r") << "4"
                                                       << "AutoCalibrate" << red << green;
    QTest::newRow("too short") << one << QByteArray("_status\r") << "1"
                               << "AutoCalibrate" << red << green;
    QTest::newRow("after CR LF") << one << QByteArray("\n_status 9\r") << " "
                                 << "AutoCalibrate" << red << green;
    // Passed through like any "_" line, and not interpreted.
    QTest::newRow("ignored by 1.26") << QByteArray("_Ver 126\r") << one << "9"
                                     << "Calibrated" << green << green;
}

void TestReplies::statusLines()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, line);
    QFETCH(QString, code);
    QFETCH(QString, calibrateText);
    QFETCH(QString, calibrateStyle);
    QFETCH(QString, homeStyle);

    PanelOnLine panel;
    // "Calibrated" first, so that the other rows show what they leave alone.
    QVERIFY(panel.connectPanel("_Ver 106\r_offset 2500\r_status 9\r" + before));
    QVERIFY(panel.controller.waitForText(">cp\r", 1000));
    QTest::qWait(10);
    auto *home = panel.find<QPushButton>("pushButton_home");
    home->click();
    QCOMPARE(home->styleSheet(), QStringLiteral("color: green"));

    QCOMPARE(shownFor(panel, line), asShown(line)); // always shown, whatever the code
    QCOMPARE(panel.probe().statusCode(), code);
    auto *calibrate = panel.find<QPushButton>("pushButton_AutoCalibrate");
    QCOMPARE(calibrate->text(), calibrateText);
    QCOMPARE(calibrate->styleSheet(), calibrateStyle);
    QVERIFY(calibrate->isEnabled());
    QCOMPARE(home->styleSheet(), homeStyle);
    QVERIFY(home->isEnabled());
}

void TestReplies::offsetLines_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("offsetText");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<QString>("minimumLabel");
    QTest::addColumn<QString>("maximumLabel");
    QTest::addColumn<int>("sliderMinimum");
    QTest::addColumn<int>("sliderMaximum");

    const QByteArray v106("_Ver 106\r"), v126("_Ver 126\r"), v312("_Ver 312\r");
    const QByteArray line("_offset 2500\r");
    limits("travel 6500", v312, line, "2500", -250, 6250, "-250", "6250", -250, 6250);
    limits("travel 15000", v106, line, "2500", -250, 14750, "-250", "14750", -250, 14750);
    limits("1.26", v126, line, "2500", -250, 6250, "-250", "6250", -250, 6250);
    limits("capitalised", v106, "_Offset 2500\r", "2500", -250, 14750, "-250", "14750", -250,
           14750);
    limits("1.26 capitalised", v126, "Offset 2500\r", "2500", -250, 6250, "-250", "6250", -250,
           6250);
    limits("fraction", v312, "_offset 1234.5\r", "1234.5", -123.45, 6376.55, "-123.45", "6376.55",
           -123, 6376);
    limits("negative", v312, "_offset -500\r", "-500", 50, 6550, "50", "6550", 50, 6550);
    limits("no number", v312, "_offset none\r", "none", 0, 6500, "0", "6500", 0, 6500);
    limits("after CR LF", v106, "\n" + line, "2500", -250, 14750, "-250", "14750", -250, 14750);
    // The travel of a new version waits for the next offset line.
    limits("version line alone", v106, v126, "1000", -100, 14900, "-100", "14900", -100, 14900);
    limits("version, then offset", v106, v126 + line, "2500", -250, 6250, "-250", "6250", -250,
           6250);
}

void TestReplies::offsetLines()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, line);
    QFETCH(QString, offsetText);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(QString, minimumLabel);
    QFETCH(QString, maximumLabel);
    QFETCH(int, sliderMinimum);
    QFETCH(int, sliderMaximum);

    PanelOnLine panel;
    // Limits of their own first, so that every row changes them.
    QVERIFY(panel.connectPanel(version + "_offset 1000\r"));
    const PanelProbe probe = panel.probe();
    QCOMPARE(probe.minPosition(), -100.0);
    QCOMPARE(shownFor(panel, line), asShown(line)); // always shown, before it is interpreted
    QCOMPARE(probe.offsetText(), offsetText);
    QCOMPARE(probe.minPosition(), minimum);
    QCOMPARE(probe.maxPosition(), maximum);
    QCOMPARE(panel.find<QLabel>("label_Slidermin")->text(), micrometres(minimumLabel));
    QCOMPARE(panel.find<QLabel>("label_Slidermax")->text(), micrometres(maximumLabel));
    auto *slider = panel.find<QSlider>("horizontalSlider");
    QCOMPARE(slider->minimum(), sliderMinimum);
    QCOMPARE(slider->maximum(), sliderMaximum);
}

QTEST_MAIN(TestReplies)
#include "tst_replies.moc"
