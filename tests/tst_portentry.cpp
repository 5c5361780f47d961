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
    void fromPathOrNothing();
    void detailTexts_data();
    void detailTexts();
};

void PortEntryTest::fromProperties_data()
{
    // The five texts are name, description, manufacturer, serial number and location.
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("vendor");
    QTest::addColumn<int>("product");
    QTest::addColumn<QStringList>("expected");
    const auto row = [](const char *tag, const QStringList &texts, int vendor, int product,
                        const QStringList &expected) {
        QTest::newRow(tag) << texts << vendor << product << expected;
    };
    const QStringList usb { "ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI", "/dev/ttyUSB0" };
    const QStringList p { "p", "d", "m", "s", "l" };

    row("complete", usb, 0x403, 0x6001, usb + QStringList { "403", "6001" });
    row("lower-case hex", p, 0x403, 0xA1, p + QStringList { "403", "a1" });
    row("no leading zeros", p, 0x0001, 0xFFFF, p + QStringList { "1", "ffff" });
    row("vendor unknown", p, 0, 0x10, p + QStringList { "N/A", "10" });
    row("product unknown", p, 0x10, 0, p + QStringList { "10", "N/A" });
    row("description missing", { "p", "", "m", "s", "l" }, 1, 2,
        { "p", "N/A", "m", "s", "l", "1", "2" });
    row("manufacturer missing", { "p", "d", "", "s", "l" }, 1, 2,
        { "p", "d", "N/A", "s", "l", "1", "2" });
    row("serial number missing", { "p", "d", "m", "", "l" }, 1, 2,
        { "p", "d", "m", "N/A", "l", "1", "2" });
    row("empty name and location kept", { "", "d", "m", "s", "" }, 1, 2,
        { "", "d", "m", "s", "", "1", "2" });
}

void PortEntryTest::fromProperties()
{
    QFETCH(QStringList, texts);
    QFETCH(int, vendor);
    QFETCH(int, product);
    QFETCH(QStringList, expected);
    QCOMPARE(portEntry(texts[0], texts[1], texts[2], texts[3], texts[4],
                       static_cast<quint16>(vendor), static_cast<quint16>(product)),
             expected);
}

void PortEntryTest::fromPathOrNothing()
{
    for (const QString path : { "/dev/pts/7", "/tmp/my stage/tty" })
        QCOMPARE(portEntry(path), (QStringList { path, "N/A", "N/A", "N/A", path, "N/A", "N/A" }));
    QCOMPARE(portEntry(QSerialPortInfo()),
             (QStringList { "", "N/A", "N/A", "N/A", "", "N/A", "N/A" }));
}

void PortEntryTest::detailTexts_data()
{
    QTest::addColumn<QStringList>("entry");
    QTest::addColumn<QStringList>("expected");
    const auto row = [](const char *tag, const QStringList &entry, const QStringList &values) {
        const QStringList formats {
            "Description: ", "Manufacturer: ",      "Serial number: ",
            "Location: ",    "Vendor Identifier: ", "Product Identifier: "
        };
        QStringList expected;
        for (int i = 0; i < formats.size(); ++i)
            expected << formats[i] + values[i];
        QTest::newRow(tag) << entry << expected;
    };
    const QStringList allMissing { "N/A", "N/A", "N/A", "N/A", "N/A", "N/A" };

    row("seven elements",
        { "ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI", "/dev/ttyUSB0", "403", "a1" },
        { "FT232R USB UART", "FTDI", "A50285BI", "/dev/ttyUSB0", "403", "a1" });
    row("stored N/A", { "", "N/A", "N/A", "N/A", "", "N/A", "N/A" },
        { "N/A", "N/A", "N/A", "", "N/A", "N/A" });
    row("no elements", {}, allMissing);
    row("name only", { "COM1" }, allMissing);
    row("two elements", { "COM1", "d" }, { "d", "N/A", "N/A", "N/A", "N/A", "N/A" });
    row("four elements", { "COM1", "d", "m", "s" }, { "d", "m", "s", "N/A", "N/A", "N/A" });
    row("five elements", { "COM1", "d", "m", "s", "l" }, { "d", "m", "s", "l", "N/A", "N/A" });
    row("six elements", { "COM1", "d", "m", "s", "l", "403" },
        { "d", "m", "s", "l", "403", "N/A" });
    row("extra elements ignored", { "COM1", "d", "m", "s", "l", "1", "2", "extra" },
        { "d", "m", "s", "l", "1", "2" });
    row("percent signs kept", { "COM1", "100% %1", "%2", "s", "l", "1", "2" },
        { "100% %1", "%2", "s", "l", "1", "2" });
}

void PortEntryTest::detailTexts()
{
    QFETCH(QStringList, entry);
    QFETCH(QStringList, expected);
    QCOMPARE(portInfoTexts(entry), expected);
}

QTEST_GUILESS_MAIN(PortEntryTest)

#include "tst_portentry.moc"
