// The formats, one row per case the scenarios cannot reach: commands and replies, port entries,
// the simulator's cut into commands, options, positions; and the settings dialog's port list.

#include "commandline.h"
#include "csvformat.h"
#include "motionwatch.h"
#include "portentry.h"
#include "portrecovery.h"
#include "positionscsv.h"
#include "protocol.h"
#include "pseudoterminal.h"
#include "request.h"
#include "rfc4180.h"
#include "scriptserver.h"
#include "settingsdialog.h"
#include "simulatorprotocol.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTemporaryDir>
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

// The positions a CSV file gives, or the reason it is refused.
QString imported(const QByteArray &csv)
{
    QList<NamedPosition> positions;
    QString error;
    if (!parsePositionsCsv(csv, &positions, &error))
        return error;
    QStringList read;
    for (const NamedPosition &position : positions)
        read.append(position.name + '=' + QString::number(position.micrometres));
    return read.join('|');
}

// The port a reconnection opens for the lost one: its name, "-" for none, "foreign" if another's.
QString reopened(PortRecord lost, const QString &target, const QList<PortRecord> &listed,
                 bool newFile = false)
{
    lost.node = { 1, 2, 3 };
    const ReopenChoice choice = portToReopen(lost, target, { 1, 2, newFile ? 4 : 3 }, listed);
    return choice.foreign ? QStringLiteral("foreign") : choice.name.isEmpty() ? "-" : choice.name;
}

int listings = 0;

// 1 if the stage moves after the events: "go" (a move went out), "clear", or a position.
char moving(const char *events)
{
    MotionWatch watch;
    for (const QByteArray &event : QByteArray(events).split(' ')) {
        if (event == "go")
            watch.motionStarted();
        else if (event == "clear")
            watch.clear();
        else if (!event.isEmpty())
            watch.position(event.toDouble());
    }
    return watch.moving() ? '1' : '0';
}

QString taken(const QByteArray &input)
{
    QByteArray pending = input;
    const QList<QByteArray> commands = takeCommands(pending);
    return QString::fromLatin1(QByteArrayList(commands).join('|') + " rest " + pending);
}

} // namespace

class TestWire : public QObject
{
    Q_OBJECT

private slots:
    void formats_data();
    void formats() const;
    void portList();
};

void TestWire::formats_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("want");
    QCoreApplication::setApplicationName(QStringLiteral("lumarvethon"));

    // Moves, in tenths of a micrometre, general notation with six significant digits.
    row("ma six digits", absoluteMove(12345.67), ">ma 123457");
    // Never an exponent, on the wire or in a script's reply.
    row("ma no exponent", absoluteMove(100000.0) + ' ' + relativeMove(0.000001, true),
        ">ma 1000000 >mr 0.00001");
    row("reply numbers",
        QString::fromLatin1(formatNumber(1e20) + ' ' + formatNumber(-1.5e-7) + ' '
                            + formatNumber(-0.0) + ' ' + formatNumber(12345.678901234)),
        "100000000000000000000 -0.00000015 0 12345.6789");
    row("mr backward", relativeMove(0.25, false), ">mr -2.5");
    row("slider beyond int", sliderMove(std::numeric_limits<int>::max()), ">ma 21474836470");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    row("truncated",
        QStringLiteral("%1 %2 %3")
            .arg(truncateToInt(-250.7))
            .arg(truncateToInt(1e12))
            .arg(truncateToInt(nan)),
        "-250 2147483647 0");
    row("comma is no point", QString::number(numberOrZero("1234,5")), "0");

    // Grammars and travel by firmware version (0 none, 1 Fw126, 2 General).
    QString grammars;
    for (const char *v : { "1.06", "1.26", "3.02", "9.99", "A.00", "2.00", "1.07", "" })
        grammars += QString::number(int(grammarFor(v))) + QString::number(travelRangeFor(v)) + ' ';
    row("grammars", grammars, "215000 16500 26500 26500 26500 06500 06500 06500 ");
    row("version counted from the start", versionFromLine("xxVer106\r"), "1.06");
    row("offset after the first t", offsetTextFromLine("_t offset 7\r"), "offset 7");
    row("limit label", limitLabel(6249.95), "6249.95 \u00b5m");

    // Port entries and their detail lines.
    row("entry", portEntry("p", "d", "", "s", "l", 0x403, 0xA1).join('|'), "p|d|N/A|s|l|403|a1");
    row("entry unknown ids", portEntry("p", "", "m", "", "", 0, 1).join('|'), "p|N/A|m|N/A||N/A|1");
    row("details", portInfoTexts({ "COM1", "d", "m", "s", "l", "403" }).join('|'),
        "Description: d|Manufacturer: m|Serial number: s|Location: l|Vendor Identifier: 403|"
        "Product Identifier: N/A");

    // How the simulated controller cuts what it receives into commands.
    row("commands end at CR or the next >", taken("junk>ma 1>mr -2.5>stop\r>sta"),
        ">ma 1|>mr -2.5|>stop rest >sta");
    const QByteArray overlong = ">" + QByteArray(maxPendingCommand, 'x');
    row("overlong dropped", taken(overlong + "xx"), " rest ");
    row("overlong ended", taken(overlong + ">cp\r"), ">cp rest ");

    // The panel's options: exit code (-1: run), port, firmware (-: no simulation), lines.
    row("port", parsed({ "--port", "/dev/ttyUSB0" }), "-1 /dev/ttyUSB0 - 0");
    row("simulate alone", parsed({ "--simulate" }), "-1  1.06 0");
    row("version apart", parsed({ "--simulate", "1.26" }), "2  - 1");
    row("blank port", parsed({ "--port= " }), "2  - 1");
    row("after --", parseCommandLine({ "lumarvethon", "--", "--simulate" }).message,
        "lumarvethon: unexpected argument \"--simulate\"\n");
    QString names;
    for (const QString &name :
         { QStringLiteral("x-1_Y"), QString(32, 'n'), QString(33, 'n'), QStringLiteral("a.b"),
           QStringLiteral("a b"), QString(), QStringLiteral("\u00e4") })
        names += QString::number(parseCommandLine({ "lumarvethon", "--name", name }).exitCode);
    row("instance names", names, "-1-122222");
    const CommandLineResult named
        = parseCommandLine({ "lumarvethon", "--listen", "--name=x", "--simulate" });
    row("missing name", parseCommandLine({ "lumarvethon", "--name", "--", "--listen" }).message,
        "lumarvethon: Missing value after '--name'\n");
    row("missing record", parseCommandLine({ "lumarvethon", "--record", "--name=a" }).message,
        "lumarvethon: Missing value after '--record'\n");
    // The X11 platform takes every "--name NAME" for itself; the last one is the panel's.
    row("name restored",
        withNameRestored({ "l", "--listen", "--", "x" },
                         { "l", "--name", "a", "--listen", "--name", "b", "--", "x" })
            .join(' '),
        "l --listen --name=b -- x");
    row("name kept",
        withNameRestored({ "l", "--name=c" }, { "l", "--name", "a", "--name=c" }).join(' '),
        "l --name=c");
    row("named default socket", named.listenPath + ' ' + named.instanceName,
        ScriptServer::defaultPath().replace("lumarvethon.sock", "lumarvethon-x.sock") + " x");

    // Named positions: names, their encoding in script lines, and the CSV files.
    QString valid;
    for (const char *name : { "Spot 1", "a-b_c", "", " a", "a ", "a,b", "a\"b", "\u00b5m" })
        valid += isValidPositionName(QString::fromUtf8(name)) ? '1' : '0';
    row("position names", valid + QString(isValidPositionName(QString(65, 'x')) ? '1' : '0'),
        "110000000");
    QString decoded;
    row("name encoded",
        encodeName("a b%;=-_") + ' '
            + (decodeName("a%20b%25%3b%3D", &decoded) ? decoded : QStringLiteral("refused")),
        "a%20b%25%3B%3D-_ a b%;=");
    const QByteArray header = "name,position_um\r\n";
    row("csv written", positionsCsv({ { "a b", 1.5 }, { "c", -0.0 } }),
        "name,position_um\r\na b,1.5\r\nc,0\r\n");
    row("csv read", imported(header + "\"x \"\"\",2\n\"y\",1e3\r\nz,-0.25"),
        "row 2: \"x \"\" is no valid name");
    row("csv quoted", imported(header + "\"a b\",2\nc,\"1e3\"\r\nd,-0.25"), "a b=2|c=1000|d=-0.25");
    row("csv header", imported("name;position_um\na,1\n"),
        "row 1: the header is not \"name,position_um\"");
    row("csv fields", imported(header + "a,1\nb\n"), "row 3: 1 fields instead of 2");
    row("csv twice", imported(header + "a,1\nb,2\na,3\n"), "row 4: \"a\" appears twice");
    row("csv comma", imported(header + "a,\"1,5\"\n"),
        "row 2: \"1,5\" is no position in micrometres");
    row("csv not finite", imported(header + "a,1\nb,nan\n"),
        "row 3: \"nan\" is no position in micrometres");
    row("csv too far", imported(header + "a,1e7\n"),
        "row 2: \"1e7\" is no position in micrometres");
    row("csv open quote", imported(header + "a,1\n\"b,2\n"), "row 3: a quoted field is not closed");
    row("csv after quote", imported(header + "\"a\"x,1\n"), "row 2: text after a closing quote");
    row("csv empty", imported(header), "");

    // Received lines in the record: escaped, then a CSV field.
    QByteArray fields;
    for (const QByteArray &line : { QByteArray("a\\xb"), QByteArray("\t\x01\x7f\0\xe9\xff", 6),
                                    QByteArray("a,b"), QByteArray("say \"x\"") })
        fields += Rfc4180::field(CsvFormat::escapedLine(line)) + ' ';
    row("record fields", fields,
        "a\\\\xb \\x09\\x01\\x7F\\x00\\xE9\\xFF \"a,b\" \"say \"\"x\"\"\" ");

    // At rest once the last three positions lie within 0.1 um.
    QString motion;
    for (const char *events : { "", "go 5 5.05 5.1", "go 5 5.2 5.25 5.25", "go 5 clear", "go",
                                "go 5 5", "go 5 5.2 5.25", "5 5 5 5.5" })
        motion += moving(events);
    row("motion", motion, "00001111");

    // The port a reconnection opens, and the listing it reads only when the devices change.
    const PortRecord usb0 { "ttyUSB0", "/dev/ttyUSB0", "A1B2", 0x0403, 0x6001, {} };
    const PortRecord usb1 { "ttyUSB1", "/dev/ttyUSB1", "A1B2", 0x0403, 0x6001, {} };
    const PortRecord other { "ttyUSB0", "/dev/ttyUSB0", "Z9", 0x0403, 0x6001, {} };
    const PortRecord byId { "/dev/serial/by-id/stage", QString(), "A1B2", 0x0403, 0x6001, {} };
    const PortRecord pts { "/dev/pts/4", QString(), QString(), 0, 0, {} };
    const PortRecord ttyS0 { "ttyS0", "/dev/ttyS0", "", 0, 0, {} };
    const QString dev0 = "/dev/ttyUSB0";
    row("unlisted terminal", reopened(pts, "/dev/pts/4", {}), "/dev/pts/4");
    row("terminal number taken again", reopened(pts, "/dev/pts/4", {}, true), "foreign");
    row("built-in port's file made again", reopened(ttyS0, "/dev/ttyS0", {}, true), "foreign");
    row("back under its name, new file", reopened(usb0, dev0, { usb0 }, true), "ttyUSB0");
    row("back under its name", reopened(usb0, dev0, { usb0 }), "ttyUSB0");
    row("back under another name", reopened(usb0, "", { usb1 }), "/dev/ttyUSB1");
    row("not back yet", reopened(usb0, "", {}), "-");
    row("another device took the name", reopened(usb0, dev0, { other }), "foreign");
    row("unlisted device under the name", reopened(usb0, dev0, {}), "foreign");
    row("no identity: the name", reopened(ttyS0, "/dev/ttyS0", { other }), "ttyS0");
    row("no identity, one there now",
        reopened(ttyS0, "/dev/ttyS0", { { "ttyS0", "/dev/ttyS0", "Z9", 1, 2, {} } }), "foreign");
    row("link to the same device", reopened(byId, dev0, { usb0 }), "/dev/serial/by-id/stage");
    row("link, device elsewhere", reopened(byId, "/dev/ttyUSB7", { usb1 }), "/dev/ttyUSB1");
    row("link to another device", reopened(byId, dev0, { other }), "foreign");
    PortListing listing; // an empty list is no reason to list again
    for (const qint64 stamp : { 1, 1, 1, 2, 2 })
        listing.ports(stamp, [] { return ++listings, QList<PortRecord>(); });
    row("listed when the devices change", QString::number(listings), "2");
}

void TestWire::formats() const
{
    QFETCH(QString, got);
    QFETCH(QString, want);
    QCOMPARE(got, want);
}

void TestWire::portList()
{
    // A port named through a link shows its device's details, not listed again under its name.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("by-id"));
    PseudoTerminal terminal;
    QVERIFY(terminal.open() && QFile::link(terminal.devicePath(), link));
    QCOMPARE(SettingsDialog(nullptr, link).findChild<QLabel *>("locationLabel")->text(),
             "Location: " + terminal.devicePath());
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        QVERIFY(QFile::remove(link) && QFile::link(port.systemLocation(), link));
        const SettingsDialog dialog(nullptr, link);
        QCOMPARE(dialog.findChild<QComboBox *>("serialPortInfoListBox")->count(),
                 QSerialPortInfo::availablePorts().size());
        QCOMPARE(dialog.findChild<QLabel *>("locationLabel")->text(),
                 "Location: " + port.systemLocation());
    }

    const QString named = QStringLiteral("/dev/lumarvethon-named");
    SettingsDialog dialog(nullptr, named);
    auto *list = dialog.findChild<QComboBox *>(QStringLiteral("serialPortInfoListBox"));
    auto *location = dialog.findChild<QLabel *>(QStringLiteral("locationLabel"));
    QCOMPARE(list->currentText(), named);
    QVERIFY(!list->isEditable());
    QCOMPARE(location->text(), "Location: " + named);

    list->addItem(QStringLiteral("/dev/other"), portEntry(QStringLiteral("/dev/other")));
    list->addItem(QStringLiteral("Custom"));
    dialog.show();
    list->setCurrentIndex(list->count() - 2);
    QVERIFY(!list->isEditable());
    QCOMPARE(location->text(), QStringLiteral("Location: /dev/other"));
    QCOMPARE(dialog.currentSettings().portName, named);
    list->setCurrentIndex(list->count() - 1);
    QVERIFY(list->isEditable());
    QVERIFY(list->currentText().isEmpty());
    list->setEditText(QStringLiteral("/dev/typed"));
    dialog.findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.currentSettings().portName, QStringLiteral("/dev/typed"));
}

QTEST_MAIN(TestWire)
#include "tst_wire.moc"
