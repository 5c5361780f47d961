// Checks the formatting of the port list: the seven strings stored with each port's entry and
// the six detail lines shown for them.

#include "portentry.h"

#include <QSerialPortInfo>
#include <QTest>

class PortEntryTest : public QObject
{
    Q_OBJECT

private slots:
    void fromProperties_data();
    void fromProperties();
    void fromDevicePath_data();
    void fromDevicePath();
    void fromEmptyPortInfo();
    void fromSystemPorts();
    void detailTexts_data();
    void detailTexts();
};

void PortEntryTest::fromProperties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QString>("serialNumber");
    QTest::addColumn<QString>("location");
    QTest::addColumn<int>("vendor");
    QTest::addColumn<int>("product");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("complete") << "ttyUSB0"
                              << "FT232R USB UART"
                              << "FTDI"
                              << "A50285BI"
                              << "/dev/ttyUSB0" << 0x403 << 0x6001
                              << QStringList { "ttyUSB0",  "FT232R USB UART", "FTDI",
                                               "A50285BI", "/dev/ttyUSB0",    "403",
                                               "6001" };
    QTest::newRow("lower-case hex")
        << "COM3"
        << "Stage"
        << "Maker"
        << "1"
        << "\\\\.\\COM3" << 0x403 << 0xA1
        << QStringList { "COM3", "Stage", "Maker", "1", "\\\\.\\COM3", "403", "a1" };
    QTest::newRow("no leading zeros")
        << "p"
        << "d"
        << "m"
        << "s"
        << "l" << 0x0001 << 0x00AB << QStringList { "p", "d", "m", "s", "l", "1", "ab" };
    QTest::newRow("largest identifiers")
        << "p"
        << "d"
        << "m"
        << "s"
        << "l" << 0xFFFF << 0xABCD << QStringList { "p", "d", "m", "s", "l", "ffff", "abcd" };
    QTest::newRow("vendor unknown")
        << "p"
        << "d"
        << "m"
        << "s"
        << "l" << 0 << 0x10 << QStringList { "p", "d", "m", "s", "l", "N/A", "10" };
    QTest::newRow("product unknown")
        << "p"
        << "d"
        << "m"
        << "s"
        << "l" << 0x10 << 0 << QStringList { "p", "d", "m", "s", "l", "10", "N/A" };
    QTest::newRow("texts missing")
        << "ttyS0"
        << ""
        << ""
        << ""
        << "/dev/ttyS0" << 0 << 0
        << QStringList { "ttyS0", "N/A", "N/A", "N/A", "/dev/ttyS0", "N/A", "N/A" };
    QTest::newRow("only description missing")
        << "p"
        << ""
        << "m"
        << "s"
        << "l" << 1 << 2 << QStringList { "p", "N/A", "m", "s", "l", "1", "2" };
    QTest::newRow("only manufacturer missing")
        << "p"
        << "d"
        << ""
        << "s"
        << "l" << 1 << 2 << QStringList { "p", "d", "N/A", "s", "l", "1", "2" };
    QTest::newRow("only serial number missing")
        << "p"
        << "d"
        << "m"
        << ""
        << "l" << 1 << 2 << QStringList { "p", "d", "m", "N/A", "l", "1", "2" };
    QTest::newRow("empty name and location kept")
        << ""
        << "d"
        << "m"
        << "s"
        << "" << 1 << 2 << QStringList { "", "d", "m", "s", "", "1", "2" };
    QTest::newRow("everything missing")
        << ""
        << ""
        << ""
        << ""
        << "" << 0 << 0 << QStringList { "", "N/A", "N/A", "N/A", "", "N/A", "N/A" };
}

void PortEntryTest::fromProperties()
{
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(QString, manufacturer);
    QFETCH(QString, serialNumber);
    QFETCH(QString, location);
    QFETCH(int, vendor);
    QFETCH(int, product);
    QFETCH(QStringList, expected);

    const QStringList entry
        = portEntry(name, description, manufacturer, serialNumber, location,
                    static_cast<quint16>(vendor), static_cast<quint16>(product));
    QCOMPARE(entry.size(), int(PortEntryFieldCount));
    QCOMPARE(entry, expected);
}

void PortEntryTest::fromDevicePath_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("pseudo-terminal") << "/dev/pts/7";
    QTest::newRow("windows port") << "COM12";
    QTest::newRow("path with blanks") << "/tmp/my stage/tty";
}

void PortEntryTest::fromDevicePath()
{
    QFETCH(QString, path);

    const QStringList expected { path, "N/A", "N/A", "N/A", path, "N/A", "N/A" };
    QCOMPARE(portEntry(path), expected);
}

void PortEntryTest::fromEmptyPortInfo()
{
    const QStringList expected { "", "N/A", "N/A", "N/A", "", "N/A", "N/A" };
    QCOMPARE(portEntry(QSerialPortInfo()), expected);
}

void PortEntryTest::fromSystemPorts()
{
    // Whatever ports this machine has, each entry follows the rules field by field.
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        const QStringList entry = portEntry(info);
        QCOMPARE(entry.size(), int(PortEntryFieldCount));
        QCOMPARE(entry.at(PortNameField), info.portName());
        QCOMPARE(entry.at(LocationField), info.systemLocation());
        QCOMPARE(entry.at(DescriptionField),
                 info.description().isEmpty() ? QString("N/A") : info.description());
        QCOMPARE(entry.at(VendorIdField),
                 info.vendorIdentifier() == 0 ? QString("N/A")
                                              : QString::number(info.vendorIdentifier(), 16));
        QCOMPARE(entry.at(ProductIdField),
                 info.productIdentifier() == 0 ? QString("N/A")
                                               : QString::number(info.productIdentifier(), 16));
    }
}

void PortEntryTest::detailTexts_data()
{
    QTest::addColumn<QStringList>("entry");
    QTest::addColumn<QStringList>("expected");

    const QStringList allMissing { "Description: N/A",       "Manufacturer: N/A",
                                   "Serial number: N/A",     "Location: N/A",
                                   "Vendor Identifier: N/A", "Product Identifier: N/A" };

    QTest::newRow("seven elements")
        << QStringList { "ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI", "/dev/ttyUSB0", "403",
                         "a1" }
        << QStringList { "Description: FT232R USB UART", "Manufacturer: FTDI",
                         "Serial number: A50285BI",      "Location: /dev/ttyUSB0",
                         "Vendor Identifier: 403",       "Product Identifier: a1" };
    QTest::newRow("stored N/A") << QStringList {
        "", "N/A", "N/A", "N/A", "", "N/A", "N/A"
    } << QStringList { "Description: N/A", "Manufacturer: N/A",      "Serial number: N/A",
                       "Location: ",       "Vendor Identifier: N/A", "Product Identifier: N/A" };
    QTest::newRow("no elements") << QStringList() << allMissing;
    QTest::newRow("name only") << QStringList { "COM1" } << allMissing;
    QTest::newRow("two elements") << QStringList {
        "COM1", "d"
    } << QStringList { "Description: d", "Manufacturer: N/A",      "Serial number: N/A",
                       "Location: N/A",  "Vendor Identifier: N/A", "Product Identifier: N/A" };
    QTest::newRow("four elements")
        << QStringList { "COM1", "d", "m", "s" }
        << QStringList { "Description: d", "Manufacturer: m",        "Serial number: s",
                         "Location: N/A",  "Vendor Identifier: N/A", "Product Identifier: N/A" };
    QTest::newRow("five elements")
        << QStringList { "COM1", "d", "m", "s", "l" }
        << QStringList { "Description: d", "Manufacturer: m",        "Serial number: s",
                         "Location: l",    "Vendor Identifier: N/A", "Product Identifier: N/A" };
    QTest::newRow("six elements") << QStringList {
        "COM1", "d", "m", "s", "l", "403"
    } << QStringList { "Description: d", "Manufacturer: m",        "Serial number: s",
                       "Location: l",    "Vendor Identifier: 403", "Product Identifier: N/A" };
    QTest::newRow("extra elements ignored")
        << QStringList { "COM1", "d", "m", "s", "l", "1", "2", "extra" }
        << QStringList { "Description: d", "Manufacturer: m",      "Serial number: s",
                         "Location: l",    "Vendor Identifier: 1", "Product Identifier: 2" };
    QTest::newRow("percent signs kept")
        << QStringList { "COM1", "100% %1", "%2", "s", "l", "1", "2" }
        << QStringList { "Description: 100% %1", "Manufacturer: %2",     "Serial number: s",
                         "Location: l",          "Vendor Identifier: 1", "Product Identifier: 2" };
}

void PortEntryTest::detailTexts()
{
    QFETCH(QStringList, entry);
    QFETCH(QStringList, expected);

    QCOMPARE(portInfoTexts(entry), expected);
}

QTEST_GUILESS_MAIN(PortEntryTest)

#include "tst_portentry.moc"
