#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

ControllerEnd::ControllerEnd(QObject *parent)
    : QObject(parent)
{
    connect(&terminal, &PseudoTerminal::received, this,
            [this](const QByteArray &data) { bytes.append(data); });
}

bool ControllerEnd::waitForBytes(int n, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (bytes.size() < n && clock.elapsed() < timeoutMs)
        QTest::qWait(2);
    return bytes.size() >= n;
}

bool ControllerEnd::waitForText(const QByteArray &text, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!bytes.contains(text) && clock.elapsed() < timeoutMs)
        QTest::qWait(2);
    return bytes.contains(text);
}

QByteArray ControllerEnd::take()
{
    QByteArray all;
    all.swap(bytes);
    return all;
}

ModalCloser::ModalCloser(int delayMs, QObject *parent)
    : QObject(parent)
    , timer(new QTimer(this))
    , delay(delayMs)
{
    connect(timer, &QTimer::timeout, this, &ModalCloser::check);
    timer->start(5);
}

bool ModalCloser::boxOpen()
{
    return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr;
}

void ModalCloser::check()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box) {
        current = nullptr;
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (box != current) {
        current = box;
        openedAt = now;
        seen.append({ box->windowTitle(), box->text() });
    }
    if (now - openedAt >= delay) {
        current = nullptr;
        box->done(QMessageBox::Ok);
    }
}

void spin(int ms)
{
    QTest::qWait(ms);
}

PanelOnLine::PanelOnLine()
{
    controller.open();
    window = new MainWindow(nullptr, controller.devicePath());
    window->show();
}

PanelOnLine::~PanelOnLine()
{
    delete window;
}

void PanelOnLine::trigger(const char *actionName) const
{
    find<QAction>(actionName)->trigger();
}

bool PanelOnLine::connectPanel(const QByteArray &answer)
{
    controller.take();
    trigger("actionConnect");
    if (!controller.waitForText(QByteArrayLiteral(">inform\r>status\r")))
        return false;
    controller.take();
    if (!answer.isEmpty()) {
        controller.write(answer);
        settle();
    }
    return true;
}

bool PanelOnLine::connectAndHome()
{
    if (!connectPanel())
        return false;
    if (!controller.waitForText(QByteArrayLiteral(">cp\r"), 1000))
        return false;
    QTest::qWait(10);
    auto *home = find<QPushButton>("pushButton_home");
    if (!home->isEnabled())
        return false;
    home->click();
    settle();
    controller.take();
    return true;
}

void PanelOnLine::settle(int ms)
{
    QTest::qWait(ms);
}
