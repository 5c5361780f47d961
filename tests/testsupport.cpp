#include "testsupport.h"

#include <QAction>
#include <QApplication>
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
    , delay(delayMs)
{
    qApp->installEventFilter(this);
}

ModalCloser::~ModalCloser()
{
    qApp->removeEventFilter(this);
}

bool ModalCloser::boxOpen()
{
    return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr;
}

bool ModalCloser::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            seen.append({ box->windowTitle(), box->text() });
            QTimer::singleShot(delay, box, [box] { box->done(QMessageBox::Ok); });
        }
    }
    return false;
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
