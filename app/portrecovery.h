#ifndef PORTRECOVERY_H
#define PORTRECOVERY_H

// Finding a lost serial device again: whether the operating system still has the device
// behind an open port, and which of the ports listed now is the one that was lost. Free
// functions, so that tests reach them with real pseudo-terminals and tables of ports.

#include <QList>
#include <QString>
#include <QtGlobal>

class QSerialPortInfo;

// True when the device behind an open port's handle has gone (hung up, unplugged, closed):
// the toolkit does not always say so, and on some versions says nothing at all.
bool deviceLost(qintptr handle);

// What identifies a port: its name and path, and for a USB device its serial number with
// its vendor and product identifiers, which survive a change of name (ttyUSB0, ttyUSB1).
struct PortRecord
{
    QString portName;
    QString systemLocation;
    QString serialNumber;
    quint16 vendorId = 0;
    quint16 productId = 0;

    bool hasIdentity() const { return !serialNumber.isEmpty() && (vendorId || productId); }
};

PortRecord portRecord(const QSerialPortInfo &info);
// The record of a port by the name or path it was opened with; only the name when the system
// does not list it (a pseudo-terminal, a link).
PortRecord portRecordFor(const QString &name, const QList<PortRecord> &listed);
QList<PortRecord> listedPorts();

// Whether the device file of a port is there at all; a try to open one that is not would
// cost far more (the toolkit's lock file) and tell nothing more. Always true off Unix.
bool portPresent(const QString &portName);

// A stamp that changes whenever devices come or go, so that the ports are listed again
// (some tens of milliseconds) only then; off Unix it changes on every call.
qint64 deviceSetStamp();

// The name to open when trying to reach the lost port again: the listed port with the same
// identity under whatever name it has now; else the same name, unless the system lists
// another device with an identity under it. Empty when there is nothing to try.
QString portToReopen(const PortRecord &lost, const QList<PortRecord> &listed);

#endif // PORTRECOVERY_H
