#ifndef STOPKEY_H
#define STOPKEY_H

// Esc stops the stage from any window of the panel (the main window and the windows it owns,
// not its dialogs, where Esc still closes the dialog) whenever a controller is connected,
// whatever the state of the designed Stop button. The action "Stop the stage" in the
// Connection menu names the key.

#include <QObject>

class QAction;
class QMenu;
class QWidget;

class StopKey : public QObject
{
    Q_OBJECT

public:
    StopKey(QWidget &window, QMenu &connectionMenu);
    QAction &action() const { return *stopAction; }
    void setConnected(bool connected);

signals:
    void stopRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void pressed();

    QAction *stopAction = nullptr;
};

#endif // STOPKEY_H
