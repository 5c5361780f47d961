// The controller's replies over a real pseudo-terminal (or, where the cut between reads must
// be exact, straight into the receive path): the firmware version and the grammar it
// selects, what position, status and offset lines do to the window, which lines the console
// shows, and how the bytes are cut into lines, whatever odd bytes, long lines or bursts they
// hold.

#include "console.h"
#include "faultsupport.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <cmath>

namespace {

// Answers to the identification and status requests, one per grammar; each puts the
// stage at 500 µm first, so that a line that moves nothing can be told apart.
const QByteArray fw106 = QByteArrayLiteral("_Ver 106\r_offset 2500\r_status 1\r_cp 500.0 um\r");
const QByteArray fw126 = QByteArrayLiteral("_Ver 126\r_offset 2500\rP 500.0 um\r");
const QByteArray fw312 = QByteArrayLiteral("_Ver 312\r_offset 2500\r_status 1\r_cp 500.0 um\r");

// Bytes with NULs in them, whole.
template<int N> QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

QString micrometres(const QString &number)
{
    return number + QStringLiteral(" \u00b5m");
}

// A line as the console shows it.
QString asShown(const QByteArray &line)
{
    return QString::fromLatin1(line).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// What the console shows after the controller has sent the given bytes.
QString shownFor(PanelOnLine &panel, const QByteArray &bytes)
{
    const QString before = panel.probe().console()->toPlainText();
    panel.controller.write(bytes);
    panel.settle();
    const QString after = panel.probe().console()->toPlainText();
    return after.startsWith(before) ? after.mid(before.size()) : QStringLiteral("<rewritten>");
}

QByteArrayList pieces(const QByteArray &bytes, int size)
{
    QByteArrayList all;
    for (int at = 0; at < bytes.size(); at += size)
        all << bytes.mid(at, size);
    return all;
}

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

void cut(const char *name, const QByteArrayList &reads, const QString &number,
         const QString &shown = QString(), const QByteArray &rest = QByteArray(),
         const QByteArray &version = QByteArrayLiteral("_Ver 106\r"))
{
    QTest::newRow(name) << version << reads << number << shown << rest;
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

    void cutBetweenReads_data();
    void cutBetweenReads();
    void megabyteInOneGo_data();
    void megabyteInOneGo();
    void positionEchoedOnceAfterTypedLine_data();
    void positionEchoedOnceAfterTypedLine();
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
void TestReplies::cutBetweenReads_data()
{
    // Fed straight into the receive path, so that each piece is exactly one read.
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<QString>("number"); // the label's, or empty when it is left alone
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("rest"); // the unfinished line kept afterwards

    QByteArray many; // 5500 bytes of complete lines
    for (int i = 0; i < 500; ++i)
        many += "_tg 1000.0\r";
    const QByteArray longReply = '_' + QByteArray(10000, 'x') + '\r';
    const QByteArray longNumber(9992, '9');
    const QByteArray x4096(4096, 'x');

    // Only the CR makes a line, and the rest of the read starts the next one.
    cut("split across reads", { "_cp 12", "34.5 um", "\r_cp 9" }, "1234.5", "", "_cp 9");
    cut("several lines in one read, in order",
        { "_offset 1000\r_cp 50.0 um\rok\r_tg 1.0\r_status 9\r_offset 2000\r_cp 60.0 um\r_home "
          "done\r" },
        "60.0", "_offset 1000\nok\n_status 9\n_offset 2000\n_home done\n");
    // With CR LF line ends each later line begins with the LF and no longer matches.
    cut("CR LF shifts the next lines", { "_cp 1234.5 um\r\nok\r\n_home done\r\n" }, "", "", "\n",
        "_Ver 106\r\n");
    // Seven bytes hold no byte at index 7; the line still goes through the grammar.
    cut("short version lines", { "_Ver 1\rVer\r" }, "", "_Ver 1\n");
    cut("byte by byte", pieces("_cp 3.5 um\rok\r", 1), "3.5", "ok\n");
    cut("4096 bytes without CR are kept", { x4096 }, "", "", x4096);
    cut("one more and they are let go", { x4096, "x" }, "");
    cut("many lines, then a position", { many + "_cp 321.5 um\r" }, "321.5");
    cut("a position, then many lines", { "_cp 321.5 um\r" + many }, "321.5");
    cut("unfinished, then many lines", { "_cp 32", "1.5 um\r" + many + "_cp 4" }, "321.5", "",
        "_cp 4");
    cut("one line longer than the bound", { "_cp " + QByteArray(5000, ' ') + "321.5 um\r" },
        QString(5000, QLatin1Char(' ')) + "321.5");
    cut("10,000-character position", { "_cp " + longNumber + " um\r" }, longNumber);
    cut("10,000-character position, 1.26", { "P " + longNumber + " um\r" }, longNumber, "", "",
        "_Ver 126\r");
    cut("10,000-character reply in one read", { longReply + "ok\r" }, "",
        '_' + QString(10000, QLatin1Char('x')) + "\nok\n");
    cut("10,000-character reply in pieces is dropped at the bound",
        pieces(longReply + "ok\r", 1000), "", "ok\n");
}

void TestReplies::cutBetweenReads()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArrayList, reads);
    QFETCH(QString, number);
    QFETCH(QString, shown);
    QFETCH(QByteArray, rest);

    MainWindow window;
    const PanelProbe probe(window);
    probe.feed(version);
    const QString versionBefore = probe.firmwareVersion();
    auto *label = window.findChild<QLabel *>(QStringLiteral("label_Position"));
    const QString labelBefore = label->text();
    const QString before = probe.console()->toPlainText();

    for (const QByteArray &read : reads) {
        probe.feed(read);
        QVERIFY(probe.rxBuffer().size() <= 4096);
    }
    QCOMPARE(label->text(), number.isEmpty() ? labelBefore : micrometres(number));
    QCOMPARE(probe.console()->toPlainText().mid(before.size()), shown);
    QCOMPARE(probe.rxBuffer(), rest);
    QCOMPARE(probe.firmwareVersion(), versionBefore);
    auto *slider = window.findChild<QSlider *>(QStringLiteral("horizontalSlider"));
    QVERIFY(slider->value() >= slider->minimum() && slider->value() <= slider->maximum());
    QVERIFY(!std::isnan(probe.position()));
}

void TestReplies::megabyteInOneGo_data()
{
    QTest::addColumn<QByteArray>("bytes"); // ends on the only report of 4321.5 µm

    QByteArray burst;
    burst.reserve((1 << 20) + 64);
    for (int i = 0; burst.size() < (1 << 20); ++i)
        burst += "_cp " + QByteArray::number(i % 6000) + ".0 um\r";
    QTest::newRow("position lines") << burst + "_cp 4321.5 um\r";
    // The CR ends what is left of the run; the line after it is read as usual.
    QTest::newRow("no CR") << QByteArray(1 << 20, 'x') + "\r_cp 4321.5 um\r";
}

void TestReplies::megabyteInOneGo()
{
    QFETCH(QByteArray, bytes);

    PanelOnLine panel;
    BoxWatcher boxes;
    QVERIFY(panel.connectPanel(fw106));
    const PanelProbe probe = panel.probe();
    auto *label = panel.find<QLabel>("label_Position");
    const QString console = probe.console()->toPlainText();
    std::size_t heapBefore = 0;

    // The first round warms up every buffer on the way; the second must not grow the heap.
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            panel.controller.write("_cp 1.5 um\r");
            QTRY_COMPARE_WITH_TIMEOUT(label->text(), micrometres("1.5"), 2000);
            heapBefore = heapInUse();
        }
        panel.controller.write(bytes);
        QTRY_COMPARE_WITH_TIMEOUT(panel.controller.pty().bytesPending(), qint64(0), 60000);
        QTRY_COMPARE_WITH_TIMEOUT(label->text(), micrometres("4321.5"), 60000);
    }
    const double grown = double(heapInUse()) - double(heapBefore);

    QCOMPARE(probe.position(), 4321.5);
    QCOMPARE(panel.find<QSlider>("horizontalSlider")->value(), 4321);
    QVERIFY(probe.rxBuffer().isEmpty());
    // Poll replies are not shown, and the connection stays up through it all.
    QCOMPARE(probe.console()->toPlainText(), console);
    QVERIFY(probe.serial()->isOpen());
    QCOMPARE(boxes.count(), 0);
    QVERIFY2(grown < 256 * 1024, qPrintable(QStringLiteral("heap grew by %1 bytes").arg(grown)));
}

void TestReplies::positionEchoedOnceAfterTypedLine_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");

    QTest::newRow("1.06") << fw106 << QByteArray("_cp 100.0 um\r") << QByteArray("_cp 200.0 um\r");
    QTest::newRow("1.26") << fw126 << QByteArray("P 100.0 um\r") << QByteArray("P 200.0 um\r");
}

void TestReplies::positionEchoedOnceAfterTypedLine()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);

    PanelOnLine panel;
    QVERIFY(panel.connectPanel(answer));
    Console *console = panel.probe().console();
    console->setFocus();
    QTest::keyClicks(console, "get cp");
    QTest::keyClick(console, Qt::Key_Return);
    QVERIFY(panel.probe().positionEchoRequested());
    QVERIFY(console->toPlainText().endsWith(QStringLiteral("get cp\n")));

    QCOMPARE(shownFor(panel, first), QString::fromLatin1(first).replace('\r', '\n'));
    QVERIFY(!panel.probe().positionEchoRequested());
    QCOMPARE(shownFor(panel, second), QString());
    QCOMPARE(panel.probe().position(), 200.0);
}

QTEST_MAIN(TestReplies)
#include "tst_replies.moc"
