#ifndef REMEMBEREDSETTINGS_H
#define REMEMBEREDSETTINGS_H

// What the instance remembers between runs, as the window's changes reach it: the window's
// place (followed through its move events, and put back at start-up when that place is on a
// screen), the step size, the reconnection choice and the port applied in the settings dialog.
// Only the operator's changes are written: options given on the command line set the same
// state without passing through here, so they hold for their run only.

#include <QObject>
#include <QString>

class QWidget;
class PanelSettings;
class SettingsDialog;

class RememberedSettings : public QObject
{
    Q_OBJECT

public:
    RememberedSettings(QWidget &window, PanelSettings &settings, SettingsDialog &dialog);

    // Puts the window back where it was, when that place is on a screen.
    void restorePlace();
    // The simulator's pseudo-terminal, which is never remembered as the chosen port.
    void setSimulatedPort(const QString &path) { simulatedPort = path; }

    void stepChosen(double micrometres);
    void reconnectChosen(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &window;
    PanelSettings &remembered;
    SettingsDialog &dialog;
    QString simulatedPort;
};

#endif // REMEMBEREDSETTINGS_H
