#ifndef TESTPROCESS_H
#define TESTPROCESS_H

// A program that a test starts. It runs in a process group of its own, and when the object
// goes (whatever the test's outcome, a failed QVERIFY included) the whole group is killed:
// the program and whatever it started (xvfb-run's Xvfb, a panel's simulator). Should the test
// itself crash, the program is killed with it.

#include <QProcess>

class TestProcess : public QProcess
{
public:
    TestProcess();
    ~TestProcess() override;

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
protected:
    void setupChildProcess() override;
#endif

private:
    qint64 group = 0;
};

#endif // TESTPROCESS_H
