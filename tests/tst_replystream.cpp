// How the bytes from the controller are cut into lines, fed read by read straight into the
// receive path where the cut must be exact: odd bytes, long lines, the bound on an
// unfinished line, megabyte bursts, and the one-time console echo of a position.

#include "faultsupport.h"
#include "replyfixtures.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <cmath>

namespace {

QByteArrayList pieces(const QByteArray &bytes, int size)
{
    QByteArrayList all;
    for (int at = 0; at < bytes.size(); at += size)
        all << bytes.mid(at, size);
    return all;
}

void cut(const char *name, const QByteArrayList &reads, const QString &number,
         const QString &shown = QString(), const QByteArray &rest = QByteArray(),
         const QByteArray &version = QByteArrayLiteral("_Ver 106\r"))
{
    QTest::newRow(name) << version << reads << number << shown << rest;
}

} // namespace

class TestReplyStream : public QObject
{
    Q_OBJECT

private slots:
    void cutBetweenReads_data();
    void cutBetweenReads();
    void megabyteInOneGo_data();
    void megabyteInOneGo();
    void positionEchoedOnceAfterTypedLine_data();
    void positionEchoedOnceAfterTypedLine();
};

void TestReplyStream::cutBetweenReads_data()
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

void TestReplyStream::cutBetweenReads()
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
    QTRY_COMPARE(label->text(), number.isEmpty() ? labelBefore : micrometres(number));
    QCOMPARE(probe.console()->toPlainText().mid(before.size()), shown);
    QCOMPARE(probe.rxBuffer(), rest);
    QCOMPARE(probe.firmwareVersion(), versionBefore);
    auto *slider = window.findChild<QSlider *>(QStringLiteral("horizontalSlider"));
    QVERIFY(slider->value() >= slider->minimum() && slider->value() <= slider->maximum());
    QVERIFY(!std::isnan(probe.position()));
}

void TestReplyStream::megabyteInOneGo_data()
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

void TestReplyStream::megabyteInOneGo()
{
    QFETCH(QByteArray, bytes);

    PanelOnLine panel;
    ModalCloser boxes;
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

void TestReplyStream::positionEchoedOnceAfterTypedLine_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");

    QTest::newRow("1.06") << fw106 << QByteArray("_cp 100.0 um\r") << QByteArray("_cp 200.0 um\r");
    QTest::newRow("1.26") << fw126 << QByteArray("P 100.0 um\r") << QByteArray("P 200.0 um\r");
}

void TestReplyStream::positionEchoedOnceAfterTypedLine()
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

QTEST_MAIN(TestReplyStream)
#include "tst_replystream.moc"
