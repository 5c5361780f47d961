#include "portrecovery.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <poll.h>
#include <sys/stat.h>
#endif

bool deviceLost(qintptr handle)
{
#ifdef Q_OS_WIN
    DWORD errors = 0;
    COMSTAT status;
    return !ClearCommError(reinterpret_cast<HANDLE>(handle), &errors, &status);
#else
    if (handle < 0)
        return true;
    pollfd entry { static_cast<int>(handle), 0, 0 };
    // A hang-up, an error or a handle that is no longer valid are reported whatever is asked.
    if (::poll(&entry, 1, 0) < 0)
        return false;
    return (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#endif
}

PortRecord portRecord(const QSerialPortInfo &info)
{
    PortRecord record;
    record.portName = info.portName();
    record.systemLocation = info.systemLocation();
    record.serialNumber = info.serialNumber();
    record.vendorId = info.hasVendorIdentifier() ? info.vendorIdentifier() : 0;
    record.productId = info.hasProductIdentifier() ? info.productIdentifier() : 0;
    return record;
}

DeviceNode deviceNode(const QString &path)
{
    DeviceNode node;
#ifdef Q_OS_UNIX
    struct stat status;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return node;
    node.device = quint64(status.st_rdev);
    node.inode = quint64(status.st_ino);
#ifdef Q_OS_LINUX
    node.changedNs = qint64(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec;
#else
    node.changedNs = qint64(status.st_ctime) * 1000000000;
#endif
#else
    Q_UNUSED(path)
#endif
    return node;
}

QList<PortRecord> listedPorts()
{
    QList<PortRecord> records;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        records.append(portRecord(info));
    return records;
}

QString deviceBehind(const QString &portName)
{
#ifdef Q_OS_UNIX
    const QString path
        = portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
    return QFileInfo(path).canonicalFilePath();
#else
    return portName;
#endif
}

qint64 deviceSetStamp()
{
#ifdef Q_OS_UNIX
    return QFileInfo(QStringLiteral("/dev")).lastModified().toMSecsSinceEpoch();
#else
    // Nothing cheap shows devices coming and going here; every 10 s keeps a listing (some
    // tens of milliseconds) well under 1 % of a core while a lost device is tried each second.
    return QDateTime::currentMSecsSinceEpoch() / 10000;
#endif
}

const QList<PortRecord> &PortListing::ports(qint64 stamp, QList<PortRecord> (*list)())
{
    if (!valid || stamp != cachedStamp) {
        cached = list();
        cachedStamp = stamp;
        valid = true;
    }
    return cached;
}

static bool leadsTo(const PortRecord &port, const QString &name, const QString &target)
{
    return port.portName == name || port.systemLocation == name
        || (!target.isEmpty() && port.systemLocation == target);
}

PortRecord portRecordFor(const QString &name, const QString &target,
                         const QList<PortRecord> &listed)
{
    for (const PortRecord &port : listed) {
        if (leadsTo(port, name, target)) {
            PortRecord record = port;
            record.portName = name;
            return record;
        }
    }
    PortRecord record;
    record.portName = name;
    return record;
}

PortRecord openedPortRecord(const QString &name, const QList<PortRecord> &listed)
{
    const QString target = deviceBehind(name);
    PortRecord record = portRecordFor(name, target, listed);
    record.node = deviceNode(target);
    return record;
}

static bool sameDevice(const PortRecord &a, const PortRecord &b)
{
    return a.serialNumber == b.serialNumber && a.vendorId == b.vendorId
        && a.productId == b.productId;
}

ReopenChoice portToReopen(const PortRecord &lost, const QString &target, const DeviceNode &node,
                          const QList<PortRecord> &listed)
{
    if (lost.hasIdentity()) {
        for (const PortRecord &port : listed) {
            if (port.hasIdentity() && sameDevice(port, lost))
                return { leadsTo(port, lost.portName, target) ? lost.portName
                                                              : port.systemLocation };
        }
    }
    if (target.isEmpty())
        return {};
    // Whatever is under the path now: opening a device of another identity, or another
    // device file where there is no identity to tell (another program's terminal), would
    // send commands to the wrong instrument or person.
    const PortRecord there = portRecordFor(lost.portName, target, listed);
    const bool same = lost.hasIdentity() ? there.hasIdentity() && sameDevice(there, lost)
                                         : !there.hasIdentity() && node == lost.node;
    if (same)
        return { lost.portName };
    return { QString(), true };
}
