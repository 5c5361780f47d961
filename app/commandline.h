#ifndef COMMANDLINE_H
#define COMMANDLINE_H

// The panel's own command-line options, read after the toolkit has taken its arguments:
// --port PATH offers PATH first in the settings dialog, --simulate[=VERSION] runs a
// simulated controller in the panel's process, and --help and --version answer and end.

#include <QString>
#include <QStringList>

struct CommandLineResult
{
    QString firstPort; // offered first in the settings dialog; empty: the usual list
    bool simulate = false;
    bool reconnect = false; // open a lost port again by itself
    QString firmware = QStringLiteral("1.06"); // of the simulated controller
    int exitCode = -1; // 0 or more: print message and end with this code instead of running
    QString message; // for standard output when exitCode is 0, else for standard error
};

// arguments as QCoreApplication::arguments() gives them, the program's name first.
CommandLineResult parseCommandLine(const QStringList &arguments);

// "--simulate" has an optional value, which the parser cannot express: alone it is rewritten
// to "--simulate=1.06", the default firmware.
QStringList withSimulateDefault(const QStringList &arguments);

#endif // COMMANDLINE_H
