#include "testprocess.h"

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

TestProcess::TestProcess()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    // Remembered at the start: once the program has ended, processId() forgets it, while
    // what it started may still run in its group.
    connect(this, &QProcess::started, this, [this] { group = processId(); });
}

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
void TestProcess::setupChildProcess()
{
    ::setpgid(0, 0);
}
#endif

TestProcess::~TestProcess()
{
    if (group > 0)
        ::kill(-pid_t(group), SIGKILL);
    if (state() != QProcess::NotRunning)
        waitForFinished(5000);
}
