// The script socket's path: one panel per path, a crashed panel's socket replaced and nothing
// else, open to its owner only, removed only while the panel's, the user's own directory.

#include "console.h"
#include "scriptserver.h"
#include "socketpath.h"
#include "testprocess.h"
#include "testsupport.h"

#include <QLocalServer>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

class TestScriptSocket : public QObject
{
    Q_OBJECT

private slots:
    void listening();
    void pathOwnership_data();
    void pathOwnership();
};

void TestScriptSocket::listening()
{
    const QString path = socketPath();
    {
        QLocalServer other; // another panel's socket; the record made for the run goes again
        QVERIFY(other.listen(path));
        TestProcess second;
        second.start(QStringLiteral(LUMARVETHON_BIN),
                     { "--listen", path, "--record", path + ".csv" });
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 2);
        QVERIFY(second.readAllStandardError().contains("another program is listening on"));
        QVERIFY(!QFileInfo::exists(path + ".csv"));
    }
    PanelOnLine panel; // on the path the other one has left
    panel.trigger("actionAllowScripts");
    QVERIFY(panel.find<QAction>("actionAllowScripts")->isChecked());
    QVERIFY(panel.probe().console()->toPlainText().contains(
        QStringLiteral("Listening on %1").arg(path)));
    Script script(path);
    QCOMPARE(script.ask("position"), QByteArray("error not connected"));
    QCOMPARE(QFileInfo(path).permissions() & 0x0077, 0); // open to its owner only
    // Closing removes the socket only while it is the panel's: not another program's.
    QVERIFY(QFile::remove(path));
    QLocalServer later;
    QVERIFY(later.listen(path));
    panel.trigger("actionAllowScripts"); // off again: the script is let go
    QTRY_VERIFY(script.closed());
    QVERIFY(QFileInfo::exists(path));
}

void TestScriptSocket::pathOwnership_data()
{
    QTest::addColumn<QString>("place"); // what is at the default path, or its directory
    QTest::addColumn<QString>("error"); // empty: the panel listens there
    const auto row = [](const char *name, const char *place, const char *error) {
        QTest::newRow(name) << QString(place) << QString(error);
    };
    row("left socket", "refusing", "");
    row("file", "file", "%1 exists and is not a socket");
    row("no answer", "full", "cannot use %1: no answer within 1000 ms");
    row("directory made", "no directory", "");
    row("made for a group", "group", "");
    row("directory open", "open", "the directory %1 is open to other users");
    row("another's directory", "chown", "the directory %1 belongs to another user");
}

void TestScriptSocket::pathOwnership()
{
    QFETCH(QString, place);
    QFETCH(QString, error);
    // With no runtime directory, the default is in one of the user's own.
    QTemporaryDir tmp;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), temp = qgetenv("TMPDIR");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("TMPDIR", temp);
    });
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", tmp.path().toLocal8Bit());
    const QString dir = tmp.filePath(QStringLiteral("lumarvethon-%1").arg(::getuid()));
    const QString path = dir + QStringLiteral("/lumarvethon.sock");
    QCOMPARE(ScriptServer::defaultPath(), path);
    if (place != "no directory" && place != "group")
        QVERIFY(QDir().mkdir(dir) && (place == "open" || ::chmod(qPrintable(dir), 0700) == 0));
    if (place == "chown" && ::chown(qPrintable(dir), 65534, 65534) != 0)
        QSKIP("changing the owner needs root");
    int fds[2] = { -1, -1 };
    const auto closeFds = qScopeGuard([&fds] { ::close(fds[0]), ::close(fds[1]); });
    if (place == "refusing") {
        QLocalServer crashed;
        QVERIFY(crashed.listen(path + ".old") && QFile::rename(path + ".old", path));
    } else if (place == "file") {
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    } else if (place == "full") { // a listener whose queue is full: connecting times out
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, qPrintable(path), sizeof address.sun_path);
        const auto *a = reinterpret_cast<const sockaddr *>(&address);
        fds[0] = ::socket(AF_UNIX, SOCK_STREAM, 0);
        fds[1] = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(::bind(fds[0], a, sizeof address) == 0 && ::listen(fds[0], 0) == 0
                && ::connect(fds[1], a, sizeof address) == 0);
    }
    const QString kept = place == "open" || place == "chown" ? dir : path;
    const SocketPath::FileId before = SocketPath::fileId(kept);
    const QFile::Permissions mode = QFileInfo(kept).permissions();
    MainWindow window;
    const struct group *own = ::getgrgid(::getgid());
    QVERIFY(own);
    if (place == "group")
        window.features().setListenGroup(QString::fromLocal8Bit(own->gr_name));
    QString reason;
    QCOMPARE(window.features().listenForScripts(path, &reason), error.isEmpty());
    QVERIFY2(reason.contains(error.arg(kept)), qPrintable(reason));
    struct stat status = {};
    if (place == "group") { // the group's, and no one else's
        QVERIFY(::stat(qPrintable(dir), &status) == 0 && status.st_gid == own->gr_gid);
        QCOMPARE(status.st_mode & 0777, 0770u);
        QVERIFY(::stat(qPrintable(path), &status) == 0 && status.st_gid == own->gr_gid);
        QCOMPARE(status.st_mode & 0777, 0660u);
    } else if (error.isEmpty()) {
        QCOMPARE(QFileInfo(dir).permissions() & 0x0077, 0);
        QCOMPARE(Script(path).ask("state").left(14), QByteArray("ok connected=0"));
    } else { // left as it was
        QVERIFY(SocketPath::fileId(kept) == before && QFileInfo(kept).permissions() == mode);
    }
}

QTEST_MAIN(TestScriptSocket)
#include "tst_scriptsocket.moc"
