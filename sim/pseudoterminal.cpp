#include "pseudoterminal.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal(QObject *parent)
    : QObject(parent)
{ }

PseudoTerminal::~PseudoTerminal()
{
    closeFds();
}

bool PseudoTerminal::open()
{
    if (isOpen())
        return true;

    char name[256] = {};
    struct termios raw;
    std::memset(&raw, 0, sizeof raw);
    cfmakeraw(&raw);
    cfsetispeed(&raw, B115200);
    cfsetospeed(&raw, B115200);
    if (::openpty(&masterFd, &slaveFd, name, &raw, nullptr) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        masterFd = slaveFd = -1;
        return false;
    }
    ::fcntl(masterFd, F_SETFL, ::fcntl(masterFd, F_GETFL) | O_NONBLOCK);
    ::fcntl(masterFd, F_SETFD, FD_CLOEXEC);
    ::fcntl(slaveFd, F_SETFD, FD_CLOEXEC);
    path = QString::fromLocal8Bit(name);

    readNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    connect(readNotifier, &QSocketNotifier::activated, this, &PseudoTerminal::readMaster);
    writeNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &PseudoTerminal::flushOutgoing);
    return true;
}

void PseudoTerminal::write(const QByteArray &data)
{
    if (!isOpen() || data.isEmpty())
        return;
    outgoing.append(data);
    flushOutgoing();
}

void PseudoTerminal::flushOutgoing()
{
    while (isOpen() && !outgoing.isEmpty()) {
        const ssize_t n = ::write(masterFd, outgoing.constData(), size_t(outgoing.size()));
        if (n > 0) {
            outgoing.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // the terminal is full (EAGAIN): wait until it takes more
    }
    if (writeNotifier)
        writeNotifier->setEnabled(isOpen() && !outgoing.isEmpty());
}

void PseudoTerminal::readMaster()
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(masterFd, chunk, sizeof chunk);
        if (n > 0) {
            emit received(QByteArray(chunk, int(n)));
            if (!isOpen())
                return; // a receiver hung up
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        // EIO: nobody holds the slave side any more; stop listening rather than spin.
        if (readNotifier)
            readNotifier->setEnabled(false);
        return;
    }
}

void PseudoTerminal::setReading(bool on)
{
    if (readNotifier)
        readNotifier->setEnabled(on);
}

bool PseudoTerminal::isReading() const
{
    return readNotifier && readNotifier->isEnabled();
}

void PseudoTerminal::hangUp()
{
    if (!isOpen())
        return;
    closeFds();
    emit hungUp();
}

void PseudoTerminal::closeFds()
{
    // hangUp() may run inside a notifier's own activation, so the notifiers go later.
    for (QSocketNotifier *notifier : { readNotifier, writeNotifier }) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    readNotifier = writeNotifier = nullptr;
    outgoing.clear();
    if (slaveFd >= 0)
        ::close(slaveFd);
    if (masterFd >= 0)
        ::close(masterFd);
    slaveFd = masterFd = -1;
}
