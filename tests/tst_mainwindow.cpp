// The main window right after start-up and its form: what the operator can see and use
// before any port is open, and the connect-by-name wiring, seen on a bare window where each
// slot only counts.

#include "console.h"
#include "testsupport.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolBar>

// A bare main window with the eight slots that the form connects by name.
class FormProbe : public QMainWindow
{
    Q_OBJECT

public:
    explicit FormProbe(const QString &name = QString())
    {
        setObjectName(name);
        ui.setupUi(this);
        for (QWidget *w : centralWidget()->findChildren<QWidget *>())
            w->setEnabled(true);
    }

    Ui::MainWindow ui;
    QStringList calls;

private slots:
    void on_pushButton_home_clicked() { calls << "home"; }
    void on_pushButton_AutoCalibrate_clicked() { calls << "AutoCalibrate"; }
    void on_pushButton_stop_clicked() { calls << "stop"; }
    void on_pushButton_SliderMinus_clicked() { calls << "SliderMinus"; }
    void on_pushButton_SliderPlus_clicked() { calls << "SliderPlus"; }
    void on_pushButton_Console_clicked() { calls << "Console"; }
    void on_doubleSpinBox_Position_editingFinished() { calls << "Position"; }
    void on_doubleSpinBox_mrstp_editingFinished() { calls << "mrstp"; }
};

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void stateAfterStartUp();
    void membersAndTexts();
    void actions();
    void toolBarAndMenuBar();
    void aboutActionsChangeNothing();
    void clearEmptiesConsole();
    void configureShowsSettingsNonModal();
    void quitClosesWindow();

    void formKeepsExistingObjectName();
    void formConnectsSlotsByName();
    void stepSpinBoxTakesFocusOnlyByClick();

private:
    template<typename T> T *member(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QString snapshot() const;

    MainWindow *window = nullptr;
};

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

void TestMainWindow::stateAfterStartUp()
{
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Lumarvethon"));
    QCOMPARE(window->minimumSize(), QSize(580, 408));
    QCOMPARE(window->maximumSize(), QSize(580, 408));
    QCOMPARE(window->size(), QSize(580, 408));

    for (const char *name :
         { "pushButton_home", "pushButton_AutoCalibrate", "horizontalSlider",
           "pushButton_SliderMinus", "pushButton_SliderPlus", "doubleSpinBox_Position",
           "doubleSpinBox_mrstp", "pushButton_stop" }) {
        QVERIFY2(!member<QWidget>(name)->isEnabled(), name);
        QVERIFY2(member<QWidget>(name)->isVisible(), name);
    }
    QVERIFY(member<QWidget>("pushButton_Console")->isEnabled());

    const PanelProbe probe(*window);
    QVERIFY(probe.statusLabel()->text().isEmpty());
    QCOMPARE(probe.statusLabel()->parentWidget(), window->statusBar());
    QVERIFY(probe.statusLabel()->isVisible());
    QVERIFY(!probe.console()->isEnabled());
    QVERIFY(probe.console()->isHidden());
    QVERIFY(probe.console()->toPlainText().isEmpty());
    QVERIFY(!probe.pollTimer()->isActive());
    QVERIFY(!probe.pollTimer()->isSingleShot());
    QVERIFY(!probe.serial()->isOpen());

    auto *target = member<QDoubleSpinBox>("doubleSpinBox_Position");
    QCOMPARE(target->minimum(), -1000000.0);
    QCOMPARE(target->maximum(), 1000000.0);
    QCOMPARE(target->singleStep(), 1.0);
    QCOMPARE(target->text(), QStringLiteral("0.00"));

    auto *step = member<QDoubleSpinBox>("doubleSpinBox_mrstp");
    QCOMPARE(step->minimum(), 0.0);
    QCOMPARE(step->maximum(), 6000.0);
    QCOMPARE(step->singleStep(), 1.0);
    QCOMPARE(step->text(), QStringLiteral("200.00"));

    // The window's range, not the form's 6150.
    QCOMPARE(member<QSlider>("horizontalSlider")->minimum(), -250);
    QCOMPARE(member<QSlider>("horizontalSlider")->maximum(), 6250);
}

// Other parts of the panel reach these objects by name, and the texts are what the operator
// reads; the unit is written with the micro sign U+00B5.
void TestMainWindow::membersAndTexts()
{
    const char *const classes[][2] = {
        { "QPushButton",
          "pushButton_home pushButton_AutoCalibrate pushButton_SliderMinus pushButton_SliderPlus "
          "pushButton_stop pushButton_Console" },
        { "QLabel", "label_Position label_Slidermin label_Slidermax label label_2" },
        { "QDoubleSpinBox", "doubleSpinBox_mrstp doubleSpinBox_Position" },
        { "QSlider", "horizontalSlider" },
        { "QWidget", "centralWidget" },
        { "QVBoxLayout", "verticalLayout_3" },
        { "QMenuBar", "menuBar" },
        { "QToolBar", "mainToolBar" },
        { "QStatusBar", "statusBar" },
    };
    for (const auto &row : classes) {
        for (const QString &name : QString::fromLatin1(row[1]).split(QLatin1Char(' '))) {
            const QList<QObject *> found = window->findChildren<QObject *>(name);
            QVERIFY2(found.size() == 1, qPrintable(name));
            QCOMPARE(found.first()->metaObject()->className(), row[0]);
        }
    }
    QCOMPARE(member<QVBoxLayout>("verticalLayout_3")->indexOf(PanelProbe(*window).console()), 0);

    const char *const texts[][2] = {
        { "pushButton_home", "Home" },
        { "pushButton_AutoCalibrate", "AutoCalibrate" },
        { "label_Position", "0.0 \u00B5m" },
        { "pushButton_SliderMinus", "-" },
        { "label_Slidermin", "-250\u00B5m" },
        { "label_Slidermax", "6250\u00B5m" },
        { "pushButton_SliderPlus", "+" },
        { "label", "Target Position [\u00B5m]:" },
        { "label_2", "Relative Step [\u00B5m]:" },
        { "pushButton_stop", "Stop" },
        { "pushButton_Console", "Console >>" },
    };
    for (const auto &row : texts)
        QCOMPARE(member<QWidget>(row[0])->property("text").toString(), QString::fromUtf8(row[1]));
}

void TestMainWindow::actions()
{
    struct Row
    {
        const char *name, *text, *toolTip, *shortcut;
        bool enabled, hasIcon;
    };
    // An action without its own tool tip shows its text without the mnemonic.
    const Row table[] = {
        { "actionAbout", "&About", "About program", "Alt+A", true, false },
        { "actionAboutQt", "About Qt", "About Qt", "", true, false },
        { "actionConnect", "C&onnect", "Connect to serial port", "Ctrl+O", true, true },
        { "actionDisconnect", "&Disconnect", "Disconnect from serial port", "Ctrl+D", false, true },
        { "actionConfigure", "&Configure", "Configure serial port", "Alt+C", true, true },
        { "actionClear", "C&lear", "Clear data", "Alt+L", true, true },
        { "actionQuit", "&Quit", "Quit", "Ctrl+Q", true, true },
    };
    for (const Row &row : table) {
        auto *action = member<QAction>(row.name);
        QVERIFY2(action, row.name);
        QCOMPARE(action->isEnabled(), row.enabled);
        QCOMPARE(action->text(), QString::fromLatin1(row.text));
        QCOMPARE(action->toolTip(), QString::fromLatin1(row.toolTip));
        QCOMPARE(action->shortcut(), QKeySequence(QString::fromLatin1(row.shortcut)));
        // The icons come from the resource bundle linked into the program.
        QCOMPARE(!action->icon().pixmap(QSize(16, 16)).isNull(), row.hasIcon);
    }
}

void TestMainWindow::toolBarAndMenuBar()
{
    auto *toolBar = member<QToolBar>("mainToolBar");
    const QList<QAction *> expected { member<QAction>("actionConnect"),
                                      member<QAction>("actionDisconnect"),
                                      member<QAction>("actionConfigure"),
                                      member<QAction>("actionClear") };
    QCOMPARE(toolBar->actions(), expected);
    QCOMPARE(window->toolBarArea(toolBar), Qt::TopToolBarArea);
    QVERIFY(toolBar->isVisible());
    QCOMPARE(window->findChildren<QToolBar *>().size(), 1);

    QCOMPARE(window->menuBar(), member<QMenuBar>("menuBar"));
}

void TestMainWindow::aboutActionsChangeNothing()
{
    ModalCloser closer;
    const QString before = snapshot();
    for (const char *name : { "actionAbout", "actionAboutQt" }) {
        member<QAction>(name)->trigger();
        spin(50);
        QCOMPARE(snapshot(), before);
    }
}

void TestMainWindow::clearEmptiesConsole()
{
    Console *console = PanelProbe(*window).console();
    console->appendData(">inform\r>status\r");
    QVERIFY(!console->toPlainText().isEmpty());
    member<QAction>("actionClear")->trigger();
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
    member<QAction>("actionConfigure")->trigger();
    QVERIFY(visibleTopLevels().contains(QStringLiteral("SettingsDialog")));
    QVERIFY(!QApplication::activeModalWidget());
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != window)
            w->close();
    }
}

void TestMainWindow::quitClosesWindow()
{
    member<QAction>("actionQuit")->trigger();
    QVERIFY(!window->isVisible());
}

void TestMainWindow::formKeepsExistingObjectName()
{
    QCOMPARE(FormProbe().objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(FormProbe(QStringLiteral("panel")).objectName(), QStringLiteral("panel"));
}

void TestMainWindow::formConnectsSlotsByName()
{
    FormProbe bare;
    QVERIFY(bare.calls.isEmpty());
    for (QPushButton *button : { bare.ui.pushButton_home, bare.ui.pushButton_AutoCalibrate,
                                 bare.ui.pushButton_stop, bare.ui.pushButton_SliderMinus,
                                 bare.ui.pushButton_SliderPlus, bare.ui.pushButton_Console })
        button->click();
    emit bare.ui.doubleSpinBox_Position->editingFinished();
    emit bare.ui.doubleSpinBox_mrstp->editingFinished();
    // Other signals of the same widgets reach nothing.
    emit bare.ui.pushButton_home->pressed();
    bare.ui.doubleSpinBox_mrstp->setValue(300.0);
    bare.ui.horizontalSlider->setValue(100);
    QCOMPARE(bare.calls,
             (QStringList { "home", "AutoCalibrate", "stop", "SliderMinus", "SliderPlus", "Console",
                            "Position", "mrstp" }));
}

void TestMainWindow::stepSpinBoxTakesFocusOnlyByClick()
{
    FormProbe bare;
    bare.show();
    QVERIFY(QTest::qWaitForWindowActive(&bare));

    QDoubleSpinBox *step = bare.ui.doubleSpinBox_mrstp;
    QCOMPARE(step->focusPolicy(), Qt::ClickFocus);
    bare.ui.pushButton_home->setFocus();
    bool reachedTarget = false;
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(!step->hasFocus());
        reachedTarget = reachedTarget || bare.ui.doubleSpinBox_Position->hasFocus();
    }
    QVERIFY(reachedTarget); // Tab does move through the panel

    QTest::mouseClick(step, Qt::LeftButton, Qt::NoModifier, step->rect().center());
    QVERIFY(step->hasFocus());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
