// The settings dialog as the panel uses it: a named port first and selected, with its detail
// lines; the enumerated ports after it, never the named one twice; only an entry without port
// data lets the operator type a path; only Apply changes the record.

#include "portentry.h"
#include "settingsdialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTest>

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void portsAndRecord();
};

void TestSettingsDialog::portsAndRecord()
{
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        const SettingsDialog dialog(nullptr, port.systemLocation());
        QCOMPARE(dialog.findChild<QComboBox *>()->count(),
                 QSerialPortInfo::availablePorts().size());
    }

    const QString named = QStringLiteral("/dev/lumarvethon-named");
    SettingsDialog dialog(nullptr, named);
    auto *list = dialog.findChild<QComboBox *>(QStringLiteral("serialPortInfoListBox"));
    auto *location = dialog.findChild<QLabel *>(QStringLiteral("locationLabel"));
    QCOMPARE(list->currentText(), named);
    QVERIFY(!list->isEditable());
    QCOMPARE(location->text(), "Location: " + named);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("pidLabel"))->text(),
             QStringLiteral("Product Identifier: N/A"));
    const SerialSettings record = dialog.currentSettings();
    QCOMPARE(QStringList({ record.portName, record.baudRateText, record.dataBitsText,
                           record.parityText, record.stopBitsText })
                 .join(' '),
             named + " 115200 8 None 1");
    QVERIFY(record.localEcho);

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
    QCOMPARE(dialog.currentSettings().baudRate, 115200);
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
