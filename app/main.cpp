// The panel's entry point: the toolkit takes its own arguments, the panel reads its options,
// optionally starts a simulated controller in-process, then shows the main window (or, headless,
// keeps it hidden).

#include "commandline.h"
#include "instancelock.h"
#include "mainwindow.h"
#include "panelfeatures.h"
#include "panelsettings.h"
#include "simulatedcontroller.h"
#include "simulatoroptions.h"
#include "terminationsignals.h"
#include "windowicon.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
#ifdef SIGXFSZ
    // A write beyond the file-size limit then fails with its error, and the record stops as
    // on a full disk, instead of the panel dying with its socket left behind.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // What needs no window must not need a display either (an SSH session, a service).
    QStringList original;
    for (int i = 0; i < argc; ++i)
        original.append(QString::fromLocal8Bit(argv[i]));
    if (needsNoDisplay(original))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumarvethon"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMARVETHON_VERSION));
    // Lets a Wayland compositor match the windows to the installed desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.lumarvethon.Lumarvethon"));

    // SIGINT, SIGTERM and SIGHUP end the loop, so the window is destroyed and the port closed
    // in order. Installed first: a signal during start-up is taken as soon as the loop runs.
    TerminationSignals termination;
    if (termination.install())
        QObject::connect(&termination, &TerminationSignals::terminationRequested, &app,
                         &QCoreApplication::quit);

    const CommandLineResult options
        = parseCommandLine(withNameRestored(QCoreApplication::arguments(), original));
    if (options.exitCode >= 0) {
        std::fputs(qPrintable(options.message), options.exitCode == 0 ? stdout : stderr);
        return options.exitCode;
    }

    // Before anything is touched: a second panel of an instance would overwrite what the
    // first remembers, and take its socket and record.
    InstanceLock lock(PanelSettings::filePath(options.instanceName));
    switch (lock.tryLock()) {
    case InstanceLock::Result::Taken:
        break;
    case InstanceLock::Result::Held:
        std::fprintf(stderr, "lumarvethon: %s\n", qPrintable(lock.message()));
        return 2;
    case InstanceLock::Result::Unavailable:
        std::fprintf(stderr, "lumarvethon: warning: %s\n", qPrintable(lock.message()));
        break;
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

    // The application's icon, so that every window without one of its own (the settings
    // dialog has no parent) shows it too.
    QApplication::setWindowIcon(panelWindowIcon());
    MainWindow window(nullptr, firstPort, options.instanceName);
    window.features().setHeadless(options.headless);
    if (options.simulate)
        window.features().setSimulatedPort(firstPort);
    // For this run only; what is remembered stays as it is.
    if (options.reconnect)
        window.features().setReconnectAutomatically(true);
    if (!options.recordFile.isEmpty()) {
        QString error;
        if (!window.features().startRecording(options.recordFile, false, &error)) {
            std::fprintf(stderr, "lumarvethon: cannot record to \"%s\": %s\n",
                         qPrintable(options.recordFile), qPrintable(error));
            return 2;
        }
    }
    if (!options.listenGroup.isEmpty())
        window.features().setListenGroup(options.listenGroup);
    if (!options.listenPath.isEmpty()) {
        QString error;
        if (!window.features().listenForScripts(options.listenPath, &error)) {
            window.features().discardRecording(); // --record made it for this run alone
            std::fprintf(stderr, "lumarvethon: %s\n", qPrintable(error));
            return 2;
        }
    }
    if (!options.headless)
        window.show();
    return app.exec();
}
