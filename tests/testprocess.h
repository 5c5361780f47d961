#ifndef TESTPROCESS_H
#define TESTPROCESS_H

// A program that a test starts, in a process group of its own that is killed with the object
// whatever the outcome (Xvfb or a simulator included), and with the test should it crash.

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
