#ifndef CONSOLE_H
#define CONSOLE_H

// The terminal-style pane of the main window: shows the traffic with the stage controller
// that the window chooses to show, and sends the last line of the pane, ended by a CR,
// whenever the operator presses Return (or Delete, or an arrow key).

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>

class QContextMenuEvent;
class QKeyEvent;
class QMouseEvent;

class Console : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit Console(QWidget *parent = nullptr);

    // Shows text from the program; bytes from the first NUL on are dropped.
    void appendData(const QByteArray &data);
    void setLocalEcho(bool on);

signals:
    void getData(const QByteArray &data);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void sendLastLine();

    bool echoEnabled = false;
    QStringList screenLines;
    QString lastCommand;
};

#endif // CONSOLE_H
