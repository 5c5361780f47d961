// The formats, one row per case where the scenarios cannot reach the value: the panel's
// commands and replies, the port list's entries and detail lines, the simulated controller's
// cut into commands and the panel's options; and the settings dialog's port list: the named
// port first and selected, never listed twice, a typed path only on an entry without port
// data, and a record that only Apply changes.

#include "commandline.h"
#include "portentry.h"
#include "protocol.h"
#include "pseudoterminal.h"
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
    row("ma exponent", absoluteMove(100000.0), ">ma 1e+06");
    row("mr backward", relativeMove(0.25, false), ">mr -2.5");
    row("slider beyond int", sliderMove(std::numeric_limits<int>::max()), ">ma 21474836470");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    row("truncated",
        QStringLiteral("%1 %2 %3")
            .arg(truncateToInt(-250.7))
            .arg(truncateToInt(1e12))
            .arg(truncateToInt(nan)),
        "-250 2147483647 0");
    row("comma is no point", QString::number(readNumber("1234,5")), "0");

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
}

void TestWire::formats() const
{
    QFETCH(QString, got);
    QFETCH(QString, want);
    QCOMPARE(got, want);
}

void TestWire::portList()
{
    // A port named through a link (/dev/serial/by-id/...) shows the details of the device
    // it leads to, and is not listed a second time under its own name.
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
