// The simulated controller's pure pieces: how received bytes are cut into commands, the exact
// text of each reply (checked against the way the panel cuts it), the travel limits and the
// options shared by the simulator's and the panel's command lines.

#include "serialline.h"
#include "simulatoroptions.h"
#include "simulatorprotocol.h"

#include <QTest>

class TestSimulatorProtocol : public QObject
{
    Q_OBJECT

private slots:
    void takeCommands_data();
    void takeCommands();
    void takeCommandsBoundsGarbage();
    void positionReply_data();
    void positionReply();
    void versionReply_data();
    void versionReply();
    void limits_data();
    void limits();
    void supportedFirmware_data();
    void supportedFirmware();
    void parseTenths_data();
    void parseTenths();
    void options_data();
    void options();
};

void TestSimulatorProtocol::takeCommands_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<QByteArray>("rest");

    using L = QList<QByteArray>;
    QTest::newRow("one with CR") << QByteArray(">cp\r") << L { ">cp" } << QByteArray();
    QTest::newRow("move ended by next command")
        << QByteArray(">ma 12345>cp\r") << L { ">ma 12345", ">cp" } << QByteArray();
    QTest::newRow("moves in a row")
        << QByteArray(">ma 1>mr -2.5>stop\r") << L { ">ma 1", ">mr -2.5", ">stop" } << QByteArray();
    QTest::newRow("move still open") << QByteArray(">ma 100") << L {} << QByteArray(">ma 100");
    QTest::newRow("second unfinished")
        << QByteArray(">inform\r>sta") << L { ">inform" } << QByteArray(">sta");
    QTest::newRow("bytes before first >") << QByteArray("junk>cp\r") << L { ">cp" } << QByteArray();
    QTest::newRow("line feeds are ignored")
        << QByteArray("\n>cp\r\n>status\r\n") << L { ">cp", ">status" } << QByteArray();
    QTest::newRow("no command at all") << QByteArray("hello\r\r") << L {} << QByteArray();
    QTest::newRow("white space trimmed") << QByteArray(">cp \r") << L { ">cp" } << QByteArray();
    QTest::newRow("bare >") << QByteArray(">\r") << L { ">" } << QByteArray();
    QTest::newRow("empty") << QByteArray() << L {} << QByteArray();
}

void TestSimulatorProtocol::takeCommands()
{
    QFETCH(QByteArray, input);
    QFETCH(QList<QByteArray>, commands);
    QFETCH(QByteArray, rest);

    QByteArray pending = input;
    QCOMPARE(::takeCommands(pending), commands);
    QCOMPARE(pending, rest);

    // Byte by byte, as a slow line delivers them, the same commands come out.
    QByteArray trickle;
    QList<QByteArray> collected;
    for (char byte : input) {
        trickle.append(byte);
        collected += ::takeCommands(trickle);
    }
    QCOMPARE(collected, commands);
    QCOMPARE(trickle, rest);
}

void TestSimulatorProtocol::takeCommandsBoundsGarbage()
{
    QByteArray pending = ">" + QByteArray(maxPendingCommand + 10, 'x');
    QVERIFY(::takeCommands(pending).isEmpty());
    QVERIFY(pending.isEmpty());

    // A complete command beyond the bound is dropped too; the one after it is kept.
    pending = ">" + QByteArray(maxPendingCommand, 'x') + ">cp\r";
    QCOMPARE(::takeCommands(pending), QList<QByteArray> { ">cp" });

    // Up to the bound a command waits for its end.
    pending = ">ma " + QByteArray(maxPendingCommand - 4, '1');
    QVERIFY(::takeCommands(pending).isEmpty());
    QCOMPARE(pending.size(), maxPendingCommand);
}

void TestSimulatorProtocol::positionReply_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<double>("um");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<double>("readBack");

    QTest::newRow("1.06") << "1.06" << 1234.5 << QByteArray("_cp 1234.5 um") << 1234.5;
    QTest::newRow("3.02") << "3.02" << 6250.0 << QByteArray("_cp 6250.0 um") << 6250.0;
    QTest::newRow("negative") << "1.06" << -250.0 << QByteArray("_cp -250.0 um") << -250.0;
    QTest::newRow("1.26") << "1.26" << 1234.5 << QByteArray("P 1234.5 um") << 1234.5;
    QTest::newRow("1.26 negative") << "1.26" << -12.34 << QByteArray("P -12.3 um") << -12.3;
    QTest::newRow("rounded") << "1.06" << 99.96 << QByteArray("_cp 100.0 um") << 100.0;
    QTest::newRow("no minus zero") << "1.06" << -0.04 << QByteArray("_cp 0.0 um") << 0.0;
}

void TestSimulatorProtocol::positionReply()
{
    QFETCH(QString, firmware);
    QFETCH(double, um);
    QFETCH(QByteArray, reply);
    QFETCH(double, readBack);

    QCOMPARE(::positionReply(firmware, um), reply);
    bool ok = false;
    QCOMPARE(cutPosition(reply + '\r', firmware).toDouble(&ok), readBack);
    QVERIFY(ok);
}

void TestSimulatorProtocol::versionReply_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("1.06") << "1.06" << QByteArray("_Ver 106");
    QTest::newRow("1.26") << "1.26" << QByteArray("_Ver 126");
    QTest::newRow("3.02") << "3.02" << QByteArray("_Ver 302");
}

void TestSimulatorProtocol::versionReply()
{
    QFETCH(QString, firmware);
    QFETCH(QByteArray, reply);

    const QByteArray line = ::versionReply(firmware);
    QCOMPARE(line, reply);
    // The panel reads the version from bytes 5, 6 and 7.
    const QString read = QString(QChar(line.at(5))) + '.' + QChar(line.at(6)) + QChar(line.at(7));
    QCOMPARE(read, firmware);
    QCOMPARE(offsetReply(2500), QByteArray("_offset 2500"));
    QCOMPARE(statusReply(false).at(8), '1');
    QCOMPARE(statusReply(true).at(8), '9');
    QCOMPARE(targetReachedReply(-250.0), QByteArray("_tg -250.0"));
    QCOMPARE(errorReply(">foo"), QByteArray("_err >foo"));
}

void TestSimulatorProtocol::limits_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("offset");
    QTest::addColumn<double>("travel");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");

    QTest::newRow("1.06") << "1.06" << 2500 << 15000.0 << -250.0 << 14750.0;
    QTest::newRow("1.26") << "1.26" << 2500 << 6500.0 << -250.0 << 6250.0;
    QTest::newRow("3.02") << "3.02" << 2500 << 6500.0 << -250.0 << 6250.0;
    QTest::newRow("no offset") << "1.06" << 0 << 15000.0 << 0.0 << 15000.0;
    QTest::newRow("other offset") << "3.10" << 1000 << 6500.0 << -100.0 << 6400.0;
}

void TestSimulatorProtocol::limits()
{
    QFETCH(QString, firmware);
    QFETCH(int, offset);
    QFETCH(double, travel);
    QFETCH(double, lower);
    QFETCH(double, upper);

    QCOMPARE(travelRange(firmware), travel);
    QCOMPARE(lowerLimit(offset), lower);
    QCOMPARE(upperLimit(firmware, offset), upper);
}

void TestSimulatorProtocol::supportedFirmware_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("supported");

    QTest::newRow("1.06") << "1.06" << true;
    QTest::newRow("1.26") << "1.26" << true;
    QTest::newRow("3.00") << "3.00" << true;
    QTest::newRow("3.02") << "3.02" << true;
    QTest::newRow("9.99") << "9.99" << true;
    QTest::newRow("2.00") << "2.00" << false;
    QTest::newRow("1.07") << "1.07" << false;
    QTest::newRow("3.0") << "3.0" << false;
    QTest::newRow("3.002") << "3.002" << false;
    QTest::newRow("letters") << "abc" << false;
    QTest::newRow("empty") << "" << false;
}

void TestSimulatorProtocol::supportedFirmware()
{
    QFETCH(QString, version);
    QFETCH(bool, supported);
    QCOMPARE(isSupportedFirmware(version), supported);
}

void TestSimulatorProtocol::parseTenths_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");

    QTest::newRow("integer") << QByteArray("12345") << true << 12345.0;
    QTest::newRow("decimal") << QByteArray("12345.6") << true << 12345.6;
    QTest::newRow("negative") << QByteArray("-2500") << true << -2500.0;
    QTest::newRow("exponent") << QByteArray("1e+06") << true << 1e6;
    QTest::newRow("empty") << QByteArray() << false << 0.0;
    QTest::newRow("word") << QByteArray("abc") << false << 0.0;
    QTest::newRow("comma") << QByteArray("12,5") << false << 0.0;
    QTest::newRow("infinity") << QByteArray("inf") << false << 0.0;
    QTest::newRow("nan") << QByteArray("nan") << false << 0.0;
}

void TestSimulatorProtocol::parseTenths()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(double, value);

    double tenths = 0.0;
    QCOMPARE(::parseTenths(text, &tenths), ok);
    if (ok)
        QCOMPARE(tenths, value);
}

void TestSimulatorProtocol::options_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("ok");

    QTest::newRow("firmware") << "firmware"
                              << "1.26" << true;
    QTest::newRow("bad firmware") << "firmware"
                                  << "2.00" << false;
    QTest::newRow("inform delay") << "inform-delay"
                                  << "200" << true;
    QTest::newRow("negative delay") << "inform-delay"
                                    << "-1" << false;
    QTest::newRow("delay no number") << "inform-delay"
                                     << "soon" << false;
    QTest::newRow("hangup") << "hangup-after"
                            << "1000" << true;
    QTest::newRow("noise") << "noise"
                           << "50" << true;
    QTest::newRow("noise zero") << "noise"
                                << "0" << false;
    QTest::newRow("speed") << "speed"
                           << "2500.5" << true;
    QTest::newRow("speed zero") << "speed"
                                << "0" << false;
    QTest::newRow("speed inf") << "speed"
                               << "inf" << false;
    QTest::newRow("calibration") << "calibration"
                                 << "100" << true;
    QTest::newRow("silent") << "silent"
                            << "" << true;
    QTest::newRow("crlf") << "crlf"
                          << "" << true;
    QTest::newRow("unknown") << "colour"
                             << "red" << false;
}

void TestSimulatorProtocol::options()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(bool, ok);

    SimulatorOptions options;
    const SimulatorOptions defaults;
    const QString message = setSimulatorOption(options, name, value);
    QCOMPARE(message.isEmpty(), ok);
    if (!ok) {
        QVERIFY2(message.contains(name), qPrintable(message));
        // A rejected value leaves the options as they were.
        QCOMPARE(options.firmware, defaults.firmware);
        QCOMPARE(options.informDelayMs, defaults.informDelayMs);
        QCOMPARE(options.speedUmPerS, defaults.speedUmPerS);
        QCOMPARE(options.noiseIntervalMs, defaults.noiseIntervalMs);
        return;
    }
    if (name == QLatin1String("firmware"))
        QCOMPARE(options.firmware, value);
    else if (name == QLatin1String("inform-delay"))
        QCOMPARE(options.informDelayMs, value.toInt());
    else if (name == QLatin1String("hangup-after"))
        QCOMPARE(options.hangupAfterMs, value.toInt());
    else if (name == QLatin1String("noise"))
        QCOMPARE(options.noiseIntervalMs, value.toInt());
    else if (name == QLatin1String("speed"))
        QCOMPARE(options.speedUmPerS, value.toDouble());
    else if (name == QLatin1String("calibration"))
        QCOMPARE(options.calibrationMs, value.toInt());
    else if (name == QLatin1String("silent"))
        QVERIFY(options.silent);
    else if (name == QLatin1String("crlf"))
        QVERIFY(options.crlf);
}

QTEST_GUILESS_MAIN(TestSimulatorProtocol)
#include "tst_simulatorprotocol.moc"
