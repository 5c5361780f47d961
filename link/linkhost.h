#ifndef LINKHOST_H
#define LINKHOST_H

// What link supervision needs of the panel that owns the port: its status line, its console,
// the read-out's colour, the homing rule and the port itself. The main window implements it.

#include <QString>

#include <functional>

class LinkHost
{
public:
    virtual ~LinkHost() = default;

    virtual QString statusText() const = 0;
    virtual void showStatus(const QString &text) = 0;
    virtual void consoleNote(const QString &text) = 0; // a line of the panel's own
    virtual void showErrorBox(const QString &title, const QString &text,
                              const std::function<void()> &afterClosed)
        = 0;
    virtual void showReadoutLive(bool live) = 0; // grey when the value is not live
    virtual bool controllerKnown() const = 0; // it has identified itself on this port
    // The stage may have lost its reference: homed goes, and the controller is asked again
    // for its version and calibration state (askIdentity).
    virtual void requireHomingAgain() = 0;
    virtual void askIdentity() = 0; // the version and calibration state, as at an open
    // Opens the port by that name; a quiet open (a reconnection try) shows no box.
    virtual bool openPort(const QString &portName, bool quiet) = 0;
    virtual void closePort() = 0;
    virtual void offerDisconnect(bool offered) = 0;
};

#endif // LINKHOST_H
