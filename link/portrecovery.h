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

// The device file itself: a file that went and came back under the same path (a
// pseudo-terminal's number taken by the next program, an adapter without a serial number
// plugged in again) is a new file, whatever its name. Empty off Unix and for no file.
struct DeviceNode
{
    quint64 device = 0; // the device number it stands for
    quint64 inode = 0;
    qint64 changedNs = 0; // made or changed, in ns
    bool operator==(const DeviceNode &other) const
    {
        return device == other.device && inode == other.inode && changedNs == other.changedNs;
    }
    bool operator!=(const DeviceNode &other) const { return !(*this == other); }
};
DeviceNode deviceNode(const QString &path);

// What identifies a port: its name and path, and for a USB device its serial number with
// its vendor and product identifiers, which survive a change of name (ttyUSB0, ttyUSB1);
// without those, only the device file that was opened.
struct PortRecord
{
    QString portName;
    QString systemLocation;
    QString serialNumber;
    quint16 vendorId = 0;
    quint16 productId = 0;
    DeviceNode node; // of the device file opened, for a port without identity

    bool hasIdentity() const { return !serialNumber.isEmpty() && (vendorId || productId); }
};

PortRecord portRecord(const QSerialPortInfo &info);
// The record of a port by the name or path it was opened with, and the identity of the
// device that path leads to (target: the device file behind it, links followed); only the
// name when the system does not list that device (a pseudo-terminal).
PortRecord portRecordFor(const QString &name, const QString &target,
                         const QList<PortRecord> &listed);
QList<PortRecord> listedPorts();
// The record of a port just opened by that name: portRecordFor where the name leads now, with
// the device file opened.
PortRecord openedPortRecord(const QString &name, const QList<PortRecord> &listed);

// The device file that a port name or path leads to now, links followed ("ttyUSB0" is
// /dev/ttyUSB0); empty when nothing is there. A try to open a port that is not there would
// cost far more (the toolkit's lock file) and tell nothing more. Off Unix: the name itself.
QString deviceBehind(const QString &portName);

// A stamp that changes whenever devices come or go; off Unix it changes every 10 s.
qint64 deviceSetStamp();

// The system's port list, listed again (some tens of milliseconds) only when the stamp says
// that devices have come or gone, also while the list is empty.
class PortListing
{
public:
    const QList<PortRecord> &ports() { return ports(deviceSetStamp(), listedPorts); }
    const QList<PortRecord> &ports(qint64 stamp, QList<PortRecord> (*list)());

private:
    QList<PortRecord> cached;
    qint64 cachedStamp = 0;
    bool valid = false;
};

// What a reconnection try opens: name (empty: nothing to try now); foreign when a device of
// another identity is under the lost port's path, which is left alone.
struct ReopenChoice
{
    QString name;
    bool foreign = false;
};

// The lost device under whatever name it has now: the listed port with its identity, else its
// own path (target: where that path leads now, empty when nowhere; node: the device file
// there) if what is there has the same identity, or neither has one and the device file is
// still the one opened (a built-in port). A device file that went and came back is foreign.
ReopenChoice portToReopen(const PortRecord &lost, const QString &target, const DeviceNode &node,
                          const QList<PortRecord> &listed);

#endif // PORTRECOVERY_H
