#ifndef SIMULATOROPTIONS_H
#define SIMULATOROPTIONS_H

// How a simulated controller behaves: its firmware, its speed, and the faults it shows.
// The stand-alone simulator and the panel's --simulate fill it through the same functions,
// so that both accept and reject the same values.

#include <QString>

class QCommandLineParser;

struct SimulatorOptions
{
    QString firmware = QStringLiteral("1.06");
    int offsetTenths = 2500; // where the controller puts its zero, in tenths of a micrometre
    double speedUmPerS = 5000.0;
    int calibrationMs = 1500; // how long ">auto" takes
    int informDelayMs = 0; // answer ">inform" this late (0: at once)
    bool silent = false; // a device that never answers
    bool crlf = false; // end replies with CR LF instead of CR
    int hangupAfterMs = 0; // close the terminal after this time (0: never)
    int noiseIntervalMs = 0; // send an unsolicited noise line this often (0: never)
    // After this time, restart behind the open line: silent for restartSilenceMs, then back
    // at position 0 and not calibrated (0: never).
    int restartAfterMs = 0;
};

// How long a restarting controller stays silent.
constexpr int restartSilenceMs = 3000;

// Sets one option by its command-line name ("firmware", "inform-delay", "silent", "crlf",
// "hangup-after", "restart-after", "noise", "speed", "calibration") from its text; the flags take
// an empty value. Returns an empty string on success, else a message that names the bad value.
QString setSimulatorOption(SimulatorOptions &options, const QString &name, const QString &value);

// Declares the simulator's options on a parser.
void addSimulatorOptions(QCommandLineParser &parser);
// Reads the options that the parser has seen; an empty string on success, else the message.
QString readSimulatorOptions(const QCommandLineParser &parser, SimulatorOptions &options);

#endif // SIMULATOROPTIONS_H
