#include "benchpanel.h"

#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QTimer>

BenchPanel::BenchPanel()
    : end(new ControllerEnd)
{ }

BenchPanel::~BenchPanel()
{
    win.reset();
    end.reset();
}

bool BenchPanel::connectPanel(QString *error)
{
    QString path;
    if (!end->open(&path)) {
        *error = QStringLiteral("no pseudo-terminal: ") + path;
        return false;
    }
    win.reset(new MainWindow(nullptr, path));
    label = win->findChild<QLabel *>(QStringLiteral("label_Position"));
    serial = win->findChild<QSerialPort *>();
    if (!label || !serial) {
        *error = QStringLiteral("the window has no position label or no serial port");
        return false;
    }
    // Connected after the window's own readyRead connection, so it runs after readData.
    QObject::connect(serial, &QSerialPort::readyRead, win.get(), [this] {
        if (afterRead)
            afterRead();
    });
    win->show();
    runFor(50);

    auto *connect = win->findChild<QAction *>(QStringLiteral("actionConnect"));
    auto *home = win->findChild<QPushButton *>(QStringLiteral("pushButton_home"));
    if (!connect || !home) {
        *error = QStringLiteral("the window has no Connect action or no home button");
        return false;
    }
    // On a loaded machine (or under valgrind) the answer may miss the first poll tick; the
    // panel then says "No Device found", which is answered and the connection tried again.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            box->done(0);
    });
    closer.start(20);
    for (int attempt = 0; attempt < 5; ++attempt) {
        connect->trigger();
        if (!serial->isOpen()) {
            *error = QStringLiteral("the panel did not open ") + path;
            return false;
        }
        // Identified once the first poll tick has enabled the home button.
        if (runUntil([&] { return home->isEnabled() || !serial->isOpen(); }, 5000)
            && home->isEnabled())
            return true;
        runFor(50);
    }
    *error = QStringLiteral("the panel did not identify the controller");
    return false;
}

bool BenchPanel::runUntil(const std::function<bool()> &done, int timeoutMs)
{
    // A slow tick wakes the loop for conditions that other threads change.
    QTimer wake;
    wake.start(10);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void BenchPanel::runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
