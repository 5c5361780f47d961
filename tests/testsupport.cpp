#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <utility>

ControllerEnd::ControllerEnd(QObject *parent)
    : QObject(parent)
{
    connect(&terminal, &PseudoTerminal::received, this, [this](const QByteArray &data) { bytes += data; });
}

bool ControllerEnd::waitForBytes(int n, int timeoutMs)
{
    return QTest::qWaitFor([&] { return bytes.size() >= n; }, timeoutMs);
}

bool ControllerEnd::waitForText(const QByteArray &text, int timeoutMs)
{
    return QTest::qWaitFor([&] { return bytes.contains(text); }, timeoutMs);
}

QByteArray ControllerEnd::take()
{
    return std::exchange(bytes, QByteArray());
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
    auto *box = qobject_cast<QMessageBox *>(watched);
    if (box && event->type() == QEvent::Show) {
        seen.append({ box->windowTitle(), box->text() });
        QTimer::singleShot(delay, box, [box] { box->done(QMessageBox::Ok); });
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
    auto *home = find<QPushButton>("pushButton_home");
    if (!connectPanel() || !controller.waitForText(QByteArrayLiteral(">cp\r"), 1000)
        || !QTest::qWaitFor([home] { return home->isEnabled(); }, 1000))
        return false;
    home->click();
    settle();
    controller.take();
    return probe().homed();
}

void PanelOnLine::settle(int ms)
{
    QTest::qWait(ms);
}

QByteArray PanelOnLine::sent()
{
    // Moves carry no CR, so a query right behind one is still cut out whole.
    return controller.take().replace(">cp\r", "");
}
