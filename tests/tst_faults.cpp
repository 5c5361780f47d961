// Faults in what the controller sends, over a real pseudo-terminal and the panel's real port
// (or, where the cut points must be exact, straight into its receive path): odd bytes, long
// lines, bursts, a stream without CR, CR LF line ends, late and missing answers. Each ends
// in the state the rules give, with the receive buffer bounded and no message box that the
// rules do not call for.

#include "console.h"
#include "faultsupport.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <cmath>

namespace {

const QString micro = QStringLiteral(" \u00b5m");
const QByteArray fixedLine = QByteArrayLiteral("_cp 42.0 um\r");

QString labelText(const MainWindow *window)
{
    return window->findChild<QLabel *>(QStringLiteral("label_Position"))->text();
}

// A burst of position lines of about the given size; the last one reports 4321.5 um.
QByteArray positionBurst(int bytes)
{
    QByteArray burst;
    burst.reserve(bytes + 64);
    for (int i = 0; burst.size() < bytes; ++i)
        burst += "_cp " + QByteArray::number(i % 6000) + ".5 um\r";
    return burst + "_cp 4321.5 um\r";
}

// Samples the receive buffer between events and keeps the largest size seen.
class BufferSampler : public QObject
{
public:
    explicit BufferSampler(const PanelProbe &probe)
        : panel(probe)
    {
        startTimer(1);
    }
    int largest = 0;

protected:
    void timerEvent(QTimerEvent *) override
    {
        largest = qMax(largest, int(panel.rxBuffer().size()));
    }

private:
    PanelProbe panel;
};

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void oddBytesOnTheLine_data();
    void oddBytesOnTheLine();
    void longLineOnTheLine();
    void cutAnywhere_data();
    void cutAnywhere();
    void burstOfLines();
    void megabyteWithoutCr();
    void crlfController();
    void lateIdentification_data();
    void lateIdentification();
    void silentController();
};

void TestFaults::oddBytesOnTheLine_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("label");
    QTest::addColumn<double>("position");
    QTest::addColumn<QString>("consoleAdded");

    QTest::newRow("CR LF shifts the next lines")
        << QByteArray("_cp 1.5 um\r\n_cp 2.5 um\r\nok\r\n\r") << "1.5" + micro << 1.5 << QString();
    QTest::newRow("NUL ends a passed-through reply") << QByteArray("ok\0hidden\r", 10)
            + fixedLine << "42.0" + micro << 42.0 << QStringLiteral("ok");
    QTest::newRow("NUL inside a position") << QByteArray("_cp 4\0"
                                                         "2.0 um\r",
                                                         13)
            + fixedLine << "42.0" + micro << 42.0
                                           << QString();
    QTest::newRow("invalid UTF-8 in a position")
        << QByteArray("_cp \xff"
                      "1.5 um\r")
        << QString(QChar(0xfffd)) + "1.5" + micro << 0.0 << QString();
    QTest::newRow("a multi-byte character counts once")
        << QByteArray("_cp 1.5 \xc2\xb5m\r") << "1.5" + micro << 1.5 << QString();
    QTest::newRow("invalid UTF-8 passed through")
        << QByteArray("_\xff ok\r") + fixedLine << "42.0" + micro << 42.0
        << QStringLiteral("_") + QChar(0xfffd) + QStringLiteral(" ok\n");
    QTest::newRow("only CRs") << QByteArray(64, '\r') + fixedLine << "42.0" + micro << 42.0
                              << QString();
}

void TestFaults::oddBytesOnTheLine()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, label);
    QFETCH(double, position);
    QFETCH(QString, consoleAdded);

    PanelOnLine panel;
    BoxWatcher boxes;
    QVERIFY(panel.connectPanel());
    const PanelProbe probe = panel.probe();
    const QString before = probe.console()->toPlainText();

    panel.controller.write(stream);
    QTRY_COMPARE_WITH_TIMEOUT(labelText(panel.window), label, 2000);
    QCOMPARE(probe.position(), position);
    QTRY_COMPARE_WITH_TIMEOUT(probe.console()->toPlainText().mid(before.size()), consoleAdded,
                              2000);
    QVERIFY(probe.rxBuffer().size() <= 1);
    QVERIFY(probe.serial()->isOpen());
    QCOMPARE(probe.firmwareVersion(), QStringLiteral("1.06"));
    QCOMPARE(boxes.count(), 0);
}

void TestFaults::longLineOnTheLine()
{
    // Over a real line the panel may read a 10,000-byte reply in one piece or in several;
    // past the receive buffer's bound an unfinished line is dropped. Either way the reply is
    // shown whole or not at all, and the lines after it are read as usual.
    PanelOnLine panel;
    BoxWatcher boxes;
    QVERIFY(panel.connectPanel());
    const PanelProbe probe = panel.probe();
    const QString before = probe.console()->toPlainText();
    const QByteArray longReply = '_' + QByteArray(10000, 'x') + '\r';

    panel.controller.write(longReply + fixedLine + "ok\r");
    QTRY_COMPARE_WITH_TIMEOUT(labelText(panel.window), "42.0" + micro, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(probe.console()->toPlainText().endsWith(QStringLiteral("ok\n")), 2000);
    const QString added = probe.console()->toPlainText().mid(before.size());
    QVERIFY2(added == QStringLiteral("ok\n")
                 || added == QLatin1Char('_') + QString(10000, QLatin1Char('x')) + "\nok\n",
             qPrintable(added.left(40)));
    QVERIFY(probe.rxBuffer().isEmpty());
    QVERIFY(probe.serial()->isOpen());
    QCOMPARE(boxes.count(), 0);
}

void TestFaults::cutAnywhere_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("piece"); // bytes per read; 0 for the whole stream at once
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("consoleAdded");

    const QByteArray general = "_Ver 106\r";
    const QByteArray longReply = '_' + QByteArray(10000, 'x') + '\r';
    const QByteArray longNumber(9992, '9');

    QTest::newRow("10,000-byte reply in one read")
        << general << longReply + "ok\r" << 0 << QString()
        << QLatin1Char('_') + QString(10000, QLatin1Char('x')) + "\nok\n";
    QTest::newRow("10,000-byte reply in pieces is dropped at the bound")
        << general << longReply + "ok\r" << 1000 << QString() << QStringLiteral("ok\n");
    QTest::newRow("10,000-byte position in one read")
        << general << "_cp " + longNumber + " um\r" << 0 << QString::fromLatin1(longNumber) + micro
        << QString();
    QTest::newRow("10,000-byte position, 1.26 grammar")
        << QByteArray("_Ver 126\r") << "P " + longNumber + " um\r" << 0
        << QString::fromLatin1(longNumber) + micro << QString();
    QTest::newRow("past the bound without CR, then a line")
        << general << QByteArray(5000, 'y') + "\r_cp 8.5 um\r" << 1000 << "8.5" + micro
        << QString();
    QTest::newRow("a line split before its CR")
        << general << QByteArray("_cp 3.5 um\r") << 10 << "3.5" + micro << QString();
    QTest::newRow("byte by byte") << general << QByteArray("_cp 3.5 um\rok\r") << 1 << "3.5" + micro
                                  << QStringLiteral("ok\n");
    QTest::newRow("short version line changes nothing")
        << general << QByteArray("_Ver\r_cp 6.5 um\r") << 0 << "6.5" + micro
        << QStringLiteral("_Ver\n");
    QTest::newRow("short status line")
        << general << QByteArray("_status\r") << 0 << QString() << QStringLiteral("_status\n");
    QTest::newRow("version 2.00 drops the rest")
        << QByteArray("_Ver 200\r") << QByteArray("_cp 6.5 um\rok\r") << 0 << QString()
        << QString();
}

void TestFaults::cutAnywhere()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, stream);
    QFETCH(int, piece);
    QFETCH(QString, label);
    QFETCH(QString, consoleAdded);

    MainWindow window;
    const PanelProbe probe(window);
    probe.feed(version);
    const QString versionBefore = probe.firmwareVersion();
    const QString labelBefore = labelText(&window);
    const QString before = probe.console()->toPlainText();

    const int step = piece > 0 ? piece : stream.size();
    for (int at = 0; at < stream.size(); at += step) {
        probe.feed(stream.mid(at, step));
        QVERIFY(probe.rxBuffer().size() <= 4096);
    }
    QCOMPARE(labelText(&window), label.isEmpty() ? labelBefore : label);
    QCOMPARE(probe.console()->toPlainText().mid(before.size()), consoleAdded);
    QCOMPARE(probe.firmwareVersion(), versionBefore);
    QVERIFY(probe.rxBuffer().isEmpty());
    auto *slider = window.findChild<QSlider *>(QStringLiteral("horizontalSlider"));
    QVERIFY(slider->value() >= slider->minimum() && slider->value() <= slider->maximum());
    QVERIFY(!std::isnan(probe.position()));
}

void TestFaults::burstOfLines()
{
    PanelOnLine panel;
    BoxWatcher boxes;
    QVERIFY(panel.connectPanel());
    const PanelProbe probe = panel.probe();
    const QString consoleBefore = probe.console()->toPlainText();
    const QByteArray burst = positionBurst(1 << 20);
    BufferSampler sampler(probe);

    // The first burst warms up every buffer on the way; the second must not grow the heap.
    panel.controller.write(burst);
    QTRY_COMPARE_WITH_TIMEOUT(labelText(panel.window), "4321.5" + micro, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(panel.controller.pty().bytesPending(), qint64(0), 5000);
    panel.controller.write("_cp 1.5 um\r");
    QTRY_COMPARE_WITH_TIMEOUT(labelText(panel.window), "1.5" + micro, 2000);
    const std::size_t heapBefore = heapInUse();

    panel.controller.write(burst);
    QTRY_COMPARE_WITH_TIMEOUT(labelText(panel.window), "4321.5" + micro, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(panel.controller.pty().bytesPending(), qint64(0), 5000);
    const std::size_t heapAfter = heapInUse();

    QCOMPARE(probe.position(), 4321.5);
    QCOMPARE(panel.find<QSlider>("horizontalSlider")->value(), 4321);
    QVERIFY(probe.rxBuffer().isEmpty());
    QVERIFY2(sampler.largest <= 4096, qPrintable(QString::number(sampler.largest)));
    // The poll's own position replies never reach the console.
    QCOMPARE(probe.console()->toPlainText(), consoleBefore);
    QVERIFY(probe.serial()->isOpen());
    QCOMPARE(boxes.count(), 0);
    const double grown = double(heapAfter) - double(heapBefore);
    QVERIFY2(grown < 256 * 1024, qPrintable(QStringLiteral("heap grew by %1 bytes").arg(grown)));
}

void TestFaults::megabyteWithoutCr()
{
    PanelOnLine panel;
    BoxWatcher boxes;
    QVERIFY(panel.connectPanel());
    const PanelProbe probe = panel.probe();
    const QString consoleBefore = probe.console()->toPlainText();
    BufferSampler sampler(probe);
    const QByteArray run(1 << 20, 'x');
    std::size_t heapBefore = 0;

    // The first round warms up every buffer on the way; the second must not grow the heap.
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            heapBefore = heapInUse();
        panel.controller.write(run);
        QTRY_COMPARE_WITH_TIMEOUT(panel.controller.pty().bytesPending(), qint64(0), 30000);
        panel.settle(50);
        QVERIFY(probe.rxBuffer().size() <= 4096);
        // The CR ends what is left of the run; the line after it is read as usual.
        const QByteArray number = QByteArray::number(round) + ".5";
        panel.controller.write("\r_cp " + number + " um\r");
        QTRY_COMPARE_WITH_TIMEOUT(labelText(panel.window), number + micro, 2000);
        QCOMPARE(probe.position(), round + 0.5);
        QVERIFY(probe.rxBuffer().isEmpty());
    }
    const double grown = double(heapInUse()) - double(heapBefore);

    QVERIFY2(sampler.largest <= 4096, qPrintable(QString::number(sampler.largest)));
    QCOMPARE(probe.console()->toPlainText(), consoleBefore);
    QVERIFY(probe.serial()->isOpen());
    QCOMPARE(boxes.count(), 0);
    QVERIFY2(grown < 256 * 1024, qPrintable(QStringLiteral("heap grew by %1 bytes").arg(grown)));
}

void TestFaults::crlfController()
{
    // With CR LF line ends every line after the first starts with the LF: the version line
    // still identifies and the offset line still counts, but the status and position lines
    // no longer match their rules.
    SimulatorOptions options;
    options.crlf = true;
    PanelOnSim panel(options);
    QVERIFY(panel.started);
    BoxWatcher boxes;
    const QString labelBefore = labelText(panel.window);
    panel.trigger("actionConnect");
    const PanelProbe probe = panel.probe();
    QTRY_COMPARE_WITH_TIMEOUT(probe.firmwareVersion(), QStringLiteral("1.06"), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(probe.maxPosition(), 14750.0, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(panel.find<QPushButton>("pushButton_home")->isEnabled(), 2000);
    QCOMPARE(probe.offsetText(), QStringLiteral("2500"));

    emit probe.console()->getData(QByteArrayLiteral(">ma 1000\r"));
    QTRY_COMPARE_WITH_TIMEOUT(panel.sim.position(), 100.0, 3000);
    QTest::qWait(400); // a few polls answered with the new position
    QCOMPARE(labelText(panel.window), labelBefore);
    QCOMPARE(probe.statusCode(), QStringLiteral(" "));
    QVERIFY(probe.serial()->isOpen());
    QCOMPARE(boxes.count(), 0);
}

void TestFaults::lateIdentification_data()
{
    // The first poll tick, 150 ms after the port opens, checks the identification. The
    // controller's delay runs from when it reads ">inform", a little after the port opened,
    // and the simulator shares this test's event loop, so the two delays keep wide margins
    // on either side of the tick instead of 149 and 151 ms: 75 ms is early even when the
    // loop stalls for most of the 75 ms between, and a 250 ms timer cannot fire before the
    // 150 ms one, however late both are.
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("kept");

    QTest::newRow("answer well before the first tick") << 75 << true;
    QTest::newRow("answer well after the first tick") << 250 << false;
}

void TestFaults::lateIdentification()
{
    QFETCH(int, delayMs);
    QFETCH(bool, kept);

    SimulatorOptions options;
    options.informDelayMs = delayMs;
    PanelOnSim panel(options);
    QVERIFY(panel.started);
    BoxWatcher boxes;
    panel.trigger("actionConnect");
    const PanelProbe probe = panel.probe();
    QTest::qWait(600); // four ticks, and the late answer has arrived by then

    if (kept) {
        QCOMPARE(boxes.count(), 0);
        QVERIFY(probe.serial()->isOpen());
        QVERIFY(probe.pollTimer()->isActive());
        QCOMPARE(probe.firmwareVersion(), QStringLiteral("1.06"));
        QVERIFY(panel.find<QPushButton>("pushButton_home")->isEnabled());
    } else {
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.title(), QStringLiteral("Error"));
        QVERIFY(boxes.text().startsWith(QStringLiteral("No Device found")));
        QVERIFY(!probe.serial()->isOpen());
        QVERIFY(!probe.pollTimer()->isActive());
        QCOMPARE(probe.statusLabel()->text(), QStringLiteral("Open error"));
        QVERIFY(probe.firmwareVersion().isEmpty());
        QVERIFY(!panel.find<QPushButton>("pushButton_home")->isEnabled());
    }
}

void TestFaults::silentController()
{
    SimulatorOptions options;
    options.silent = true;
    PanelOnSim panel(options);
    QVERIFY(panel.started);
    BoxWatcher boxes;
    panel.trigger("actionConnect");
    const PanelProbe probe = panel.probe();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(probe.statusLabel()->text(), QStringLiteral("Open error"), 2000);
    QVERIFY(boxes.text().startsWith(QStringLiteral("No Device found")));
    QVERIFY(!probe.serial()->isOpen());
    QVERIFY(!probe.pollTimer()->isActive());

    // Nothing is left running: no second box, no busy loop.
    const double cpu = cpuWhileIdle(500);
    QCOMPARE(boxes.count(), 1);
    QVERIFY2(cpu < 0.005, qPrintable(QStringLiteral("%1 s of CPU in 0.5 s").arg(cpu)));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
