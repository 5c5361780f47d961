// The main window as it stands right after start-up: the state of the connection's parts,
// the positioning controls, the actions with their texts and shortcuts, the tool bar and
// the menu bar, and the actions that work without a port.

#include "console.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowAfterStartUp();
    void positioningControlsDisabled_data();
    void positioningControlsDisabled();
    void actions_data();
    void actions();
    void toolBarAndMenuBar();
    void sharedStateAfterStartUp();
    void aboutActionsChangeNothing_data();
    void aboutActionsChangeNothing();
    void clearEmptiesConsole();
    void configureShowsSettingsNonModal();
    void quitClosesWindow();

private:
    QString snapshot() const;

    MainWindow *window = nullptr;
};

namespace {

template<typename T> T *member(const QWidget &w, const char *name)
{
    return w.findChild<T *>(QLatin1String(name));
}

} // namespace

void TestMainWindow::init()
{
    window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestMainWindow::cleanup()
{
    delete window;
    window = nullptr;
}

// Everything that an operator could see change, as one comparable text.
QString TestMainWindow::snapshot() const
{
    const PanelProbe probe(*window);
    QStringList parts;
    for (QWidget *w : window->findChildren<QWidget *>())
        parts << w->objectName() + QLatin1Char(w->isEnabled() ? '+' : '-')
                + QLatin1Char(w->isVisible() ? 'v' : 'h');
    for (QAction *a : window->findChildren<QAction *>())
        parts << a->objectName() + QLatin1Char(a->isEnabled() ? '+' : '-');
    parts << probe.statusLabel()->text() << probe.console()->toPlainText()
          << QString::number(window->width()) << QString::number(window->height())
          << QString::number(probe.pollTimer()->isActive())
          << QString::number(probe.serial()->isOpen())
          << QString::number(QApplication::topLevelWidgets().size());
    return parts.join(QLatin1Char('|'));
}

void TestMainWindow::windowAfterStartUp()
{
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Lumarvethon"));
    QCOMPARE(window->minimumSize(), QSize(580, 408));
    QCOMPARE(window->maximumSize(), QSize(580, 408));
    QCOMPARE(window->size(), QSize(580, 408));
    QCOMPARE(window->centralWidget(), member<QWidget>(*window, "centralWidget"));
    QCOMPARE(window->statusBar(), member<QStatusBar>(*window, "statusBar"));
}

void TestMainWindow::positioningControlsDisabled_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");
    for (const char *name : { "pushButton_home", "pushButton_AutoCalibrate", "horizontalSlider",
                              "pushButton_SliderMinus", "pushButton_SliderPlus",
                              "doubleSpinBox_Position", "doubleSpinBox_mrstp", "pushButton_stop" })
        QTest::newRow(name) << name << false;
    QTest::newRow("pushButton_Console") << "pushButton_Console" << true;
}

void TestMainWindow::positioningControlsDisabled()
{
    QFETCH(QString, name);
    QFETCH(bool, enabled);
    QWidget *w = window->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->isEnabled(), enabled);
    QVERIFY(w->isVisible());
}

void TestMainWindow::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<bool>("hasIcon");

    // An action without its own tool tip shows its text without the mnemonic.
    QTest::newRow("about") << "actionAbout" << true << "&About"
                           << "About program" << QKeySequence(Qt::ALT | Qt::Key_A) << false;
    QTest::newRow("about qt") << "actionAboutQt" << true << "About Qt"
                              << "About Qt" << QKeySequence() << false;
    QTest::newRow("connect") << "actionConnect" << true << "C&onnect"
                             << "Connect to serial port" << QKeySequence(Qt::CTRL | Qt::Key_O)
                             << true;
    QTest::newRow("disconnect") << "actionDisconnect" << false << "&Disconnect"
                                << "Disconnect from serial port"
                                << QKeySequence(Qt::CTRL | Qt::Key_D) << true;
    QTest::newRow("configure") << "actionConfigure" << true << "&Configure"
                               << "Configure serial port" << QKeySequence(Qt::ALT | Qt::Key_C)
                               << true;
    QTest::newRow("clear") << "actionClear" << true << "C&lear"
                           << "Clear data" << QKeySequence(Qt::ALT | Qt::Key_L) << true;
    QTest::newRow("quit") << "actionQuit" << true << "&Quit"
                          << "Quit" << QKeySequence(Qt::CTRL | Qt::Key_Q) << true;
}

void TestMainWindow::actions()
{
    QFETCH(QString, name);
    QFETCH(bool, enabled);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(QKeySequence, shortcut);
    QFETCH(bool, hasIcon);

    auto *action = window->findChild<QAction *>(name);
    QVERIFY(action);
    QCOMPARE(action->isEnabled(), enabled);
    QCOMPARE(action->text(), text);
    QCOMPARE(action->toolTip(), toolTip);
    QCOMPARE(action->shortcut(), shortcut);
    // The icons come from the resource bundle linked into the program.
    QCOMPARE(!action->icon().pixmap(QSize(16, 16)).isNull(), hasIcon);
}

void TestMainWindow::toolBarAndMenuBar()
{
    auto *toolBar = member<QToolBar>(*window, "mainToolBar");
    QVERIFY(toolBar);
    const QList<QAction *> expected { member<QAction>(*window, "actionConnect"),
                                      member<QAction>(*window, "actionDisconnect"),
                                      member<QAction>(*window, "actionConfigure"),
                                      member<QAction>(*window, "actionClear") };
    QCOMPARE(toolBar->actions(), expected);
    QCOMPARE(window->toolBarArea(toolBar), Qt::TopToolBarArea);
    QVERIFY(toolBar->isVisible());
    QCOMPARE(window->findChildren<QToolBar *>().size(), 1);

    QMenuBar *menuBar = window->menuBar();
    QCOMPARE(menuBar, member<QMenuBar>(*window, "menuBar"));
    QVERIFY(menuBar->actions().isEmpty());
    QVERIFY(window->findChildren<QMenu *>().isEmpty());
}

void TestMainWindow::sharedStateAfterStartUp()
{
    const PanelProbe probe(*window);

    QVERIFY(probe.statusLabel());
    QVERIFY(probe.statusLabel()->text().isEmpty());
    QCOMPARE(probe.statusLabel()->parentWidget(), window->statusBar());
    QVERIFY(probe.statusLabel()->isVisible());

    Console *console = probe.console();
    QVERIFY(console);
    QVERIFY(!console->isEnabled());
    QVERIFY(console->isHidden());
    QVERIFY(!console->isVisible());
    QVERIFY(console->toPlainText().isEmpty());
    QCOMPARE(member<QVBoxLayout>(*window, "verticalLayout_3")->indexOf(console), 0);
    QCOMPARE(console->parentWidget(), window->centralWidget());

    QVERIFY(probe.pollTimer());
    QVERIFY(!probe.pollTimer()->isActive());
    QVERIFY(!probe.pollTimer()->isSingleShot());
    QCOMPARE(probe.pollTimer()->parent(), window);
    QVERIFY(probe.serial());
    QVERIFY(!probe.serial()->isOpen());
    QCOMPARE(probe.serial()->parent(), window);

    QCOMPARE(probe.travelRange(), 6500.0);
    QCOMPARE(probe.minPosition(), -250.0);
    QCOMPARE(probe.maxPosition(), 6250.0);
    QVERIFY(!probe.positionEchoRequested());
    QVERIFY(!probe.homed());
    QVERIFY(!probe.consoleShown());
    QVERIFY(probe.firmwareVersion().isEmpty());
    QVERIFY(probe.statusCode().isEmpty());
    QVERIFY(probe.offsetText().isEmpty());
    QVERIFY(probe.rxBuffer().isEmpty());

    // The window's range, not the form's 6150.
    auto *slider = member<QSlider>(*window, "horizontalSlider");
    QCOMPARE(slider->minimum(), -250);
    QCOMPARE(slider->maximum(), 6250);
}

void TestMainWindow::aboutActionsChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("about") << "actionAbout";
    QTest::newRow("about qt") << "actionAboutQt";
}

void TestMainWindow::aboutActionsChangeNothing()
{
    QFETCH(QString, name);
    ModalCloser closer;
    const QString before = snapshot();
    window->findChild<QAction *>(name)->trigger();
    spin(50);
    QCOMPARE(snapshot(), before);
}

void TestMainWindow::clearEmptiesConsole()
{
    Console *console = PanelProbe(*window).console();
    console->appendData(">inform\r>status\r");
    QVERIFY(!console->toPlainText().isEmpty());
    member<QAction>(*window, "actionClear")->trigger();
    QVERIFY(console->toPlainText().isEmpty());
    QVERIFY(console->isHidden());
    QVERIFY(!console->isEnabled());
}

void TestMainWindow::configureShowsSettingsNonModal()
{
    const auto visibleTopLevels = [] {
        QStringList names;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->isVisible())
                names << QString::fromLatin1(w->metaObject()->className());
        }
        return names;
    };
    QCOMPARE(visibleTopLevels(), QStringList { "MainWindow" });
    member<QAction>(*window, "actionConfigure")->trigger();
    QVERIFY(visibleTopLevels().contains(QStringLiteral("SettingsDialog")));
    QVERIFY(!QApplication::activeModalWidget());
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != window)
            w->close();
    }
}

void TestMainWindow::quitClosesWindow()
{
    member<QAction>(*window, "actionQuit")->trigger();
    QVERIFY(!window->isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
