#include "stopkey.h"

#include <QAction>
#include <QDialog>
#include <QEvent>
#include <QMenu>

StopKey::StopKey(QWidget &window, QMenu &connectionMenu)
    : QObject(&window)
{
    stopAction = new QAction(tr("Stop the stage"), &window);
    stopAction->setObjectName(QStringLiteral("actionStopStage"));
    stopAction->setShortcut(QKeySequence(Qt::Key_Escape));
    stopAction->setEnabled(false);
    connectionMenu.addSeparator();
    connectionMenu.addAction(stopAction);
    window.addAction(stopAction);
    // The windows it owns are polished when first shown; each takes the key then.
    window.installEventFilter(this);
}

void StopKey::setConnected(bool connected)
{
    stopAction->setEnabled(connected);
}

bool StopKey::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ChildPolished) {
        auto *child = qobject_cast<QWidget *>(static_cast<QChildEvent *>(event)->child());
        if (child && child->windowType() == Qt::Window && !qobject_cast<QDialog *>(child)
            && !child->actions().contains(stopAction))
            child->addAction(stopAction);
    }
    return QObject::eventFilter(watched, event);
}
