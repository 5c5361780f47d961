// The settings dialog as the panel uses it: a named port first and selected, with its detail
// lines; the enumerated ports after it, never the named one twice; only Apply changes the
// record; only an entry without port data lets the operator type a path.

#include "portentry.h"
#include "settingsdialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTest>

namespace {

QString details(const QDialog &dialog)
{
    QStringList texts;
    for (const char *name : { "descriptionLabel", "manufacturerLabel", "serialNumberLabel",
                              "locationLabel", "vidLabel", "pidLabel" })
        texts << dialog.findChild<QLabel *>(QLatin1String(name))->text();
    return texts.join('|');
}

QString record(const SerialSettings &s)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
        .arg(s.portName, s.baudRateText, s.dataBitsText, s.parityText, s.stopBitsText)
        .arg(s.baudRate)
        .arg(int(s.dataBits))
        .arg(int(s.parity) * 10 + int(s.stopBits))
        .arg(s.localEcho);
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void portsAndRecord();
};

void TestSettingsDialog::portsAndRecord()
{
    const QString named = QStringLiteral("/dev/lumarvethon-named");
    SettingsDialog dialog(nullptr, named);
    auto *list = dialog.findChild<QComboBox *>(QStringLiteral("serialPortInfoListBox"));
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(list->itemText(0), named);
    QVERIFY(!list->isEditable());
    QCOMPARE(details(dialog),
             "Description: N/A|Manufacturer: N/A|Serial number: N/A|Location: " + named
                 + "|Vendor Identifier: N/A|Product Identifier: N/A");
    QCOMPARE(record(dialog.currentSettings()), named + " 115200 8 None 1 115200 8 1 1");

    // A port that the system lists, named by path, is offered once.
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        SettingsDialog other(nullptr, port.systemLocation());
        QCOMPARE(other.findChild<QComboBox *>(QStringLiteral("serialPortInfoListBox"))->count(),
                 ports.size());
    }

    // The details follow the selection, the record only Apply.
    list->addItem(QStringLiteral("/dev/other"), portEntry(QStringLiteral("/dev/other")));
    list->addItem(QStringLiteral("Custom"));
    dialog.show();
    list->setCurrentIndex(list->count() - 2);
    QVERIFY(!list->isEditable());
    QVERIFY(details(dialog).contains("Location: /dev/other|"));
    QCOMPARE(dialog.currentSettings().portName, named);
    list->setCurrentIndex(list->count() - 1);
    QVERIFY(list->isEditable());
    QVERIFY(list->currentText().isEmpty());
    list->setEditText(QStringLiteral("/dev/typed"));
    dialog.findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(record(dialog.currentSettings()), "/dev/typed 115200 8 None 1 115200 8 1 1");
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
