#ifndef PAINTWATCH_H
#define PAINTWATCH_H

// Calls back on every paint of one widget, for as long as it lives.

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class PaintWatch : public QObject
{
public:
    PaintWatch(QWidget *widget, std::function<void()> onPaint)
        : watched(widget)
        , callback(std::move(onPaint))
    {
        watched->installEventFilter(this);
    }
    ~PaintWatch() override
    {
        if (watched)
            watched->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            callback();
        return QObject::eventFilter(object, event);
    }

private:
    QPointer<QWidget> watched;
    std::function<void()> callback;
};

#endif // PAINTWATCH_H
