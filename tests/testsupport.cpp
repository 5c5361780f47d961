#include "testsupport.h"

#include "positionswindow.h"
#include "scriptingfeature.h"

#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

namespace {

QTemporaryDir *configuration = nullptr;

// No test touches the user's own configuration or runtime directory: every program linking
// this takes temporary ones, which the programs it starts inherit, and reads numbers in C.
void useTemporaryConfiguration()
{
    static QTemporaryDir dir, runtime;
    configuration = &dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    QLocale::setDefault(QLocale::c());
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(useTemporaryConfiguration)

QString configurationDir()
{
    return configuration->path() + QStringLiteral("/lumarvethon");
}

void forgetRemembered()
{
    QDir(configurationDir()).removeRecursively();
}

ControllerEnd::ControllerEnd(QObject *parent)
    : QObject(parent)
{
    connect(&terminal, &PseudoTerminal::received, this,
            [this](const QByteArray &data) { bytes += data; });
}

bool ModalCloser::boxOpen()
{
    return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr;
}

bool ModalCloser::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QMessageBox *>(watched);
    if (box && event->type() == QEvent::Show) {
        seen.append({ box->windowTitle(), box->text() });
        QTimer::singleShot(delay, box, [box] { box->done(QMessageBox::Ok); });
    }
    return false;
}

PanelOnLine::PanelOnLine()
{
    controller.open();
    forgetRemembered(); // a first start, whatever the test before remembered
    window = new MainWindow(nullptr, controller.devicePath());
    window->show();
}

bool PanelOnLine::connectPanel(const QByteArray &answer)
{
    controller.take();
    trigger("actionConnect");
    if (!controller.waitForText(QByteArrayLiteral(">inform\r>status\r")))
        return false;
    controller.take();
    controller.write(answer);
    settle();
    return true;
}

bool PanelOnLine::connectAndHome()
{
    auto *home = find<QPushButton>("pushButton_home");
    if (!connectPanel() || !controller.waitForText(">cp\r", 3000)
        || !QTest::qWaitFor([home] { return home->isEnabled(); }, 3000))
        return false;
    home->click();
    settle();
    controller.take();
    return probe().homed();
}

ScriptablePanel &PanelOnLine::scripts() const
{
    return *window->findChild<ScriptingFeature *>();
}

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

PositionsWindow *openPositions(const QWidget &window)
{
    child<QAction>(window, "actionPositions")->trigger();
    return child<PositionsWindow>(window, "positionsWindow");
}
