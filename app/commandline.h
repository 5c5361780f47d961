#ifndef COMMANDLINE_H
#define COMMANDLINE_H

// The panel's own command-line options, read after the toolkit has taken its arguments:
// --port PATH offers PATH first in the settings dialog, --simulate[=VERSION] runs a
// simulated controller in the panel's process, --reconnect opens a lost port again by itself,
// --record FILE records the session from start-up to a new file (in a directory: to a new file
// named by the start time), --listen [PATH] lets scripts drive the stage through a local
// socket, --headless runs without a window, --name NAME makes the panel an instance of its
// own (title, default socket, remembered settings), and --help and --version answer and end.

#include <QString>
#include <QStringList>

class QDateTime;

struct CommandLineResult
{
    QString firstPort; // offered first in the settings dialog; empty: the usual list
    bool simulate = false;
    bool reconnect = false; // open a lost port again by itself
    QString firmware = QStringLiteral("1.06"); // of the simulated controller
    QString recordFile; // empty: no record from start-up
    QString listenPath; // absolute path of the script socket; empty: scripts not allowed
    QString listenGroup; // the group that may reach the socket too; empty: the remembered one
    bool headless = false; // no window: what a message box would say goes to stderr
    QString instanceName; // empty: the default instance
    int exitCode = -1; // 0 or more: print message and end with this code instead of running
    QString message; // for standard output when exitCode is 0, else for standard error
};

// ASCII letters, digits, "-" and "_", 1 to 32 of them: a name that is safe in a file name.
bool isValidInstanceName(const QString &name);

// arguments as QCoreApplication::arguments() gives them, the program's name first.
CommandLineResult parseCommandLine(const QStringList &arguments);

// Whether these arguments ask for something that needs no display (--headless, --help,
// --version): the program then picks the offscreen platform before the toolkit starts.
bool needsNoDisplay(const QStringList &arguments);

// A new record file in the directory dir, named by the start time, with "-2", "-3", ... for
// a name that is taken already.
QString recordFileIn(const QString &dir, const QDateTime &start);
// The X11 platform takes "--name NAME" for itself (the window's resource name) before the
// panel sees its arguments: put back what it took, from the arguments main() was given.
QStringList withNameRestored(const QStringList &arguments, const QStringList &original);

// "--simulate" has an optional value, which the parser cannot express: alone it is rewritten
// to "--simulate=1.06", the default firmware.
QStringList withSimulateDefault(const QStringList &arguments);

// "--listen" has an optional value too: followed by an argument that is no option it takes
// that as its PATH, alone it is rewritten to "--listen=" and the default path.
QStringList withListenDefault(const QStringList &arguments, const QString &defaultPath);

#endif // COMMANDLINE_H
