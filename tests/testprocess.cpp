#include "testprocess.h"

#include <csignal>
#include <sys/prctl.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

void ownGroupDyingWithTheTest()
{
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

} // namespace

TestProcess::TestProcess()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    setChildProcessModifier(ownGroupDyingWithTheTest);
#endif
    // Remembered at the start: processId() forgets it once the program ends, its group lives on.
    connect(this, &QProcess::started, this, [this] { group = processId(); });
}

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
void TestProcess::setupChildProcess()
{
    ownGroupDyingWithTheTest();
}
#endif

TestProcess::~TestProcess()
{
    if (group > 0)
        ::kill(-pid_t(group), SIGKILL);
    if (state() != QProcess::NotRunning)
        waitForFinished(5000);
}
