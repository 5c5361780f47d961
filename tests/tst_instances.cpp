// Panel instances and what they remember: the operator's choices back after a restart, a
// damaged settings file taken as the defaults, two instances kept apart.

#include "panelsettings.h"
#include "positionswindow.h"
#include "scriptserver.h"
#include "settingsdialog.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool checked(const QWidget &window, const char *action)
{
    return child<QAction>(window, action)->isChecked();
}

SettingsDialog *settingsDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<SettingsDialog *>(widget))
            return dialog;
    }
    return nullptr;
}

// Answers the next file dialog: chooses path (or only reads where it opened, path empty).
void answerFileDialog(const QString &path, QString *openedIn = nullptr)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, path, openedIn] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->deleteLater();
        if (openedIn)
            *openedIn = dialog->directory().absolutePath();
        if (path.isEmpty())
            return static_cast<QDialog *>(dialog)->done(QDialog::Rejected);
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
    });
    poll->start(50);
}

QString settingsFile(const char *instance)
{
    return configurationDir() + QStringLiteral("/lumarvethon-%1.conf").arg(instance);
}

} // namespace

class TestInstances : public QObject
{
    Q_OBJECT

private slots:
    void rememberedAfterRestart();
    void damagedSettings_data();
    void damagedSettings();
    void unwrittenSettings_data();
    void unwrittenSettings();
};

void TestInstances::rememberedAfterRestart()
{
    forgetRemembered();
    ControllerEnd port;
    QVERIFY(port.open());
    QTemporaryDir records;
    const QString record = records.filePath(QStringLiteral("session.csv"));
    {
        MainWindow simulated(nullptr, port.devicePath(), QStringLiteral("r"));
        simulated.features().setSimulatedPort(port.devicePath()); // as --simulate does with its own
        settingsDialog()->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
    }
    QVERIFY(!QSettings(settingsFile("r"), QSettings::IniFormat).contains("connection/port"));
    {
        MainWindow first(nullptr, port.devicePath(), QStringLiteral("r"));
        first.show();
        settingsDialog()->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
        child<QAction>(first, "actionReconnect")->trigger();
        child<QAction>(first, "actionAllowScripts")->trigger();
        child<QDoubleSpinBox>(first, "doubleSpinBox_mrstp")->setValue(350);
        child<QAction>(first, "actionPositionPlot")->trigger();
        child<QComboBox>(first, "plotRange")->setCurrentIndex(1);
        first.move(140, 120);
        answerFileDialog(record);
        child<QAction>(first, "actionRecord")->trigger();
        QTRY_VERIFY(QFile::exists(record));
    }
    MainWindow second(nullptr, QString(), QStringLiteral("r"));
    second.show();
    QTRY_VERIFY(checked(second, "actionAllowScripts"));
    QLocalSocket script;
    script.connectToServer(ScriptServer::defaultPath(QStringLiteral("r")));
    QVERIFY(script.waitForConnected(1000));
    QCOMPARE(second.windowTitle() + ", " + openPositions(second)->windowTitle(),
             QStringLiteral("Lumarvethon - r, Positions - r"));
    { // another r finds its socket taken, says so and goes on without scripts
        MainWindow again(nullptr, QString(), QStringLiteral("r"));
        QTRY_VERIFY(child<QStatusBar>(again, "statusBar")
                        ->currentMessage()
                        .startsWith("Scripts are not allowed: another program is listening on "
                                    + ScriptServer::defaultPath(QStringLiteral("r"))));
        QVERIFY(!checked(again, "actionAllowScripts") && checked(again, "actionReconnect"));
    }
    QVERIFY(checked(second, "actionReconnect"));
    QCOMPARE(settingsDialog()->currentSettings().portName, port.devicePath());
    QCOMPARE(child<QDoubleSpinBox>(second, "doubleSpinBox_mrstp")->value(), 350.0);
    QCOMPARE(second.pos(), QPoint(140, 120));
    child<QAction>(second, "actionPositionPlot")->trigger();
    QCOMPARE(child<QComboBox>(second, "plotRange")->currentData().toInt(), 10);
    QString openedIn;
    answerFileDialog(QString(), &openedIn);
    child<QAction>(second, "actionRecord")->trigger();
    QCOMPARE(openedIn, records.path());

    // The same done as command-line options do it holds for that run only.
    second.features().setReconnectAutomatically(false);
    QString error;
    QVERIFY(
        second.features().listenForScripts(records.filePath(QStringLiteral("other.sock")), &error));
    for (int toggle = 0; toggle < 2; ++toggle) // the operator's off and on again
        child<QAction>(second, "actionAllowScripts")->trigger();
    QVERIFY(checked(second, "actionAllowScripts"));
    const QSettings file(settingsFile("r"), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("connection/reconnect")).toString(), QStringLiteral("true"));
    QCOMPARE(file.value(QStringLiteral("scripts/socket")).toString(),
             ScriptServer::defaultPath(QStringLiteral("r")));
}

void TestInstances::damagedSettings_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("notice");
    QTest::newRow("wrong types")
        << QByteArray("[connection]\nreconnect=maybe\nport=a, b\n[window]\nposition=17\n"
                      "[positioning]\nstep=abc\n[plot]\nminutes=ten\n[scripts]\nallow=1\n"
                      "[positions]\ncontroller=x, y\nlist\\1\\name=bad!\nlist\\1\\um=5\n"
                      "list\\size=1\n")
        << "connection/port, connection/reconnect, scripts/allow, window/position, "
           "positioning/step, plot/minutes; 2 saved position entries not valid";
    QTest::newRow("out of range")
        << QByteArray("[scripts]\nsocket=relative.sock\n[positioning]\nstep=6000.5\n"
                      "[plot]\nminutes=7\n[positions]\nlist\\1\\name=a\nlist\\1\\um=1e7\n"
                      "list\\2\\name=b\nlist\\2\\um=nan\nlist\\size=2\n")
        << "used: scripts/socket, positioning/step, plot/minutes; 2 saved position entries";
    QTest::newRow("unparsable") << QByteArray("[connection\nreconnect=true\n\xff\xfe\0\n")
                                << "could not be read and was kept as " + settingsFile("bad")
            + ".bad; the defaults are used";
    QTest::newRow("list too long") << QByteArray("[positions]\nlist\\size=2147483647\n")
                                   << "claims 2147483647 entries; 1000 are read";
    // Not files: a reader of a pipe would wait for ever.
    const QString setAside
        = "was not a regular file and was kept as " + settingsFile("bad") + ".bad";
    QTest::newRow("directory") << QByteArray("directory") << setAside;
    QTest::newRow("pipe") << QByteArray("pipe") << setAside;
}

void TestInstances::damagedSettings()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, notice);
    forgetRemembered();
    QVERIFY(QDir().mkpath(configurationDir()));
    QFile file(settingsFile("bad"));
    if (content == "directory")
        QVERIFY(QDir().mkpath(settingsFile("bad") + "/x"));
    else if (content == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(file.fileName()).constData(), 0600), 0);
    else
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();

    MainWindow window(nullptr, QString(), QStringLiteral("bad"));
    window.show();
    QTRY_VERIFY2(child<QStatusBar>(window, "statusBar")->currentMessage().contains(notice),
                 qPrintable(child<QStatusBar>(window, "statusBar")->currentMessage()));
    QVERIFY(!checked(window, "actionReconnect") && !checked(window, "actionAllowScripts"));
    QCOMPARE(child<QDoubleSpinBox>(window, "doubleSpinBox_mrstp")->value(), 200.0);
    QCOMPARE(openPositions(window)->findChild<QTableWidget *>()->rowCount(), 0);
    child<QAction>(window, "actionPositionPlot")->trigger();
    QCOMPARE(child<QComboBox>(window, "plotRange")->currentData().toInt(), 1);
    QFile kept(settingsFile("bad") + ".bad");
    const bool setAside = notice.contains(".bad");
    QCOMPARE(kept.exists(), setAside);
    QVERIFY(!setAside || !QFileInfo(kept).isFile()
            || (kept.open(QIODevice::ReadOnly) && kept.readAll() == content));
}

// A write that does not reach the disk says why and keeps the value for the next that can; on
// a tmpfs of its own where one can be mounted (as root), else a read-only directory.
void TestInstances::unwrittenSettings_data()
{
    QTest::addColumn<QString>("mountOptions"); // empty: a read-only directory
    QTest::addColumn<QString>("reason");
    QTest::newRow("full") << "size=16k"
                          << "No space left on device";
    QTest::newRow("read-only") << (::geteuid() == 0 ? "ro" : "") << "Read-only file system";
}

void TestInstances::unwrittenSettings()
{
    QFETCH(QString, mountOptions);
    QFETCH(QString, reason);
    forgetRemembered();
    const QString dir = configurationDir();
    QVERIFY(QDir().mkpath(dir));
    const auto mount = [&](const QString &options) {
        return QProcess::execute("mount", { "-t", "tmpfs", "-o", options, "tmpfs", dir }) == 0;
    };
    if (!mountOptions.isEmpty() && !mount(mountOptions))
        QSKIP("no tmpfs can be mounted here");
    const auto unmount = qScopeGuard([&] {
        if (mountOptions.isEmpty())
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        else
            QProcess::execute("umount", { dir });
    });
    QFile filler(dir + "/filler");
    if (mountOptions.startsWith("size")) {
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(1024, 'x')) == 1024 && filler.flush()) { }
        filler.close();
    } else if (mountOptions.isEmpty()) {
        reason = "Permission denied";
        QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
    }

    PanelSettings settings(QStringLiteral("w"));
    QSignalSpy failed(&settings, &PanelSettings::writeFailed);
    QVERIFY(!settings.setStepSize(12.5));
    QVERIFY2(settings.writeError().contains(reason), qPrintable(settings.writeError()));
    QCOMPARE(failed.value(0).value(0).toString(), settings.writeError());
    QCOMPARE(settings.stepSize(), 12.5); // kept in memory
    QVERIFY(!settings.writePosition(0, 1, "c", { "a", "1.5" }));
    // Room again: the next write brings both.
    if (mountOptions == "ro")
        QVERIFY(mount("remount,rw"));
    filler.remove();
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(settings.setPlotMinutes(10));
    QVERIFY(settings.writeError().isEmpty());
    QSettings file(settingsFile("w"), QSettings::IniFormat);
    QCOMPARE(file.value("positioning/step").toDouble(), 12.5);
    QCOMPARE(file.value("positions/list/1/name").toString(), QStringLiteral("a"));
}

QTEST_MAIN(TestInstances)
#include "tst_instances.moc"
