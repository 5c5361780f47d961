#ifndef BENCHPANEL_H
#define BENCHPANEL_H

// The panel under measurement: the real main window, connected through a real
// pseudo-terminal to a controller end on its own thread, with a hook that runs on every
// readyRead after the window has taken the bytes in.

#include "controllerthread.h"

#include <QString>

#include <functional>
#include <memory>

class MainWindow;
class QLabel;
class QSerialPort;

class BenchPanel
{
public:
    BenchPanel();
    ~BenchPanel();

    // Opens the terminal, shows the window, connects and waits for the identification.
    bool connectPanel(QString *error);

    ControllerEnd &controller() { return *end; }
    MainWindow *window() const { return win.get(); }
    QLabel *positionLabel() const { return label; }
    QSerialPort *port() const { return serial; }

    // Runs after the window's own readData on every readyRead (empty: nothing).
    void setAfterRead(std::function<void()> hook) { afterRead = std::move(hook); }

    // Runs the event loop until done() is true or the time is up; false on timeout.
    static bool runUntil(const std::function<bool()> &done, int timeoutMs);
    static void runFor(int ms);

private:
    std::unique_ptr<ControllerEnd> end;
    std::unique_ptr<MainWindow> win;
    QLabel *label = nullptr;
    QSerialPort *serial = nullptr;
    std::function<void()> afterRead;
};

#endif // BENCHPANEL_H
