// The panel's entry point: the toolkit takes its own arguments, the panel reads its options,
// optionally starts a simulated controller in-process, then shows the main window.

#include "commandline.h"
#include "mainwindow.h"
#include "simulatedcontroller.h"
#include "simulatoroptions.h"
#include "terminationsignals.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumarvethon"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMARVETHON_VERSION));

    const CommandLineResult options = parseCommandLine(QCoreApplication::arguments());
    if (options.exitCode >= 0) {
        std::fputs(qPrintable(options.message), options.exitCode == 0 ? stdout : stderr);
        return options.exitCode;
    }

    QString firstPort = options.firstPort;
    if (options.simulate) {
        SimulatorOptions simulator;
        simulator.firmware = options.firmware;
        // The application object outlives the window and the event loop.
        auto *controller = new SimulatedController(simulator, &app);
        if (!controller->start()) {
            std::fprintf(stderr,
                         "lumarvethon: cannot simulate a controller: no pseudo-terminal "
                         "(%s)\n",
                         qPrintable(controller->errorString()));
            return 2;
        }
        firstPort = controller->devicePath();
    }

    // SIGINT and SIGTERM end the loop, so the window is destroyed and the port closed in order.
    TerminationSignals termination;
    if (termination.install())
        QObject::connect(&termination, &TerminationSignals::terminationRequested, &app,
                         &QCoreApplication::quit);

    MainWindow window(nullptr, firstPort);
    window.setReconnectAutomatically(options.reconnect);
    if (!options.recordFile.isEmpty()) {
        QString error;
        if (!window.startRecording(options.recordFile, false, &error)) {
            std::fprintf(stderr, "lumarvethon: cannot record to \"%s\": %s\n",
                         qPrintable(options.recordFile), qPrintable(error));
            return 2;
        }
    }
    if (!options.listenPath.isEmpty()) {
        QString error;
        if (!window.listenForScripts(options.listenPath, &error)) {
            std::fprintf(stderr, "lumarvethon: %s\n", qPrintable(error));
            return 2;
        }
    }
    // Read from the working directory at run time; a missing file leaves the window without
    // an icon (a QIcon made from a missing path is not null, so go through the picture).
    const QPixmap picture(QStringLiteral("images/Lumarvethon_Icon_only@500x.png"));
    window.setWindowIcon(picture.isNull() ? QIcon() : QIcon(picture));
    window.show();
    return app.exec();
}
