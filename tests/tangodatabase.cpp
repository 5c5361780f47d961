#include "tangodatabase.h"

#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

const char schema[] = "/usr/share/dbconfig-common/data/tango-db/install/mysql";
const char databasedsProgram[] = "/usr/lib/tango/DataBaseds";

int freePort()
{
    QTcpServer probe; // given back for the server to take
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

} // namespace

QString TangoDatabase::missing()
{
    for (const char *program : { "mariadbd", "mariadb-install-db", "mariadb", "tango_admin" })
        if (QStandardPaths::findExecutable(QLatin1String(program), { "/usr/sbin", "/usr/bin" })
                .isEmpty())
            return QLatin1String(program);
    for (const char *file : { schema, databasedsProgram })
        if (!QFile::exists(QLatin1String(file)))
            return QLatin1String(file);
    return QString();
}

void TangoDatabase::end(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), SIGCONT);
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

bool TangoDatabase::startProcess(QProcess &process, const QString &program,
                                 const QStringList &arguments, const QString &log)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(dir.filePath(log), QIODevice::Append);
    process.start(program, arguments);
    if (!process.waitForStarted(5000)) {
        error = program + QLatin1String(": ") + process.errorString();
        return false;
    }
    return true;
}

bool TangoDatabase::run(const QString &program, const QStringList &arguments, const QString &input)
{
    TestProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!input.isEmpty())
        process.setStandardInputFile(input);
    process.start(program, arguments);
    const bool done = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (!done) {
        error = QStringLiteral("%1 %2: %3")
                    .arg(program, arguments.join(QLatin1Char(' ')),
                         QString::fromLocal8Bit(process.readAll()));
        end(process);
    }
    return done;
}

bool TangoDatabase::admin(const QStringList &arguments)
{
    return run(QStringLiteral("tango_admin"), arguments);
}

bool TangoDatabase::start()
{
    const QString data = dir.filePath(QStringLiteral("data"));
    const QString socket = dir.filePath(QStringLiteral("mysqld.sock"));
    QStringList user;
    if (::getuid() == 0)
        user << QStringLiteral("--user=root"); // mariadbd refuses root unless told
    if (!run(QStringLiteral("mariadb-install-db"),
             QStringList { "--no-defaults", "--datadir=" + data, "--skip-test-db",
                           "--auth-root-authentication-method=normal" }
                 + user))
        return false;
    mariadbPort = freePort();
    if (!startProcess(mariadb, QStringLiteral("mariadbd"),
                      QStringList { "--no-defaults", "--datadir=" + data, "--socket=" + socket,
                                    "--port=" + QString::number(mariadbPort),
                                    "--bind-address=127.0.0.1", "--skip-log-bin",
                                    "--innodb-buffer-pool-size=16M" }
                          + user,
                      QStringLiteral("mariadbd.log")))
        return false;
    const QStringList client { "--no-defaults", "--socket=" + socket, "--user=root" };
    if (!QTest::qWaitFor(
            [&] {
                return run(QStringLiteral("mariadb"), client + QStringList { "-e", "SELECT 1" });
            },
            20000))
        return false;
    // DataBaseds reaches its database by TCP: MYSQL_HOST takes HOST:PORT, not a socket.
    const QString setUp = QStringLiteral(
        "CREATE DATABASE tango; CREATE USER tango@'127.0.0.1' IDENTIFIED BY 'tango'; "
        "GRANT ALL ON tango.* TO tango@'127.0.0.1';");
    if (!run(QStringLiteral("mariadb"), client + QStringList { "-e", setUp })
        || !run(QStringLiteral("mariadb"), client + QStringList { "tango" }, QLatin1String(schema)))
        return false;
    host = QStringLiteral("127.0.0.1:%1").arg(freePort());
    qputenv("TANGO_HOST", host.toLatin1());
    return startDataBaseds();
}

bool TangoDatabase::startDataBaseds()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MYSQL_HOST"),
                       QStringLiteral("127.0.0.1:%1").arg(mariadbPort));
    environment.insert(QStringLiteral("MYSQL_USER"), QStringLiteral("tango"));
    environment.insert(QStringLiteral("MYSQL_PASSWORD"), QStringLiteral("tango"));
    environment.insert(QStringLiteral("MYSQL_DATABASE"), QStringLiteral("tango"));
    databaseds.setProcessEnvironment(environment);
    if (!startProcess(databaseds, QLatin1String(databasedsProgram),
                      { "2", "-ORBendPoint", "giop:tcp:" + host },
                      QStringLiteral("databaseds.log")))
        return false;
    return admin({ "--ping-database", "20" });
}

void TangoDatabase::stopDataBaseds()
{
    end(databaseds);
}
