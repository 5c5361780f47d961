#ifndef SERIALSETTINGS_H
#define SERIALSETTINGS_H

// The operator's choice of port and line parameters, carried from the settings dialog to the
// connection. Each parameter is held twice: as the value QSerialPort takes and as the text the
// status bar shows. Plain value type: the dialog owns the live record, everyone else copies.

#include <QSerialPort>
#include <QString>

struct SerialSettings
{
    QString portName;
    // The numbers start at the panel's fixed line parameters, so that even a record read
    // before the dialog has filled it never hands indeterminate values to the port.
    qint32 baudRate = QSerialPort::Baud115200;
    QString baudRateText;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QString dataBitsText;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QString parityText;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QString stopBitsText;
    // The dialog offers no flow-control choice; the port keeps the toolkit's default.
    qint32 flowControl = QSerialPort::NoFlowControl;
    QString flowControlText;
    bool localEcho = true;
};

#endif // SERIALSETTINGS_H
