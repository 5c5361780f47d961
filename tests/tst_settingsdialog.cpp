// Checks the settings dialog as the panel uses it: its form, its icon, the fixed line
// parameters, the port list filled from this machine's ports (there may be none) and from a
// path given on the command line, and the rule that only Apply changes the record.

#include "portentry.h"
#include "pseudoterminal.h"
#include "serialsettings.h"
#include "settingsdialog.h"
#include "ui_settingsdialog.h"

#include <QComboBox>
#include <QDir>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace {

QComboBox *box(const QDialog &dialog, const char *name)
{
    return dialog.findChild<QComboBox *>(QLatin1String(name));
}

QStringList detailTexts(const QDialog &dialog)
{
    QStringList texts;
    for (const char *name : { "descriptionLabel", "manufacturerLabel", "serialNumberLabel",
                              "locationLabel", "vidLabel", "pidLabel" }) {
        const QLabel *label = dialog.findChild<QLabel *>(QLatin1String(name));
        texts << (label ? label->text() : QStringLiteral("<no label %1>").arg(QLatin1String(name)));
    }
    return texts;
}

const QStringList initialDetailTexts { "Description:", "Manufacturer:", "Serial number:",
                                       "Location:",    "Vendor ID:",    "Product ID:" };

QStringList pathDetailTexts(const QString &path)
{
    return { "Description: N/A",  "Manufacturer: N/A",      "Serial number: N/A",
             "Location: " + path, "Vendor Identifier: N/A", "Product Identifier: N/A" };
}

// Every field of the record but the unused flow control, as one comparable text.
QString recordText(const SerialSettings &s)
{
    QString text;
    QTextStream(&text) << s.portName << '|' << s.baudRate << '|' << s.baudRateText << '|'
                       << int(s.dataBits) << '|' << s.dataBitsText << '|' << int(s.parity) << '|'
                       << s.parityText << '|' << int(s.stopBits) << '|' << s.stopBitsText << '|'
                       << s.flowControlText << '|' << (s.localEcho ? "echo" : "no echo");
    return text;
}

QString fixedRecord(const QString &portName)
{
    return portName + QStringLiteral("|115200|115200|8|8|0|None|1|1||echo");
}

void clickApply(SettingsDialog &dialog)
{
    dialog.findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
}

} // namespace

class SettingsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void formOnPlainDialog();
    void namesTitleAndSize();
    void windowIcon();
    void parameterListsAndRecord();
    void enumeratedPorts();
    void firstPortSelected();
    void firstPortNotListedTwice();
    void onlyApplyStoresSelection();
    void portListEditableOnlyForCustomEntry();
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

// The state the dialog shows when no port is present: nothing selected, nothing replaced.
void SettingsDialogTest::formOnPlainDialog()
{
    QDialog dialog;
    Ui::SettingsDialog form;
    form.setupUi(&dialog);
    QCOMPARE(dialog.objectName(), QString("SettingsDialog"));
    for (const QComboBox *list :
         { form.baudRateBox, form.dataBitsBox, form.parityBox, form.stopBitsBox }) {
        QVERIFY(!list->isEnabled());
        QCOMPARE(list->count(), 0);
    }
    QVERIFY(form.serialPortInfoListBox->isEnabled());
    QCOMPARE(form.serialPortInfoListBox->count(), 0);
    QCOMPARE(detailTexts(dialog), initialDetailTexts);

    QDialog named;
    named.setObjectName(QStringLiteral("portChooser"));
    Ui::SettingsDialog().setupUi(&named);
    QCOMPARE(named.objectName(), QString("portChooser"));
}

void SettingsDialogTest::namesTitleAndSize()
{
    const SettingsDialog dialog;
    QCOMPARE(dialog.objectName(), QString("SettingsDialog"));
    QCOMPARE(dialog.windowTitle(), QString("Settings"));
    QCOMPARE(dialog.size(), QSize(397, 323));
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.isModal());

    const char *const classes[][2] = {
        { "QGridLayout", "gridLayout_3 gridLayout_2 gridLayout" },
        { "QHBoxLayout", "horizontalLayout" },
        { "QPushButton", "applyButton" },
        { "QGroupBox", "parametersBox selectBox" },
        { "QComboBox", "baudRateBox dataBitsBox parityBox stopBitsBox serialPortInfoListBox" },
        { "QLabel",
          "baudRateLabel dataBitsLabel parityLabel stopBitsLabel descriptionLabel "
          "manufacturerLabel serialNumberLabel locationLabel vidLabel pidLabel" },
    };
    for (const auto &row : classes) {
        for (const QString &name : QString::fromLatin1(row[1]).split(QLatin1Char(' '))) {
            const QList<QObject *> found = dialog.findChildren<QObject *>(name);
            QVERIFY2(found.size() == 1, qPrintable(name));
            QCOMPARE(found.first()->metaObject()->className(), row[0]);
        }
    }
    const char *const texts[][3] = {
        { "applyButton", "text", "Apply" },
        { "parametersBox", "title", "Select Parameters" },
        { "baudRateLabel", "text", "BaudRate:" },
        { "dataBitsLabel", "text", "Data bits:" },
        { "parityLabel", "text", "Parity:" },
        { "stopBitsLabel", "text", "Stop bits:" },
        { "selectBox", "title", "Select Serial Port" },
    };
    for (const auto &row : texts) {
        const QObject *object = dialog.findChild<QObject *>(QLatin1String(row[0]));
        QCOMPARE(object->property(row[1]).toString(), QString::fromLatin1(row[2]));
    }
    QCOMPARE(dialog.layout(), dialog.findChild<QLayout *>(QStringLiteral("gridLayout_3")));
}

// The icon file is looked up in the working directory; without it there is no icon (the
// resource tests show the icon taken from the file).
void SettingsDialogTest::windowIcon()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    const auto restore = qScopeGuard([old = QDir::currentPath()] { QDir::setCurrent(old); });
    QVERIFY(QDir::setCurrent(empty.path()));
    QVERIFY(SettingsDialog().windowIcon().isNull());
}

void SettingsDialogTest::parameterListsAndRecord()
{
    const SettingsDialog dialog(nullptr, devicePath);
    const struct
    {
        const char *name, *text;
        int value;
    } lists[] = { { "baudRateBox", "115200", QSerialPort::Baud115200 },
                  { "dataBitsBox", "8", QSerialPort::Data8 },
                  { "parityBox", "None", QSerialPort::NoParity },
                  { "stopBitsBox", "1", QSerialPort::OneStop } };
    for (const auto &row : lists) {
        const QComboBox *list = box(dialog, row.name);
        QVERIFY2(list, row.name);
        QVERIFY(!list->isEnabled());
        QVERIFY(!list->isEditable());
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->currentIndex(), 0);
        QCOMPARE(list->itemText(0), QString::fromLatin1(row.text));
        QVERIFY(list->itemIcon(0).isNull());
        QCOMPARE(list->itemData(0).userType(), int(QMetaType::Int));
        QCOMPARE(list->itemData(0).toInt(), row.value);
    }
    QVERIFY(box(dialog, "serialPortInfoListBox")->isEnabled());

    // Whatever ports there are, the record holds the fixed parameters from the start.
    QCOMPARE(recordText(SettingsDialog().currentSettings()),
             fixedRecord(ports.isEmpty() ? QString() : ports.first().portName()));
}

void SettingsDialogTest::enumeratedPorts()
{
    const SettingsDialog dialog;
    const QComboBox *list = box(dialog, "serialPortInfoListBox");
    QCOMPARE(list->count(), int(ports.size()));
    QVERIFY(!list->isEditable());
    if (ports.isEmpty()) {
        QCOMPARE(list->currentIndex(), -1);
        QCOMPARE(detailTexts(dialog), initialDetailTexts);
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
    QCOMPARE(list->itemData(0).toStringList(),
             (QStringList { devicePath, "N/A", "N/A", "N/A", devicePath, "N/A", "N/A" }));
    QCOMPARE(detailTexts(dialog), pathDetailTexts(devicePath));
    QVERIFY(!list->isEditable());
    // In the record before the dialog has ever been shown.
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.currentSettings().portName, devicePath);
    for (int i = 1; i < list->count(); ++i)
        QVERIFY(list->itemText(i) != devicePath);
}

void SettingsDialogTest::firstPortNotListedTwice()
{
    if (ports.isEmpty())
        QSKIP("this machine enumerates no serial port");
    const QSerialPortInfo &known = ports.first();
    for (const QString &path : { known.systemLocation(), known.portName() }) {
        const SettingsDialog dialog(nullptr, path);
        const QComboBox *list = box(dialog, "serialPortInfoListBox");
        QCOMPARE(list->count(), int(ports.size()));
        QCOMPARE(list->itemText(0), path);
        for (int i = 1; i < list->count(); ++i)
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
    // The details follow the selection at once, the record does not.
    QCOMPARE(detailTexts(dialog), pathDetailTexts(other));
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
    QCOMPARE(recordText(dialog.currentSettings()), fixedRecord(other));
}

// Only an entry without port data lets the operator type a device path; the enumerated ones
// and a named path never do.
void SettingsDialogTest::portListEditableOnlyForCustomEntry()
{
    SettingsDialog dialog(nullptr, devicePath);
    QComboBox *list = box(dialog, "serialPortInfoListBox");
    for (const char *extra : { "/dev/ttyX1", "/dev/ttyX2" })
        list->addItem(QLatin1String(extra), portEntry(QLatin1String(extra)));
    for (int i = list->count() - 1; i >= 0; --i) {
        list->setCurrentIndex(i);
        QVERIFY(!list->isEditable());
        QCOMPARE(list->currentText(), list->itemText(i));
    }

    list->addItem(QStringLiteral("Custom"));
    list->setCurrentIndex(list->count() - 1);
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
    const auto *validator = qobject_cast<const QIntValidator *>(baud->lineEdit()->validator());
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
