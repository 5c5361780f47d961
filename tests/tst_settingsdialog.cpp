// Checks the settings dialog as the panel uses it: its icon, the fixed line parameters, the
// port list filled from this machine's ports (there may be none) and from a path given on
// the command line, and the rule that only Apply changes the record.

#include "portentry.h"
#include "pseudoterminal.h"
#include "serialsettings.h"
#include "settingsdialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

QComboBox *box(const SettingsDialog &dialog, const char *name)
{
    return dialog.findChild<QComboBox *>(QLatin1String(name));
}

QString labelText(const SettingsDialog &dialog, const char *name)
{
    const QLabel *label = dialog.findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no label %1>").arg(QLatin1String(name));
}

QStringList detailTexts(const SettingsDialog &dialog)
{
    return { labelText(dialog, "descriptionLabel"),  labelText(dialog, "manufacturerLabel"),
             labelText(dialog, "serialNumberLabel"), labelText(dialog, "locationLabel"),
             labelText(dialog, "vidLabel"),          labelText(dialog, "pidLabel") };
}

const QStringList initialDetailTexts { "Description:", "Manufacturer:", "Serial number:",
                                       "Location:",    "Vendor ID:",    "Product ID:" };

QStringList pathDetailTexts(const QString &path)
{
    return { "Description: N/A",  "Manufacturer: N/A",      "Serial number: N/A",
             "Location: " + path, "Vendor Identifier: N/A", "Product Identifier: N/A" };
}

void clickApply(SettingsDialog &dialog)
{
    QPushButton *apply = dialog.findChild<QPushButton *>(QStringLiteral("applyButton"));
    QVERIFY(apply);
    apply->click();
}

// Runs in a directory without images/, so that no icon file can be found.
class WorkingDirectory
{
public:
    explicit WorkingDirectory(const QString &path)
        : previous(QDir::currentPath())
    {
        QDir::setCurrent(path);
    }
    ~WorkingDirectory() { QDir::setCurrent(previous); }
    WorkingDirectory(const WorkingDirectory &) = delete;
    WorkingDirectory &operator=(const WorkingDirectory &) = delete;

private:
    QString previous;
};

} // namespace

class SettingsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void windowIcon();

    void parameterLists_data();
    void parameterLists();
    void recordAfterConstruction();
    void enumeratedPorts();

    void firstPortSelected();
    void firstPortNotListedTwice_data();
    void firstPortNotListedTwice();

    void onlyApplyStoresSelection();
    void portListNeverEditable();
    void customPortEntryIsEditable();
    void customBaudRatePolicy();

private:
    QList<QSerialPortInfo> ports;
    PseudoTerminal terminal;
    QString devicePath;
};

void SettingsDialogTest::initTestCase()
{
    ports = QSerialPortInfo::availablePorts();
    // A real terminal where the system has one; any path serves the dialog just as well.
    devicePath = terminal.open() ? terminal.devicePath() : QStringLiteral("/dev/lumarvethon-test");
    qInfo("%d serial port(s) on this machine; named port %s", int(ports.size()),
          qPrintable(devicePath));
}

void SettingsDialogTest::windowIcon()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    {
        const WorkingDirectory cwd(empty.path());
        const SettingsDialog dialog;
        QVERIFY(dialog.windowIcon().isNull());
    }

    // The icon is read from the working directory, not from the resources.
    QVERIFY(QDir(empty.path()).mkpath(QStringLiteral("images")));
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    QVERIFY(image.save(empty.filePath(QStringLiteral("images/Lumarvethon_Icon_only@500x.png"))));
    {
        const WorkingDirectory cwd(empty.path());
        const SettingsDialog dialog;
        QVERIFY(!dialog.windowIcon().isNull());
    }
}

void SettingsDialogTest::parameterLists_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("baud rate") << "baudRateBox"
                               << "115200" << int(QSerialPort::Baud115200);
    QTest::newRow("data bits") << "dataBitsBox"
                               << "8" << int(QSerialPort::Data8);
    QTest::newRow("parity") << "parityBox"
                            << "None" << int(QSerialPort::NoParity);
    QTest::newRow("stop bits") << "stopBitsBox"
                               << "1" << int(QSerialPort::OneStop);
}

void SettingsDialogTest::parameterLists()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(int, value);

    const SettingsDialog dialog(nullptr, devicePath);
    const QComboBox *list = dialog.findChild<QComboBox *>(name);
    QVERIFY(list);
    QVERIFY(!list->isEnabled());
    QVERIFY(!list->isEditable());
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(list->itemText(0), text);
    QVERIFY(list->itemIcon(0).isNull());
    const QVariant data = list->itemData(0);
    QCOMPARE(data.userType(), int(QMetaType::Int));
    QCOMPARE(data.toInt(), value);

    QVERIFY(box(dialog, "serialPortInfoListBox")->isEnabled());
}

void SettingsDialogTest::recordAfterConstruction()
{
    const SettingsDialog dialog;
    const SerialSettings s = dialog.currentSettings();

    QCOMPARE(s.portName, ports.isEmpty() ? QString() : ports.first().portName());
    QCOMPARE(s.baudRate, 115200);
    QCOMPARE(s.baudRateText, QString("115200"));
    QCOMPARE(s.baudRateText, QString::number(s.baudRate, 10));
    QCOMPARE(int(s.dataBits), 8);
    QCOMPARE(s.dataBitsText, QString("8"));
    QCOMPARE(int(s.parity), 0);
    QCOMPARE(s.parityText, QString("None"));
    QCOMPARE(int(s.stopBits), 1);
    QCOMPARE(s.stopBitsText, QString("1"));
    QVERIFY(s.flowControlText.isEmpty());
    QVERIFY(s.localEcho);
}

void SettingsDialogTest::enumeratedPorts()
{
    const SettingsDialog dialog;
    const QComboBox *list = box(dialog, "serialPortInfoListBox");
    QCOMPARE(list->count(), int(ports.size()));
    QVERIFY(!list->isEditable());

    if (ports.isEmpty()) {
        // Nothing was selected, so nothing replaced the form's texts.
        QCOMPARE(list->currentIndex(), -1);
        QCOMPARE(detailTexts(dialog), initialDetailTexts);
        QVERIFY(dialog.currentSettings().portName.isEmpty());
        return;
    }

    for (int i = 0; i < ports.size(); ++i) {
        QCOMPARE(list->itemText(i), ports.at(i).portName());
        QCOMPARE(list->itemData(i).toStringList(), portEntry(ports.at(i)));
    }
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(detailTexts(dialog), portInfoTexts(portEntry(ports.first())));
}

void SettingsDialogTest::firstPortSelected()
{
    const SettingsDialog dialog(nullptr, devicePath);
    const QComboBox *list = box(dialog, "serialPortInfoListBox");

    QVERIFY(list->count() >= 1);
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(list->itemText(0), devicePath);
    const QStringList expected { devicePath, "N/A", "N/A", "N/A", devicePath, "N/A", "N/A" };
    QCOMPARE(list->itemData(0).toStringList(), expected);
    QCOMPARE(detailTexts(dialog), pathDetailTexts(devicePath));
    QVERIFY(!list->isEditable());

    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.currentSettings().portName, devicePath);

    // The enumerated ports follow, in the order the system gives them.
    for (int i = 1; i < list->count(); ++i)
        QVERIFY(list->itemText(i) != devicePath);
}

void SettingsDialogTest::firstPortNotListedTwice_data()
{
    QTest::addColumn<bool>("byLocation");

    QTest::newRow("by location") << true;
    QTest::newRow("by name") << false;
}

void SettingsDialogTest::firstPortNotListedTwice()
{
    QFETCH(bool, byLocation);
    if (ports.isEmpty())
        QSKIP("this machine enumerates no serial port");

    const QSerialPortInfo &known = ports.first();
    const QString path = byLocation ? known.systemLocation() : known.portName();
    const SettingsDialog dialog(nullptr, path);
    const QComboBox *list = box(dialog, "serialPortInfoListBox");

    QCOMPARE(list->count(), int(ports.size()));
    QCOMPARE(list->itemText(0), path);
    for (int i = 1; i < list->count(); ++i) {
        QVERIFY(list->itemText(i) != known.portName());
        QCOMPARE(list->itemText(i), ports.at(i).portName());
    }
}

void SettingsDialogTest::onlyApplyStoresSelection()
{
    SettingsDialog dialog(nullptr, devicePath);
    QComboBox *list = box(dialog, "serialPortInfoListBox");
    const QString other = QStringLiteral("/dev/lumarvethon-other");
    list->addItem(other, portEntry(other));
    const int otherIndex = list->count() - 1;

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    list->setCurrentIndex(otherIndex);
    // The details follow the selection at once ...
    QCOMPARE(detailTexts(dialog), pathDetailTexts(other));
    // ... the record does not.
    QCOMPARE(dialog.currentSettings().portName, devicePath);

    dialog.close();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.currentSettings().portName, devicePath);

    // Shown again, the dialog still has the operator's selection.
    dialog.show();
    QCOMPARE(list->currentIndex(), otherIndex);

    const SerialSettings before = dialog.currentSettings();
    clickApply(dialog);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.currentSettings().portName, other);
    QCOMPARE(before.portName, devicePath);

    // However often Apply runs, the fixed parameters stay as they are.
    dialog.show();
    clickApply(dialog);
    clickApply(dialog);
    const SerialSettings after = dialog.currentSettings();
    QCOMPARE(after.portName, other);
    QCOMPARE(after.baudRateText, QString::number(after.baudRate, 10));
    QCOMPARE(after.baudRate, 115200);
    QCOMPARE(after.parityText, QString("None"));
    QVERIFY(after.flowControlText.isEmpty());
    QVERIFY(after.localEcho);
}

void SettingsDialogTest::portListNeverEditable()
{
    const SettingsDialog dialog(nullptr, devicePath);
    QComboBox *list = box(dialog, "serialPortInfoListBox");
    for (const char *extra : { "/dev/ttyX1", "/dev/ttyX2" })
        list->addItem(QLatin1String(extra), portEntry(QLatin1String(extra)));

    for (int i = list->count() - 1; i >= 0; --i) {
        list->setCurrentIndex(i);
        QVERIFY(!list->isEditable());
        QCOMPARE(list->currentText(), list->itemText(i));
    }
}

void SettingsDialogTest::customPortEntryIsEditable()
{
    SettingsDialog dialog(nullptr, devicePath);
    QComboBox *list = box(dialog, "serialPortInfoListBox");
    list->addItem(QStringLiteral("Custom"));
    list->setCurrentIndex(list->count() - 1);

    // An entry without port data lets the operator type a device path.
    QVERIFY(list->isEditable());
    QVERIFY(list->currentText().isEmpty());
    QCOMPARE(detailTexts(dialog), pathDetailTexts("N/A"));
    list->setEditText(QStringLiteral("/dev/typed"));
    clickApply(dialog);
    QCOMPARE(dialog.currentSettings().portName, QString("/dev/typed"));

    list->setCurrentIndex(0);
    QVERIFY(!list->isEditable());
    QCOMPARE(list->currentText(), devicePath);
}

void SettingsDialogTest::customBaudRatePolicy()
{
    SettingsDialog dialog(nullptr, devicePath);
    QComboBox *baud = box(dialog, "baudRateBox");
    QCOMPARE(baud->insertPolicy(), QComboBox::NoInsert);

    baud->addItem(QStringLiteral("Custom"));
    baud->setCurrentIndex(1);
    QVERIFY(QMetaObject::invokeMethod(&dialog, "checkCustomBaudRatePolicy", Q_ARG(int, 1)));
    QVERIFY(baud->isEditable());
    QVERIFY(baud->currentText().isEmpty());
    QVERIFY(baud->lineEdit());
    const QIntValidator *validator
        = qobject_cast<const QIntValidator *>(baud->lineEdit()->validator());
    QVERIFY(validator);
    QCOMPARE(validator->parent(), &dialog);
    QCOMPARE(validator->bottom(), 0);
    QCOMPARE(validator->top(), 4000000);

    // A typed rate is what the record gets, and it never becomes a list entry.
    baud->setEditText(QStringLiteral("57600"));
    clickApply(dialog);
    QCOMPARE(baud->count(), 2);
    QCOMPARE(dialog.currentSettings().baudRate, 57600);
    QCOMPARE(dialog.currentSettings().baudRateText, QString("57600"));

    baud->setCurrentIndex(0);
    QVERIFY(QMetaObject::invokeMethod(&dialog, "checkCustomBaudRatePolicy", Q_ARG(int, 0)));
    QVERIFY(!baud->isEditable());
    QCOMPARE(baud->currentText(), QString("115200"));
    // Without a selected entry the policy treats the box as custom.
    QVERIFY(QMetaObject::invokeMethod(&dialog, "checkCustomBaudRatePolicy", Q_ARG(int, -1)));
    QVERIFY(baud->isEditable());
}

QTEST_MAIN(SettingsDialogTest)

#include "tst_settingsdialog.moc"
