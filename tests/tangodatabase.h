#ifndef TANGODATABASE_H
#define TANGODATABASE_H

// A Tango database of a test's own: a private MariaDB server in a temporary directory with
// Debian's Tango schema, and DataBaseds, on free loopback ports; ended by the destructor.

#include "testprocess.h"

#include <QString>
#include <QTemporaryDir>

class TangoDatabase
{
public:
    TangoDatabase() = default;
    TangoDatabase(const TangoDatabase &) = delete;
    TangoDatabase &operator=(const TangoDatabase &) = delete;

    // Why this machine cannot run one (a program missing); empty when it can.
    static QString missing();
    // Starts both servers, TANGO_HOST set for what the test starts; false, with errorString().
    bool start();
    // DataBaseds alone: stopped, as a facility's database going down, and started again.
    void stopDataBaseds();
    bool startDataBaseds();
    // tango_admin with the arguments, against this database; false when it fails.
    bool admin(const QStringList &arguments);
    QString errorString() const { return error; }
    // Ends a program that may be stopped (SIGSTOP): SIGTERM, SIGKILL after 5 s.
    static void end(QProcess &process);

private:
    bool run(const QString &program, const QStringList &arguments,
             const QString &input = QString());
    bool startProcess(QProcess &process, const QString &program, const QStringList &arguments,
                      const QString &log);

    QTemporaryDir dir;
    TestProcess mariadb, databaseds;
    QString host;
    int mariadbPort = 0;
    QString error;
};

#endif // TANGODATABASE_H
