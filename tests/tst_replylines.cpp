// Reply lines over a real pseudo-terminal: the received bytes cut at CR only, across and
// within reads, the line feed that CR LF leaves at the head of the next line, the bound on
// an unfinished line, and which lines the console shows.

#include "replyfixtures.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

namespace {

QByteArray repeated(const QByteArray &line, int times)
{
    QByteArray all;
    all.reserve(line.size() * times);
    for (int i = 0; i < times; ++i)
        all += line;
    return all;
}

} // namespace

class TestReplyLines : public QObject
{
    Q_OBJECT

private slots:
    void lineSplitAcrossReads();
    void linesInOneReadInOrder();
    void lineOrderDecidesSlider_data();
    void lineOrderDecidesSlider();
    void crLfShiftsNextLine();
    void overlongUnfinishedLineIsDropped();
    void completeLinesSurviveTheBound_data();
    void completeLinesSurviveTheBound();
    void megabyteBurstEndsOnLastPosition();

    void positionEchoedOnceAfterTypedLine_data();
    void positionEchoedOnceAfterTypedLine();
    void passThroughLines_data();
    void passThroughLines();
};

void TestReplyLines::lineSplitAcrossReads()
{
    PanelOnLine panel;
    QVERIFY(panel.connectPanel(fw106));
    const PanelProbe probe = panel.probe();
    auto *label = panel.find<QLabel>("label_Position");
    const QString before = label->text();

    panel.controller.write("_cp 12");
    panel.settle();
    QCOMPARE(probe.rxBuffer(), QByteArray("_cp 12"));
    QCOMPARE(label->text(), before);
    panel.controller.write("34.5 um");
    panel.settle();
    QCOMPARE(probe.rxBuffer(), QByteArray("_cp 1234.5 um"));
    QCOMPARE(label->text(), before);
    // Only the CR makes it a line, and the rest of this read starts the next one.
    panel.controller.write("\r_cp 9");
    panel.settle();
    QCOMPARE(label->text(), micrometres("1234.5"));
    QCOMPARE(probe.position(), 1234.5);
    QCOMPARE(probe.rxBuffer(), QByteArray("_cp 9"));
}

void TestReplyLines::linesInOneReadInOrder()
{
    PanelOnLine panel;
    QVERIFY(panel.connectPanel(fw106));
    const PanelProbe probe = panel.probe();
    const QString before = probe.console()->toPlainText();
    panel.controller.write("_offset 1000\r_cp 50.0 um\rok\r_tg 1.0\r_status 9\r_offset 2000\r"
                           "_cp 60.0 um\r_home done\r");
    panel.settle();
    QCOMPARE(probe.console()->toPlainText().mid(before.size()),
             QStringLiteral("_offset 1000\nok\n_status 9\n_offset 2000\n_home done\n"));
    QCOMPARE(probe.offsetText(), QStringLiteral("2000"));
    QCOMPARE(probe.maxPosition(), 14800.0);
    QCOMPARE(probe.position(), 60.0);
    QCOMPARE(panel.find<QLabel>("label_Position")->text(), micrometres("60.0"));
    QCOMPARE(probe.statusCode(), QStringLiteral("9"));
    QCOMPARE(probe.rxBuffer(), QByteArray());
}

void TestReplyLines::lineOrderDecidesSlider_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("slider");

    // The wider range must come first for the slider to reach 6600.
    QTest::newRow("offset first") << QByteArray("_offset -1000\r_cp 6600.0 um\r") << 6600;
    QTest::newRow("position first") << QByteArray("_cp 6600.0 um\r_offset -1000\r") << 6250;
}

void TestReplyLines::lineOrderDecidesSlider()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, slider);

    PanelOnLine panel;
    QVERIFY(panel.connectPanel("_Ver 312\r_offset 2500\r"));
    panel.controller.write(bytes);
    panel.settle();
    auto *horizontalSlider = panel.find<QSlider>("horizontalSlider");
    QCOMPARE(horizontalSlider->maximum(), 6600);
    QCOMPARE(horizontalSlider->value(), slider);
    QCOMPARE(panel.probe().position(), 6600.0);
}

void TestReplyLines::crLfShiftsNextLine()
{
    PanelOnLine panel;
    QVERIFY(panel.connectPanel("_Ver 106\r\n_offset 1000\r\n_status 9\r\n"));
    const PanelProbe probe = panel.probe();
    // The version line itself is whole; each later line begins with the line feed.
    QCOMPARE(probe.firmwareVersion(), QStringLiteral("1.06"));
    QCOMPARE(probe.offsetText(), QStringLiteral("1000"));
    QCOMPARE(probe.maxPosition(), 14900.0);
    // Index 8 of "\n_status 9" is the blank before the code.
    QCOMPARE(probe.statusCode(), QStringLiteral(" "));
    auto *calibrate = panel.find<QPushButton>("pushButton_AutoCalibrate");
    QCOMPARE(calibrate->text(), QStringLiteral("AutoCalibrate"));
    QCOMPARE(calibrate->styleSheet(), QString());
    QCOMPARE(probe.rxBuffer(), QByteArray("\n"));

    auto *label = panel.find<QLabel>("label_Position");
    const QString labelBefore = label->text();
    const QString before = probe.console()->toPlainText();
    QCOMPARE(before, QStringLiteral(">inform\n>status\n_Ver 106\n\n_offset 1000\n\n_status 9\n"));
    panel.controller.write("_cp 1234.5 um\r\nok\r\n_home done\r\n");
    panel.settle();
    QCOMPARE(label->text(), labelBefore);
    QCOMPARE(probe.console()->toPlainText(), before);
    // A line without the line feed in front is itself again.
    panel.controller.write("\r_cp 1234.5 um\r");
    panel.settle();
    QCOMPARE(label->text(), micrometres("1234.5"));
}

void TestReplyLines::overlongUnfinishedLineIsDropped()
{
    PanelOnLine panel;
    QVERIFY(panel.connectPanel(fw106));
    const PanelProbe probe = panel.probe();
    const QString console = probe.console()->toPlainText();

    // Up to 4096 bytes without a CR are kept; one more and they are let go.
    probe.feed(QByteArray(4096, 'x'));
    QCOMPARE(probe.rxBuffer().size(), 4096);
    probe.feed("x");
    QCOMPARE(probe.rxBuffer(), QByteArray());

    // A device that sends without end never grows the buffer past the bound.
    for (int i = 0; i < 10; ++i) {
        panel.controller.write(QByteArray(10000, 'y'));
        panel.settle(5);
        QVERIFY(probe.rxBuffer().size() <= 4096);
    }
    panel.settle();
    QVERIFY(probe.rxBuffer().size() <= 4096);

    // The first CR ends what is left of that run; the lines after it are read as usual.
    panel.controller.write("\r_cp 100.0 um\rok\r");
    panel.settle();
    QCOMPARE(panel.find<QLabel>("label_Position")->text(), micrometres("100.0"));
    QCOMPARE(probe.console()->toPlainText(), console + QStringLiteral("ok\n"));
    QVERIFY(probe.serial()->isOpen());
}

void TestReplyLines::completeLinesSurviveTheBound_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QByteArray>("rest"); // the unfinished line kept afterwards

    const QByteArray many = repeated("_tg 1000.0\r", 500); // 5500 bytes of complete lines
    QTest::newRow("after many lines") << QByteArray() << many + "_cp 321.5 um\r" << QByteArray();
    QTest::newRow("before many lines") << QByteArray() << "_cp 321.5 um\r" + many << QByteArray();
    QTest::newRow("unfinished, then many lines")
        << QByteArray("_cp 32") << "1.5 um\r" + many + "_cp 4" << QByteArray("_cp 4");
    QTest::newRow("one line longer than the bound")
        << QByteArray() << "_cp " + QByteArray(5000, ' ') + "321.5 um\r" << QByteArray();
}

void TestReplyLines::completeLinesSurviveTheBound()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QByteArray, rest);

    PanelOnLine panel;
    QVERIFY(panel.connectPanel(fw106));
    const PanelProbe probe = panel.probe();
    // Fed straight in, so that each piece is exactly one read.
    probe.feed(first);
    probe.feed(second);
    QCOMPARE(probe.position(), 321.5);
    QVERIFY(panel.find<QLabel>("label_Position")->text().endsWith(micrometres("321.5")));
    QCOMPARE(probe.rxBuffer(), rest);
}

void TestReplyLines::megabyteBurstEndsOnLastPosition()
{
    PanelOnLine panel;
    ModalCloser closer;
    QVERIFY(panel.connectPanel(fw106));
    const PanelProbe probe = panel.probe();
    const QString console = probe.console()->toPlainText();

    QByteArray burst;
    burst.reserve(1 << 20);
    for (int i = 0; burst.size() < (1 << 20); ++i)
        burst += "_cp " + QByteArray::number(i % 6000) + ".0 um\r";
    burst += "_cp 4321.5 um\r";
    panel.controller.write(burst);

    auto *label = panel.find<QLabel>("label_Position");
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), micrometres("4321.5"), 20000);
    panel.settle(200);
    QCOMPARE(label->text(), micrometres("4321.5"));
    QCOMPARE(probe.position(), 4321.5);
    QCOMPARE(panel.find<QSlider>("horizontalSlider")->value(), 4321);
    QCOMPARE(probe.rxBuffer(), QByteArray());
    // Poll replies are not shown, and the connection stays up through the burst.
    QCOMPARE(probe.console()->toPlainText(), console);
    QVERIFY(probe.serial()->isOpen());
    QCOMPARE(closer.count(), 0);
}

void TestReplyLines::positionEchoedOnceAfterTypedLine_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");

    QTest::newRow("1.06") << fw106 << QByteArray("_cp 100.0 um\r") << QByteArray("_cp 200.0 um\r");
    QTest::newRow("1.26") << fw126 << QByteArray("P 100.0 um\r") << QByteArray("P 200.0 um\r");
}

void TestReplyLines::positionEchoedOnceAfterTypedLine()
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

void TestReplyLines::passThroughLines_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("shown");

    QTest::newRow("ok") << fw106 << QByteArray("ok\r") << "ok\n";
    QTest::newRow("underscore") << fw106 << QByteArray("_home done\r") << "_home done\n";
    QTest::newRow("begins with ok") << fw106 << QByteArray("okay\r") << "okay\n";
    QTest::newRow("target never") << fw106 << QByteArray("_tg 1000.0\r") << "";
    QTest::newRow("underscore with P") << fw106 << QByteArray("_Pos 10\r") << "";
    QTest::newRow("ok with P") << fw106 << QByteArray("ok P\r") << "";
    QTest::newRow("other line") << fw106 << QByteArray("done\r") << "";
    QTest::newRow("upper case") << fw106 << QByteArray("OK\r") << "";
    QTest::newRow("after CR LF") << fw106 << QByteArray("\nok\r") << "";
    QTest::newRow("ok further in") << fw106 << QByteArray(" ok\r") << "";
    QTest::newRow("invalid UTF-8")
        << fw106 << QByteArray("_\xc3( done\r") << QStringLiteral("_\ufffd( done\n");
    QTest::newRow("UTF-8") << fw106 << QByteArray("_\xc2\xb5m\r") << QStringLiteral("_\u00b5m\n");
    QTest::newRow("NUL ends the text") << fw106 << raw("ok\0 and more\r") << "ok";
    QTest::newRow("3.12 ok") << fw312 << QByteArray("ok\r") << "ok\n";
    QTest::newRow("3.12 target") << fw312 << QByteArray("_tg 1000.0\r") << "";
    QTest::newRow("1.26 ok") << fw126 << QByteArray("ok\r") << "ok\n";
    QTest::newRow("1.26 underscore") << fw126 << QByteArray("_home done\r") << "_home done\n";
    QTest::newRow("1.26 target") << fw126 << QByteArray("_tg 1000.0\r") << "";
    QTest::newRow("1.26 other line") << fw126 << QByteArray("done\r") << "";
}

void TestReplyLines::passThroughLines()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, line);
    QFETCH(QString, shown);

    PanelOnLine panel;
    QVERIFY(panel.connectPanel(answer));
    QCOMPARE(shownFor(panel, line), shown);
    // Nothing else is touched by them.
    QCOMPARE(panel.probe().position(), 500.0);
    QCOMPARE(panel.probe().maxPosition(), answer == fw106 ? 14750.0 : 6250.0);
}

QTEST_MAIN(TestReplyLines)
#include "tst_replylines.moc"
