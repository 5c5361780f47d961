#include "settingsdialog.h"
#include "ui_settingsdialog.h"

#include "portentry.h"

#include <QComboBox>
#include <QFileInfo>
#include <QIcon>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QVariant>

namespace {

// Read from the working directory, not from the resources.
const QString iconFile = QStringLiteral("images/Lumarvethon_Icon_only@500x.png");

// An entry the operator types himself carries no item data.
bool isCustomEntry(const QComboBox &box, int idx)
{
    return !box.itemData(idx).isValid();
}

} // namespace

SettingsDialog::SettingsDialog(QWidget *parent, const QString &firstPort)
    : QDialog(parent)
    , ui(new Ui::SettingsDialog)
{
    ui->setupUi(this);
    // QIcon(fileName) is not null even when the file is missing, so go through the pixmap.
    // Without the file the dialog sets no icon and shows the application's.
    const QPixmap picture(iconFile);
    if (!picture.isNull())
        setWindowIcon(QIcon(picture));

    baudRateValidator = new QIntValidator(0, 4000000, this);

    ui->baudRateBox->setInsertPolicy(QComboBox::NoInsert);

    connect(ui->applyButton, &QPushButton::clicked, this, &SettingsDialog::apply);
    // Details first, then the policy: the labels are filled before editability changes.
    connect(ui->serialPortInfoListBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::showPortInfo);
    connect(ui->serialPortInfoListBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::checkCustomDevicePathPolicy);

    fillParameterLists();
    // The connections already exist, so the first port inserted becomes the selection and
    // its details are shown before the dialog is ever opened.
    fillPortList(firstPort);
    collectSettings();
}

SettingsDialog::~SettingsDialog()
{
    delete ui;
}

SerialSettings SettingsDialog::currentSettings() const
{
    return activeSettings;
}

void SettingsDialog::showPortInfo(int idx)
{
    if (idx == -1)
        return;

    const QStringList texts
        = portInfoTexts(ui->serialPortInfoListBox->itemData(idx).toStringList());
    QLabel *const labels[] = { ui->descriptionLabel, ui->manufacturerLabel, ui->serialNumberLabel,
                               ui->locationLabel,    ui->vidLabel,          ui->pidLabel };
    int i = 0;
    for (QLabel *label : labels)
        label->setText(texts.at(i++));
}

void SettingsDialog::apply()
{
    collectSettings();
    hide();
    emit applied();
}

void SettingsDialog::checkCustomBaudRatePolicy(int idx)
{
    const bool custom = isCustomEntry(*ui->baudRateBox, idx);
    ui->baudRateBox->setEditable(custom);
    if (custom) {
        ui->baudRateBox->clearEditText();
        // The line edit is new each time the box becomes editable; the validator is the
        // dialog's and outlives it.
        ui->baudRateBox->lineEdit()->setValidator(baudRateValidator);
    }
}

void SettingsDialog::checkCustomDevicePathPolicy(int idx)
{
    const bool custom = isCustomEntry(*ui->serialPortInfoListBox, idx);
    ui->serialPortInfoListBox->setEditable(custom);
    if (custom)
        ui->serialPortInfoListBox->clearEditText();
}

void SettingsDialog::fillParameterLists()
{
    ui->baudRateBox->addItem(QStringLiteral("115200"), static_cast<int>(QSerialPort::Baud115200));
    ui->dataBitsBox->addItem(QStringLiteral("8"), static_cast<int>(QSerialPort::Data8));
    ui->parityBox->addItem(tr("None"), static_cast<int>(QSerialPort::NoParity));
    ui->stopBitsBox->addItem(QStringLiteral("1"), static_cast<int>(QSerialPort::OneStop));
}

void SettingsDialog::fillPortList(const QString &firstPort)
{
    QComboBox *const box = ui->serialPortInfoListBox;
    box->clear();

    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    // A port named on the command line may be given by name, by full path or through a
    // link (/dev/serial/by-id/...): its details are those of the device it leads to.
    const QString target = QFileInfo(firstPort).canonicalFilePath();
    const auto isFirst = [&](const QSerialPortInfo &info) {
        return !firstPort.isEmpty()
            && (info.portName() == firstPort || info.systemLocation() == firstPort
                || (!target.isEmpty() && info.systemLocation() == target));
    };
    if (!firstPort.isEmpty()) {
        QStringList entry = portEntry(target.isEmpty() ? firstPort : target);
        entry[PortNameField] = firstPort;
        // A named port that the system lists too keeps its real details.
        for (const QSerialPortInfo &info : ports) {
            if (isFirst(info)) {
                entry = portEntry(info);
                entry[PortNameField] = firstPort;
                break;
            }
        }
        box->addItem(entry.at(PortNameField), entry);
    }

    for (const QSerialPortInfo &info : ports) {
        if (isFirst(info))
            continue;
        const QStringList entry = portEntry(info);
        box->addItem(entry.at(PortNameField), entry);
    }
}

void SettingsDialog::collectSettings()
{
    activeSettings.portName = ui->serialPortInfoListBox->currentText();

    // A typed baud rate has no item data; its text is the number.
    const QVariant baudData = ui->baudRateBox->currentData();
    activeSettings.baudRate
        = baudData.isValid() ? baudData.toInt() : ui->baudRateBox->currentText().toInt();
    activeSettings.baudRateText = QString::number(activeSettings.baudRate, 10);

    activeSettings.dataBits
        = static_cast<QSerialPort::DataBits>(ui->dataBitsBox->currentData().toInt());
    activeSettings.dataBitsText = ui->dataBitsBox->currentText();

    activeSettings.parity = static_cast<QSerialPort::Parity>(ui->parityBox->currentData().toInt());
    activeSettings.parityText = ui->parityBox->currentText();

    activeSettings.stopBits
        = static_cast<QSerialPort::StopBits>(ui->stopBitsBox->currentData().toInt());
    activeSettings.stopBitsText = ui->stopBitsBox->currentText();

    activeSettings.localEcho = true;
}
