#include "commandline.h"

#include "scriptserver.h"
#include "simulatorprotocol.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace {

const QString defaultFirmware = QStringLiteral("1.06");

CommandLineResult finish(int exitCode, const QString &message)
{
    CommandLineResult result;
    result.exitCode = exitCode;
    result.message = message;
    return result;
}

CommandLineResult failure(const QString &message)
{
    return finish(2, QStringLiteral("%1: %2\n").arg(QCoreApplication::applicationName(), message));
}

// The value of --name as typed, before the parser has run: the default socket path of --listen
// depends on it.
QString nameArgument(const QStringList &arguments)
{
    QString name; // the last one counts, as for the parser
    for (int i = 1; i < arguments.size() && arguments.at(i) != QLatin1String("--"); ++i) {
        if (arguments.at(i) == QLatin1String("--name"))
            name = arguments.value(++i);
        else if (arguments.at(i).startsWith(QLatin1String("--name=")))
            name = arguments.at(i).mid(7);
    }
    return name;
}

// An option whose value is missing, named as the user typed it: the parser would take the next
// option (or the "--" that ends them) as the value, or name another option in its message.
QString missingValue(const QStringList &arguments)
{
    static const QStringList needValue { "--port", "--record", "--name" };
    for (int i = 1; i < arguments.size() && arguments.at(i) != QLatin1String("--"); ++i) {
        if (!needValue.contains(arguments.at(i)))
            continue;
        if (i + 1 >= arguments.size() || arguments.at(i + 1).startsWith(QLatin1String("--")))
            return arguments.at(i);
        ++i;
    }
    return QString();
}

} // namespace

bool needsNoDisplay(const QStringList &arguments)
{
    static const QStringList noDisplay { "--headless", "--help",    "-h", "--help-all",
                                         "-?",         "--version", "-v" };
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--"))
            return false;
        if (noDisplay.contains(arguments.at(i)))
            return true;
    }
    return false;
}

QString recordFileIn(const QString &dir, const QDateTime &start)
{
    const QString stem = QDir(dir).filePath(
        QStringLiteral("lumarvethon-") + start.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
    QString path = stem + QStringLiteral(".csv");
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = stem + QStringLiteral("-%1.csv").arg(n);
    return path;
}

bool isValidInstanceName(const QString &name)
{
    if (name.isEmpty() || name.size() > 32)
        return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-'
              || u == '_'))
            return false;
    }
    return true;
}

QStringList withNameRestored(const QStringList &arguments, const QStringList &original)
{
    // The platform takes every "--name NAME"; the last one counts, as the parser has it when
    // nothing was taken (headless, another platform).
    QString name;
    bool taken = false;
    for (int i = 1; i < original.size() && original.at(i) != QLatin1String("--"); ++i) {
        if (original.at(i) == QLatin1String("--name") && i + 1 < original.size()) {
            name = original.at(++i);
            taken = true;
        } else if (original.at(i).startsWith(QLatin1String("--name="))) {
            taken = false; // still there, and later than any taken one
        }
    }
    if (!taken || arguments.contains(QStringLiteral("--name")))
        return arguments;
    QStringList restored = arguments;
    const int end = restored.indexOf(QStringLiteral("--"), 1);
    // As one argument: a NAME that looks like an option still reaches the name's own check.
    restored.insert(end < 0 ? restored.size() : end, QStringLiteral("--name=") + name);
    return restored;
}

QStringList withSimulateDefault(const QStringList &arguments)
{
    QStringList rewritten;
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (i > 0 && !optionsEnded && argument == QLatin1String("--simulate"))
            rewritten.append(QStringLiteral("--simulate=") + defaultFirmware);
        else
            rewritten.append(argument);
        if (i > 0 && argument == QLatin1String("--"))
            optionsEnded = true; // what follows are arguments, not options
    }
    return rewritten;
}

QStringList withListenDefault(const QStringList &arguments, const QString &defaultPath)
{
    QStringList rewritten;
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (i > 0 && !optionsEnded && argument == QLatin1String("--listen")) {
            const QString next = arguments.value(i + 1);
            const bool pathFollows = i + 1 < arguments.size() && !next.startsWith(u'-');
            rewritten.append(QStringLiteral("--listen=") + (pathFollows ? next : defaultPath));
            if (pathFollows)
                ++i;
        } else {
            rewritten.append(argument);
        }
        if (i > 0 && argument == QLatin1String("--"))
            optionsEnded = true;
    }
    return rewritten;
}

CommandLineResult parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control panel for a single-axis positioning stage on a serial port."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Offer the serial port PATH first in the "
                                                 "settings dialog."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Run a simulated controller with firmware VERSION (1.06, 1.26 or 3.00 to "
                       "9.99; --simulate alone: 1.06) and offer its port first."),
        QStringLiteral("VERSION"));
    const QCommandLineOption reconnect(
        QStringLiteral("reconnect"),
        QStringLiteral("Reconnect automatically when the controller is lost: the chosen path is "
                       "tried again every second, and opened only for the lost device."));
    const QCommandLineOption record(
        QStringLiteral("record"),
        QStringLiteral("Record the session to the CSV file FILE from start-up; FILE must not "
                       "exist yet. A directory (ending in /) gets a new file named by the "
                       "start time."),
        QStringLiteral("FILE"));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window and without a display, driven by scripts only "
                       "(needs --listen); what a message box would say goes to standard "
                       "error and to the record."));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("Let scripts drive the stage through a local socket at PATH; default "
                       "$XDG_RUNTIME_DIR/lumarvethon.sock (lumarvethon-NAME.sock with --name), "
                       "or the same in lumarvethon-UID in the temporary directory when that "
                       "variable is unset."),
        QStringLiteral("PATH"));
    const QCommandLineOption listenGroup(
        QStringLiteral("listen-group"),
        QStringLiteral("Let the members of GROUP reach the script socket too (socket 0660, a "
                       "directory the panel makes for it 0770, both GROUP's): they may then do "
                       "all that scripts may. Without it the socket is the user's own."),
        QStringLiteral("GROUP"));
    const QCommandLineOption name(
        QStringLiteral("name"),
        QStringLiteral("Run as the instance NAME (letters, digits, - and _, at most 32): its own "
                       "window title, default socket path and remembered settings."),
        QStringLiteral("NAME"));
    parser.addOption(port);
    parser.addOption(simulate);
    parser.addOption(reconnect);
    parser.addOption(record);
    parser.addOption(listen);
    parser.addOption(listenGroup);
    parser.addOption(headless);
    parser.addOption(name);

    const QString withoutValue = missingValue(arguments);
    if (!withoutValue.isEmpty())
        return failure(QStringLiteral("Missing value after '%1'").arg(withoutValue));
    const QString typedName = nameArgument(arguments);
    const QString listenDefault
        = ScriptServer::defaultPath(isValidInstanceName(typedName) ? typedName : QString());
    if (!parser.parse(withListenDefault(withSimulateDefault(arguments), listenDefault)))
        return failure(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        return finish(0, parser.helpText());
    if (parser.isSet(version))
        return finish(0,
                      QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                    QCoreApplication::applicationVersion()));
    if (!parser.positionalArguments().isEmpty())
        return failure(QStringLiteral("unexpected argument \"%1\"")
                           .arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(port) && parser.isSet(simulate))
        return failure(QStringLiteral("--port and --simulate cannot be used together: the "
                                      "simulated controller brings its own port"));

    CommandLineResult result;
    if (parser.isSet(name)) {
        result.instanceName = parser.value(name);
        if (!isValidInstanceName(result.instanceName))
            return failure(QStringLiteral("invalid name \"%1\" for --name: expected 1 to 32 "
                                          "ASCII letters, digits, - and _")
                               .arg(result.instanceName));
    }
    result.reconnect = parser.isSet(reconnect);
    if (parser.isSet(port)) {
        result.firstPort = parser.value(port).trimmed();
        if (result.firstPort.isEmpty())
            return failure(QStringLiteral("--port needs the path of a serial port"));
    }
    if (parser.isSet(simulate)) {
        result.simulate = true;
        result.firmware = parser.value(simulate).trimmed();
        if (!isSupportedFirmware(result.firmware))
            return failure(QStringLiteral("invalid firmware version \"%1\" for --simulate: "
                                          "expected 1.06, 1.26 or a version from 3.00 to 9.99")
                               .arg(parser.value(simulate)));
    }
    if (parser.isSet(record)) {
        result.recordFile = parser.value(record);
        if (result.recordFile.isEmpty())
            return failure(QStringLiteral("--record needs the name of a file to create"));
        if (QFileInfo(result.recordFile).isDir())
            result.recordFile = recordFileIn(result.recordFile, QDateTime::currentDateTime());
        else if (result.recordFile.endsWith(u'/'))
            return failure(QStringLiteral("cannot record to \"%1\": no such directory")
                               .arg(result.recordFile));
        // A record never replaces anything; the file is also created exclusively, for a file
        // that appears after this check.
        if (QFileInfo::exists(result.recordFile) || QFileInfo(result.recordFile).isSymLink())
            return failure(QStringLiteral("cannot record to \"%1\": the file exists already")
                               .arg(result.recordFile));
    }
    if (parser.isSet(listen)) {
        const QString path = parser.value(listen).trimmed();
        if (path.isEmpty())
            return failure(QStringLiteral("--listen needs the path of a socket"));
        result.listenPath = QFileInfo(path).absoluteFilePath();
    }
    if (parser.isSet(listenGroup)) {
        result.listenGroup = parser.value(listenGroup).trimmed();
        gid_t gid = 0;
        QString error;
        if (!SocketPath::groupId(result.listenGroup, &gid, &error))
            return failure(QStringLiteral("invalid group \"%1\" for --listen-group: %2")
                               .arg(parser.value(listenGroup), error));
    }
    result.headless = parser.isSet(headless);
    if (result.headless && result.listenPath.isEmpty())
        return failure(QStringLiteral("--headless needs --listen: without a window, scripts "
                                      "are the only way to drive the panel"));
    return result;
}
