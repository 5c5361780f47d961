#ifndef SERIALLINE_H
#define SERIALLINE_H

// The panel's end of a line to a simulated controller, for the simulator's tests: a real
// QSerialPort at the panel's line settings, read line by line while the event loop runs (the
// simulator lives on the same thread, so nothing may block).

#include "simulatedcontroller.h"
#include "simulatoroptions.h"
#include "simulatorprotocol.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>

class SerialLine
{
public:
    bool open(const QString &path)
    {
        port.setPortName(path);
        port.setBaudRate(QSerialPort::Baud115200);
        port.setDataBits(QSerialPort::Data8);
        port.setParity(QSerialPort::NoParity);
        port.setStopBits(QSerialPort::OneStop);
        return port.open(QIODevice::ReadWrite);
    }

    void send(const QByteArray &bytes) { port.write(bytes); }

    // The next line with its CR, or empty when none is complete within the time.
    QByteArray nextLine(int timeoutMs = 1000)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            buffer.append(port.readAll());
            const int cr = buffer.indexOf('\r');
            if (cr >= 0) {
                const QByteArray line = buffer.left(cr + 1);
                buffer.remove(0, cr + 1);
                return line;
            }
            if (clock.elapsed() >= timeoutMs || !port.isOpen())
                return QByteArray();
            QTest::qWait(1);
        }
    }

    QByteArray ask(const QByteArray &command, int timeoutMs = 1000)
    {
        send(command);
        return nextLine(timeoutMs);
    }

    // Everything that arrives within the time.
    QByteArray collect(int ms)
    {
        QTest::qWait(ms);
        buffer.append(port.readAll());
        QByteArray all;
        all.swap(buffer);
        return all;
    }

    QSerialPort port;
    QByteArray buffer;
};

// The micrometres of a "_cp 1234.5 um\r" reply.
inline double micrometres(const QByteArray &line)
{
    return line.mid(4, line.size() - 8).toDouble();
}

inline SimulatorOptions fastOptions(const QString &firmware = QStringLiteral("1.06"))
{
    SimulatorOptions options;
    options.firmware = firmware;
    options.speedUmPerS = 1e6;
    options.calibrationMs = 100;
    return options;
}

// Declares a started controller with the given options and a line open to it, or fails the
// test.
#define SIMULATED_LINE(options)                                                                    \
    SimulatedController controller(options);                                                       \
    SerialLine line;                                                                               \
    QVERIFY2(controller.start(), qPrintable(controller.errorString()));                            \
    QVERIFY2(line.open(controller.devicePath()), qPrintable(line.port.errorString()))

#endif // SERIALLINE_H
