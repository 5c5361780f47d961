// The replies fed read by read into a window's receive path (each grammar, what the console
// shows, the bound on an unfinished line), and the console pane's keys, echo and bound.

#include "console.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QSlider>
#include <QTextBlock>

namespace {

const QByteArray fw106("_Ver 106\r_offset 2500\r_status 1\r_cp 500.0 um\r");
const QByteArray fw126("_Ver 126\r_offset 2500\rP 500.0 um\r");
const QByteArray fw312("_Ver 312\r_offset 2500\r_status 1\r_cp 500.0 um\r");

QStringList state(const MainWindow &w)
{
    const auto text = [&w](const char *name) {
        return w.findChild<QWidget *>(QLatin1String(name))->property("text").toString();
    };
    const auto *slider = w.findChild<QSlider *>(QStringLiteral("horizontalSlider"));
    const PanelProbe probe(const_cast<MainWindow &>(w));
    return { "ver=" + probe.firmwareVersion(),
             "pos=" + text("label_Position"),
             QStringLiteral("slider=%1 %2..%3")
                 .arg(slider->value())
                 .arg(slider->minimum())
                 .arg(slider->maximum()),
             "limits=" + text("label_Slidermin") + ' ' + text("label_Slidermax"),
             "calib=" + text("pushButton_AutoCalibrate") + ' '
                 + w.findChild<QWidget *>("pushButton_AutoCalibrate")->styleSheet(),
             "home=" + w.findChild<QWidget *>("pushButton_home")->styleSheet(),
             "rest=" + QString::number(probe.rxBuffer().size()) };
}

void row(const char *name, const QByteArray &before, const QByteArrayList &reads,
         const QString &shown, const QString &want)
{
    QTest::newRow(name) << before << reads << shown << want.split(QStringLiteral("; "));
}

} // namespace

class TestReplies : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void keys_data();
    void keys();
    void keepsAtMostHundredLines();
};

void TestReplies::replies_data()
{
    QTest::addColumn<QByteArray>("before"); // the answer to the identification
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<QString>("shown"); // what the console adds
    QTest::addColumn<QStringList>("want"); // parts of the state

    row("1.06 position and long travel", fw106, { "_cp 1234.5 um\r" }, "",
        "ver=1.06; pos=1234.5 \u00b5m; slider=1234 -250..14750; limits=-250 \u00b5m 14750 \u00b5m");
    row("1.26 position", fw126, { "P 1234.5 um\r" }, "",
        "ver=1.26; pos=1234.5 \u00b5m; slider=1234 -250..6250; limits=-250 \u00b5m 6250 \u00b5m");
    row("1.26 P further in", fw126, { "_P 0012.50 um\r" }, "", "pos= 0012.50 \u00b5m");
    row("1.26 passes the general form on", fw126, { "_cp 1234.5 um\r" }, "_cp 1234.5 um\n",
        "pos=500.0 \u00b5m");
    row("3.12 position", fw312, { "_cp 99.9 um\r" }, "",
        "ver=3.12; pos=99.9 \u00b5m; slider=99 -250..6250");
    row("1.06 ignores the P form", fw106, { "P 1234.5 um\r" }, "", "pos=500.0 \u00b5m");
    row("split across reads", fw106, { "_cp 12", "34.5 um", "\r_cp 9" }, "",
        "pos=1234.5 \u00b5m; rest=5");
    row("byte by byte", fw106, { "o", "k", "\r", "_", "c", "p 3.5 um\r" }, "ok\n",
        "pos=3.5 \u00b5m");
    row("micro sign and NUL", fw106, { "_cp 1.5 \xc2\xb5m\r", QByteArray("ok\0 more\r", 9) }, "ok",
        "pos=1.5 \u00b5m");
    row("beyond the slider", fw312, { "_cp 7000.0 um\r" }, "", "slider=6250 -250..6250");
    row("unsupported 2.00 drops every line", "_Ver 200\r_offset 1000\r_status 9\r",
        { "_cp 1.5 um\rok\r" }, "", "ver=2.00; pos=0.0 \u00b5m; calib=AutoCalibrate ");
    row("a later version line brings a grammar", "_Ver 200\r", { "_Ver 106\r_cp 2.5 um\r" },
        "_Ver 106\n", "pos=2.5 \u00b5m");
    row("shown and not shown", fw106,
        { "ok\r_home done\r_tg 1000.0\r_Pos 10\rdone\r\nok\r_err >x\r" },
        "ok\n_home done\n_err >x\n", "pos=500.0 \u00b5m");
    row("calibrated turns home red", fw106, { "_status 9\r" }, "_status 9\n",
        "calib=Calibrated color: green; home=color: red");
    row("not calibrated", fw106 + "_status 9\r", { "_status 1\r" }, "_status 1\n",
        "calib=AutoCalibrate color: red");
    row("1.26 shows status lines only", fw126, { "_status 9\r" }, "_status 9\n",
        "calib=AutoCalibrate ; home=");
    row("offset with a fraction", fw312, { "_offset 1234.5\r" }, "_offset 1234.5\n",
        "limits=-123.45 \u00b5m 6376.55 \u00b5m; slider=500 -123..6376");
    row("negative offset", fw312, { "_offset -500\r" }, "_offset -500\n",
        "limits=50 \u00b5m 6550 \u00b5m");
    row("1.26 capitalised offset", fw126, { "Offset 1000\r" }, "Offset 1000\n",
        "limits=-100 \u00b5m 6400 \u00b5m");
    row("travel of a new version waits for its offset", fw106, { "_Ver 126\r" }, "_Ver 126\n",
        "ver=1.26; limits=-250 \u00b5m 14750 \u00b5m");
    row("4096 bytes without CR are kept", fw106, { QByteArray(4096, 'x') }, "", "rest=4096");
    row("one more and they are let go", fw106, { QByteArray(4096, 'x'), "x" }, "", "rest=0");
    row("and so is the rest of that line", fw106, { QByteArray(5000, 'x'), "ok\r_cp 7.5 um\r" }, "",
        "pos=7.5 \u00b5m");
    row("a long line in one read is whole", fw106, { "_cp " + QByteArray(5000, '9') + " um\r" }, "",
        "pos=" + QString(5000, '9') + " \u00b5m");
}

void TestReplies::replies()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArrayList, reads);
    QFETCH(QString, shown);
    QFETCH(QStringList, want);

    MainWindow window;
    const PanelProbe probe(window);
    probe.feed(before);
    const QString console = probe.console()->toPlainText();
    for (const QByteArray &read : reads)
        probe.feed(read);
    QTest::qWait(25); // the read-out may follow a moment later
    for (const QString &part : want)
        QTRY_VERIFY2_WITH_TIMEOUT(state(window).contains(part),
                                  qPrintable(part + " not in " + state(window).join("; ")), 500);
    QCOMPARE(probe.console()->toPlainText().mid(console.size()), shown);
}

void TestReplies::keys_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("sent"); // empty: nothing is sent
    QTest::addColumn<QString>("shown");

    const auto row = [](const char *name, bool echo, const char *typed, Qt::Key key,
                        const char *sent, const char *shown) {
        QTest::newRow(name) << echo << QString::fromLatin1(typed) << int(key) << QByteArray(sent)
                            << QString::fromLatin1(shown);
    };
    row("return", true, "abc", Qt::Key_Return, "abc\r", "abc\n");
    row("up", true, "ab", Qt::Key_Up, "ab\r", "ab\n");
    row("right", true, "ab", Qt::Key_Right, "ab\r", "ab\n");
    row("delete corrects, then sends", true, "abcd", Qt::Key_Delete, "abc\r", "abc\n");
    row("echo off swallows typing", false, "abc", Qt::Key_Return, "\r", "\n");
    row("backspace", true, "ab", Qt::Key_Backspace, "", "a");
    row("keypad enter", true, "ab", Qt::Key_Enter, "", "ab\n");
}

void TestReplies::keys()
{
    QFETCH(bool, echo);
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(QByteArray, sent);
    QFETCH(QString, shown);

    Console console;
    console.setLocalEcho(echo);
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClicks(&console, typed);
    QTest::keyClick(&console, Qt::Key(key));
    QCOMPARE(spy.count(), int(!sent.isEmpty()));
    QCOMPARE(spy.value(0).value(0).toByteArray(), sent);
    QCOMPARE(console.toPlainText(), shown);
    QVERIFY(console.textCursor().atEnd());
}

void TestReplies::keepsAtMostHundredLines()
{
    Console console;
    for (int i = 0; i < 150; ++i)
        console.appendData("line " + QByteArray::number(i) + '\r');
    console.appendData("last");
    QCOMPARE(console.blockCount(), 100);
    QCOMPARE(console.document()->firstBlock().text(), QStringLiteral("line 51"));
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClick(&console, Qt::Key_Return); // the pane's last line, typed or not
    QCOMPARE(spy.value(0).value(0).toByteArray(), QByteArray("last\r"));
}

QTEST_MAIN(TestReplies)
#include "tst_replies.moc"
