// lumarvethon-sim: a simulated stage controller on a pseudo-terminal. The first line on
// standard output is the terminal's device path, for the panel (or a test) to open; the
// simulator then serves until SIGINT or SIGTERM ends it.

#include "simulatedcontroller.h"
#include "simulatoroptions.h"
#include "terminationsignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumarvethon-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMARVETHON_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated stage controller. Prints the path of its pseudo-terminal on "
                       "the first line, then serves the controller's commands on it until "
                       "interrupted."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    addSimulatorOptions(parser);

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\"")
                        .arg(parser.positionalArguments().constFirst()));

    SimulatorOptions options;
    const QString message = readSimulatorOptions(parser, options);
    if (!message.isEmpty())
        return fail(message);

    TerminationSignals termination;
    if (!termination.install())
        return fail(QStringLiteral("cannot watch for termination signals"));
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app,
                     &QCoreApplication::quit);

    SimulatedController controller(options);
    if (!controller.start())
        return fail(
            QStringLiteral("cannot create a pseudo-terminal: %1").arg(controller.errorString()));
    QObject::connect(&controller, &SimulatedController::hungUp, &app,
                     [] { std::fprintf(stderr, "lumarvethon-sim: hung up the line\n"); });

    std::printf("%s\n", qPrintable(controller.devicePath()));
    std::fflush(stdout);
    return app.exec();
}
