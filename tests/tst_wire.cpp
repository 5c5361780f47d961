// The pure functions behind the wire and the texts, one row per case: the panel's command
// and reply formats, the port list's entries and detail lines, the simulated controller's
// side of the protocol, and both programs' command-line options.

#include "commandline.h"
#include "portentry.h"
#include "protocol.h"
#include "simulatoroptions.h"
#include "simulatorprotocol.h"

#include <QTest>

#include <limits>

using namespace Protocol;

namespace {

void row(const char *name, const QString &got, const QString &want)
{
    QTest::newRow(name) << got << want;
}

QString parsed(const QStringList &arguments)
{
    const CommandLineResult r = parseCommandLine(QStringList { "lumarvethon" } + arguments);
    return QStringLiteral("%1 %2 %3 %4")
        .arg(r.exitCode)
        .arg(r.firstPort, r.simulate ? r.firmware : QStringLiteral("-"))
        .arg(r.message.count('\n'));
}

QString taken(const QByteArray &input)
{
    QByteArray pending = input;
    const QList<QByteArray> commands = takeCommands(pending);
    return QString::fromLatin1(QByteArrayList(commands).join('|') + " rest " + pending);
}

QString simulatorOption(const char *name, const char *value)
{
    SimulatorOptions options;
    return setSimulatorOption(options, QLatin1String(name), QLatin1String(value)).isEmpty()
        ? QStringLiteral("ok")
        : QStringLiteral("rejected");
}

} // namespace

class TestWire : public QObject
{
    Q_OBJECT

private slots:
    void formats_data();
    void formats() const;
};

void TestWire::formats_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("want");
    QCoreApplication::setApplicationName(QStringLiteral("lumarvethon"));

    // Moves, in tenths of a micrometre, general notation with six significant digits.
    row("ma tenths", absoluteMove(1234.5), ">ma 12345");
    row("ma six digits", absoluteMove(12345.67), ">ma 123457");
    row("ma exponent", absoluteMove(100000.0), ">ma 1e+06");
    row("ma negative", absoluteMove(-250.0), ">ma -2500");
    row("mr forward", relativeMove(0.25, true), ">mr 2.5");
    row("mr backward", relativeMove(200.0, false), ">mr -2000");
    row("slider beyond int", sliderMove(std::numeric_limits<int>::max()), ">ma 21474836470");
    row("slider lower", sliderMove(-250), ">ma -2500");
    row("truncate", QString::number(truncateToInt(-250.7)), "-250");
    row("truncate huge", QString::number(truncateToInt(1e12)), "2147483647");
    row("truncate NaN", QString::number(truncateToInt(std::numeric_limits<double>::quiet_NaN())), "0");
    row("comma is no point", QString::number(readNumber("1234,5")), "0");
    row("blanks around", QString::number(readNumber(" -250.5 ")), "-250.5");

    // Grammars and travel by firmware version (0 none, 1 Fw126, 2 General).
    QString grammars;
    for (const char *v : { "1.06", "1.26", "3.02", "9.99", "A.00", "2.00", "1.07", "" })
        grammars += QString::number(int(grammarFor(v))) + QString::number(travelRangeFor(v)) + ' ';
    row("grammars", grammars, "215000 16500 26500 26500 26500 06500 06500 06500 ");
    row("version", versionFromLine("_Ver 312\r"), "3.12");
    row("version counted from the start", versionFromLine("xxVer106\r"), "1.06");
    row("version too short", versionFromLine("_Ver 1\r"), "");
    row("position general", positionText("_cp -250.0 um\r", Grammar::General), "-250.0");
    row("position 1.26", positionText("P 1234.5 um\r", Grammar::Fw126), "1234.5");
    row("position too short", positionText("P um\r", Grammar::Fw126), "");
    row("offset", offsetTextFromLine("_offset 2500\r"), "2500");
    row("offset after the first t", offsetTextFromLine("_t offset 7\r"), "offset 7");
    row("offset empty", offsetTextFromLine("offset \r"), "");
    QString shown;
    for (const char *line : { "ok\r", "_err\r", "_tg 1.0\r", "_Pos\r", "hi\r", "ok", "\nok\r" })
        shown += isPassThrough(line) ? '1' : '0';
    row("pass through", shown, "1100000");
    row("limit label", limitLabel(6249.95), "6249.95 \u00b5m");
    row("decode up to NUL", decodeLine(QByteArray("_cp 1\0x\r", 8)), "_cp 1");

    // Port entries and their detail lines.
    row("entry", portEntry("p", "d", "", "s", "l", 0x403, 0xA1).join('|'), "p|d|N/A|s|l|403|a1");
    row("entry unknown ids", portEntry("p", "", "m", "", "", 0, 1).join('|'), "p|N/A|m|N/A||N/A|1");
    row("entry of a path", portEntry(QStringLiteral("/dev/pts/7")).join('|'),
        "/dev/pts/7|N/A|N/A|N/A|/dev/pts/7|N/A|N/A");
    row("details", portInfoTexts({ "COM1", "d", "m", "s", "l", "403" }).join('|'),
        "Description: d|Manufacturer: m|Serial number: s|Location: l|Vendor Identifier: 403|"
        "Product Identifier: N/A");

    // The simulated controller's side.
    row("commands end at CR or the next >", taken("junk>ma 1>mr -2.5>stop\r>sta"),
        ">ma 1|>mr -2.5|>stop rest >sta");
    row("commands trimmed", taken("\n>cp \r\n>\r"), ">cp|> rest ");
    const QByteArray overlong = ">" + QByteArray(maxPendingCommand, 'x');
    row("overlong dropped", taken(overlong + "xx"), " rest ");
    row("overlong ended", taken(overlong + ">cp\r"), ">cp rest ");
    QString supported;
    for (const char *v : { "1.06", "1.26", "3.00", "9.99", "2.00", "1.07", "3.0", "abc" })
        supported += isSupportedFirmware(v) ? '1' : '0';
    row("supported firmware", supported, "11110000");
    row("replies", versionReply("3.02") + '|' + offsetReply(2500) + '|' + statusReply(false) + '|'
                       + statusReply(true) + '|' + positionReply("1.26", -12.34) + '|'
                       + positionReply("1.06", -0.04) + '|' + targetReachedReply(1000.0),
        "_Ver 302|_offset 2500|_status 1|_status 9|P -12.3 um|_cp 0.0 um|_tg 1000.0");
    row("limits", QStringLiteral("%1 %2 %3").arg(lowerLimit(2500)).arg(upperLimit("1.06", 2500)).arg(upperLimit("3.02", 0)),
        "-250 14750 6500");
    double tenths = 0;
    QString numbers;
    for (const char *text : { "12345.6", "-2500", "1e+06", "inf", "nan", "12,5", "" })
        numbers += parseTenths(text, &tenths) ? QString::number(tenths) + ' ' : QStringLiteral("x ");
    row("tenths", numbers, "12345.6 -2500 1e+06 x x x x ");
    row("noise 0", simulatorOption("noise", "0"), "rejected");
    row("speed inf", simulatorOption("speed", "inf"), "rejected");
    row("hangup", simulatorOption("hangup-after", "300"), "ok");

    // The panel's options: exit code (-1: run), port, firmware (-: no simulation), lines.
    row("nothing", parsed({}), "-1  - 0");
    row("port", parsed({ "--port", "/dev/ttyUSB0" }), "-1 /dev/ttyUSB0 - 0");
    row("simulate alone", parsed({ "--simulate" }), "-1  1.06 0");
    row("simulate 3.02", parsed({ "--simulate=3.02" }), "-1  3.02 0");
    row("unsupported version", parsed({ "--simulate=2.00" }), "2  - 1");
    row("version apart", parsed({ "--simulate", "1.26" }), "2  - 1");
    row("port and simulate", parsed({ "--port", "/dev/ttyS0", "--simulate" }), "2  - 1");
    row("blank port", parsed({ "--port= " }), "2  - 1");
    row("after --", parsed({ "--", "--simulate" }), "2  - 1");
    row("help", parsed({ "--help" }).left(2), "0 ");
}

void TestWire::formats() const
{
    QFETCH(QString, got);
    QFETCH(QString, want);
    QCOMPARE(got, want);
}

QTEST_GUILESS_MAIN(TestWire)
#include "tst_wire.moc"
