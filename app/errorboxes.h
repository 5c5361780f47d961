#ifndef ERRORBOXES_H
#define ERRORBOXES_H

// The one sink of the panel's failures. In a window, a modal box shown from the event loop,
// never from inside the call that found the failure, so that whatever that call owes a script
// (the reply to its connect, say) goes out first and no script waits for a person to click
// OK. Headless, where no one could close a box, its text goes to standard error and into the
// session record, and the panel goes on at once.

#include <QObject>
#include <QString>

#include <functional>

class QWidget;
class SessionRecorder;

class ErrorBoxes : public QObject
{
public:
    explicit ErrorBoxes(QWidget *window);

    void setHeadless(bool on) { headless = on; }
    bool isHeadless() const { return headless; }
    void setRecorder(SessionRecorder *sessionRecorder) { recorder = sessionRecorder; }
    // Shows once the current call has ended; afterClosed runs when the operator has closed it
    // (headless: right after the text has gone out).
    void show(const QString &title, const QString &text,
              const std::function<void()> &afterClosed = {});
    // A box is open, or about to be shown, or another modal dialog is open.
    bool open() const;

private:
    QWidget *window;
    SessionRecorder *recorder = nullptr;
    bool headless = false;
    int errorBoxesDue = 0; // error boxes waiting to be shown or open
};

#endif // ERRORBOXES_H
