#ifndef FAULTSUPPORT_H
#define FAULTSUPPORT_H

// What the fault and reply tests share: a panel on a simulated controller, a look behind an
// open message box, and the process's CPU time, heap and open file descriptors.

#include "simulatedcontroller.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <cstddef>
#include <memory>
#include <sys/resource.h>

#if defined(__SANITIZE_ADDRESS__)
#define FAULTS_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FAULTS_UNDER_ASAN 1
#endif
#endif

#ifdef FAULTS_UNDER_ASAN
// From the AddressSanitizer runtime (GCC does not install the header that declares it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

// CPU time (user and system) used by this process so far, in seconds.
inline double cpuSeconds()
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds used while the event loop runs for ms. A plain event loop, not QTest::qWait,
// which wakes up every few milliseconds on its own.
inline double cpuWhileIdle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    const double before = cpuSeconds();
    loop.exec();
    return cpuSeconds() - before;
}

// Bytes allocated on the heap right now (under AddressSanitizer, its own count).
inline std::size_t heapInUse()
{
#ifdef FAULTS_UNDER_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

inline int openFileDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

// What a test sees of the panel while a message box is open; looked at from timers, because
// the box runs an event loop of its own.
struct BehindTheBox
{
    bool looked = false;
    bool boxOpen = false;
    bool portOpen = true;
    bool pollRunning = true;
    double cpu = -1; // CPU seconds over the measuring window
};

// From lookAfterMs on, looks at the panel and measures its CPU for measureMs.
inline void watchBehindTheBox(BehindTheBox &seen, const PanelProbe &probe, int lookAfterMs = 200,
                              int measureMs = 500)
{
    auto start = std::make_shared<double>(0);
    QTimer::singleShot(lookAfterMs, qApp, [&seen, probe, start] {
        seen.looked = true;
        seen.boxOpen = ModalCloser::boxOpen();
        seen.portOpen = probe.serial()->isOpen();
        seen.pollRunning = probe.pollTimer()->isActive();
        *start = cpuSeconds();
    });
    QTimer::singleShot(lookAfterMs + measureMs, qApp, [&seen, start] {
        seen.boxOpen = seen.boxOpen && ModalCloser::boxOpen();
        seen.cpu = cpuSeconds() - *start;
    });
}

// A panel whose settings dialog offers a simulated controller's terminal first.
class PanelOnSim
{
public:
    explicit PanelOnSim(const SimulatorOptions &options = SimulatorOptions())
        : sim(options)
    {
        started = sim.start();
        window = new MainWindow(nullptr, sim.devicePath());
        window->show();
    }
    ~PanelOnSim() { delete window; }

    SimulatedController sim;
    MainWindow *window = nullptr;
    bool started = false;

    PanelProbe probe() const { return PanelProbe(*window); }
    void trigger(const char *actionName) const
    {
        window->findChild<QAction *>(QString::fromLatin1(actionName))->trigger();
    }
};

#endif // FAULTSUPPORT_H
