#include "stopkey.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>

namespace {

// The item view whose cell editor (a widget on its viewport) holds the keyboard, if any.
QAbstractItemView *editingView(QWidget *focus)
{
    for (QWidget *w = focus ? focus->parentWidget() : nullptr; w; w = w->parentWidget()) {
        if (auto *view = qobject_cast<QAbstractItemView *>(w))
            return view->viewport()->isAncestorOf(focus) ? view : nullptr;
    }
    return nullptr;
}

} // namespace

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
    connect(stopAction, &QAction::triggered, this, &StopKey::pressed);
    // The windows it owns are polished when first shown; each takes the key then.
    window.installEventFilter(this);
}

void StopKey::setConnected(bool connected)
{
    stopAction->setEnabled(connected);
}

void StopKey::pressed()
{
    // Esc in a cell editor cancels the edit, as it always has: some Qt versions let the
    // window's shortcut take the key before the editor sees it, so it is handed back.
    QWidget *focus = QApplication::focusWidget();
    if (editingView(focus)) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(focus, &escape);
        return;
    }
    emit stopRequested();
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
