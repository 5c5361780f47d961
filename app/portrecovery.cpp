#include "portrecovery.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSerialPortInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <poll.h>
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

QList<PortRecord> listedPorts()
{
    QList<PortRecord> records;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        records.append(portRecord(info));
    return records;
}

bool portPresent(const QString &portName)
{
#ifdef Q_OS_UNIX
    return QFileInfo::exists(portName.startsWith(QLatin1Char('/'))
                                 ? portName
                                 : QStringLiteral("/dev/") + portName);
#else
    Q_UNUSED(portName);
    return true;
#endif
}

qint64 deviceSetStamp()
{
#ifdef Q_OS_UNIX
    return QFileInfo(QStringLiteral("/dev")).lastModified().toMSecsSinceEpoch();
#else
    static qint64 calls = 0;
    return ++calls;
#endif
}

static bool named(const PortRecord &port, const QString &name)
{
    return port.portName == name || port.systemLocation == name;
}

PortRecord portRecordFor(const QString &name, const QList<PortRecord> &listed)
{
    for (const PortRecord &port : listed) {
        if (named(port, name)) {
            PortRecord record = port;
            record.portName = name;
            return record;
        }
    }
    PortRecord record;
    record.portName = name;
    return record;
}

static bool sameDevice(const PortRecord &a, const PortRecord &b)
{
    return a.serialNumber == b.serialNumber && a.vendorId == b.vendorId
        && a.productId == b.productId;
}

QString portToReopen(const PortRecord &lost, const QList<PortRecord> &listed)
{
    if (!lost.hasIdentity())
        return lost.portName;
    for (const PortRecord &port : listed) {
        if (port.hasIdentity() && sameDevice(port, lost))
            return named(port, lost.portName) ? lost.portName : port.systemLocation;
    }
    for (const PortRecord &port : listed) {
        // Another device has the name now: opening it would talk to the wrong stage.
        if (named(port, lost.portName) && port.hasIdentity())
            return QString();
    }
    return lost.portName;
}
