// The main window as it stands right after start-up: the form's widgets, texts and fonts,
// the tool bar and menu bar, the state of the connection's parts, and the actions that work
// without a port. The form is also built on a bare window, where its own values (which the
// main window partly replaces) and its connect-by-name wiring can be seen.

#include "console.h"
#include "testsupport.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>

// A bare main window with the eight slots that the form connects by name; each counts.
class FormProbe : public QMainWindow
{
    Q_OBJECT

public:
    explicit FormProbe(const QString &name = QString())
    {
        setObjectName(name);
        ui.setupUi(this);
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

    void windowAfterStartUp();
    void formMembersExist_data();
    void formMembersExist();
    void positioningControlsDisabled_data();
    void positioningControlsDisabled();
    void actions_data();
    void actions();
    void toolBarAndMenuBar();
    void sharedStateAfterStartUp();
    void texts_data();
    void texts();
    void fonts_data();
    void fonts();
    void spinBoxes();
    void sliderAndFrames();
    void layouts();
    void focusFollowsCreationOrder();
    void aboutActionsChangeNothing_data();
    void aboutActionsChangeNothing();
    void clearEmptiesConsole();
    void configureShowsSettingsNonModal();
    void quitClosesWindow();

    void formOnBareWindow();
    void formKeepsExistingObjectName();
    void formConnectsSlotsByName();
    void stepSpinBoxTakesFocusOnlyByClick();

private:
    QString snapshot() const;

    MainWindow *window = nullptr;
};

namespace {

const QString micro(QChar(0x00B5));

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

void TestMainWindow::formMembersExist_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");

    const char *const table[][3] = {
        { "actionAbout", "QAction", "MainWindow" },
        { "actionAboutQt", "QAction", "MainWindow" },
        { "actionConnect", "QAction", "MainWindow" },
        { "actionDisconnect", "QAction", "MainWindow" },
        { "actionConfigure", "QAction", "MainWindow" },
        { "actionClear", "QAction", "MainWindow" },
        { "actionQuit", "QAction", "MainWindow" },
        { "centralWidget", "QWidget", "MainWindow" },
        { "verticalLayout", "QVBoxLayout", "centralWidget" },
        { "horizontalLayout", "QHBoxLayout", "verticalLayout" },
        { "pushButton_home", "QPushButton", "centralWidget" },
        { "pushButton_AutoCalibrate", "QPushButton", "centralWidget" },
        { "line", "QFrame", "centralWidget" },
        { "label_6", "QLabel", "centralWidget" },
        { "horizontalLayout_4", "QHBoxLayout", "verticalLayout" },
        { "label_Position", "QLabel", "centralWidget" },
        { "label_5", "QLabel", "centralWidget" },
        { "horizontalLayout_2", "QHBoxLayout", "verticalLayout" },
        { "pushButton_SliderMinus", "QPushButton", "centralWidget" },
        { "label_Slidermin", "QLabel", "centralWidget" },
        { "horizontalSlider", "QSlider", "centralWidget" },
        { "label_Slidermax", "QLabel", "centralWidget" },
        { "pushButton_SliderPlus", "QPushButton", "centralWidget" },
        { "verticalLayout_2", "QVBoxLayout", "verticalLayout" },
        { "verticalLayout_4", "QVBoxLayout", "verticalLayout_2" },
        { "gridLayout", "QGridLayout", "verticalLayout_4" },
        { "label", "QLabel", "centralWidget" },
        { "doubleSpinBox_mrstp", "QDoubleSpinBox", "centralWidget" },
        { "doubleSpinBox_Position", "QDoubleSpinBox", "centralWidget" },
        { "label_2", "QLabel", "centralWidget" },
        { "pushButton_stop", "QPushButton", "centralWidget" },
        { "horizontalLayout_3", "QHBoxLayout", "verticalLayout" },
        { "pushButton_Console", "QPushButton", "centralWidget" },
        { "verticalLayout_3", "QVBoxLayout", "verticalLayout" },
        { "menuBar", "QMenuBar", "MainWindow" },
        { "mainToolBar", "QToolBar", "MainWindow" },
        { "statusBar", "QStatusBar", "MainWindow" },
    };
    for (const auto &row : table)
        QTest::newRow(row[0]) << row[0] << row[1] << row[2];
}

void TestMainWindow::formMembersExist()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);

    const QList<QObject *> found = window->findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
    QVERIFY(found.first()->parent());
    QCOMPARE(found.first()->parent()->objectName(), parentName);
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

void TestMainWindow::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("home") << "pushButton_home"
                          << "Home";
    QTest::newRow("calibrate") << "pushButton_AutoCalibrate"
                               << "AutoCalibrate";
    QTest::newRow("gap above") << "label_6"
                               << "";
    QTest::newRow("position") << "label_Position" << QLatin1String("0.0 ") + micro + "m";
    QTest::newRow("gap below") << "label_5"
                               << "";
    QTest::newRow("minus") << "pushButton_SliderMinus"
                           << "-";
    QTest::newRow("slider min") << "label_Slidermin"
                                << "-250" + micro + "m";
    QTest::newRow("slider max") << "label_Slidermax"
                                << "6250" + micro + "m";
    QTest::newRow("plus") << "pushButton_SliderPlus"
                          << "+";
    QTest::newRow("target") << "label"
                            << "Target Position [" + micro + "m]:";
    QTest::newRow("step") << "label_2"
                          << "Relative Step [" + micro + "m]:";
    QTest::newRow("stop") << "pushButton_stop"
                          << "Stop";
    QTest::newRow("console") << "pushButton_Console"
                             << "Console >>";
}

void TestMainWindow::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QWidget *w = window->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->property("text").toString(), text);
}

void TestMainWindow::fonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pointSize"); // 0: the toolkit's default for the widget
    QTest::addColumn<int>("weight");

    const int bold = int(QFont::Bold);
    QTest::newRow("home") << "pushButton_home" << 0 << bold;
    QTest::newRow("calibrate") << "pushButton_AutoCalibrate" << 0 << bold;
    QTest::newRow("position") << "label_Position" << 24 << bold;
    QTest::newRow("minus") << "pushButton_SliderMinus" << 10 << bold;
    QTest::newRow("slider") << "horizontalSlider" << 8 << int(QFont::Normal);
    QTest::newRow("plus") << "pushButton_SliderPlus" << 10 << bold;
    QTest::newRow("stop") << "pushButton_stop" << 0 << bold;
    QTest::newRow("console") << "pushButton_Console" << 0 << bold;
    QTest::newRow("target label") << "label" << 0 << int(QFont::Normal);
    QTest::newRow("slider min label") << "label_Slidermin" << 0 << int(QFont::Normal);
}

void TestMainWindow::fonts()
{
    QFETCH(QString, name);
    QFETCH(int, pointSize);
    QFETCH(int, weight);
    QWidget *w = window->findChild<QWidget *>(name);
    QVERIFY(w);
    const QFont font = w->font();
    QCOMPARE(font.pointSize(), pointSize ? pointSize : QApplication::font(w).pointSize());
    QCOMPARE(int(font.weight()), weight);
    QCOMPARE(font.bold(), weight == int(QFont::Bold));
}

void TestMainWindow::spinBoxes()
{
    auto *target = member<QDoubleSpinBox>(*window, "doubleSpinBox_Position");
    QCOMPARE(target->minimum(), -1000000.0);
    QCOMPARE(target->maximum(), 1000000.0);
    QCOMPARE(target->value(), 0.0);
    QCOMPARE(target->decimals(), 2);
    QCOMPARE(target->singleStep(), 1.0);
    QCOMPARE(target->text(), QStringLiteral("0.00"));
    QCOMPARE(target->maximumSize(), QSize(400, 16777215));

    auto *step = member<QDoubleSpinBox>(*window, "doubleSpinBox_mrstp");
    QCOMPARE(step->minimum(), 0.0);
    QCOMPARE(step->maximum(), 6000.0);
    QCOMPARE(step->value(), 200.0);
    QCOMPARE(step->decimals(), 2);
    QCOMPARE(step->singleStep(), 1.0);
    QCOMPARE(step->text(), QStringLiteral("200.00"));
    QCOMPARE(step->maximumSize(), QSize(280, 16777215));
    QCOMPARE(step->focusPolicy(), Qt::ClickFocus);

    for (const QDoubleSpinBox *box : { target, step }) {
        QVERIFY(box->prefix().isEmpty());
        QVERIFY(box->suffix().isEmpty());
    }
}

void TestMainWindow::sliderAndFrames()
{
    auto *slider = member<QSlider>(*window, "horizontalSlider");
    QCOMPARE(slider->orientation(), Qt::Horizontal);
    QCOMPARE(slider->tickPosition(), QSlider::TicksBelow);
    QCOMPARE(slider->tickInterval(), 640);
    QVERIFY(!slider->invertedAppearance());
    QVERIFY(!slider->invertedControls());

    for (const char *name : { "pushButton_SliderMinus", "pushButton_SliderPlus" }) {
        auto *button = member<QPushButton>(*window, name);
        QCOMPARE(button->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(button->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(button->maximumSize(), QSize(55, 35));
    }

    auto *line = member<QFrame>(*window, "line");
    QCOMPARE(line->frameShape(), QFrame::HLine);
    QCOMPARE(line->frameShadow(), QFrame::Sunken);
    QCOMPARE(member<QLabel>(*window, "label_Position")->frameShape(), QFrame::NoFrame);
}

void TestMainWindow::layouts()
{
    auto *top = member<QVBoxLayout>(*window, "verticalLayout");
    QCOMPARE(window->centralWidget()->layout(), top);
    QCOMPARE(top->spacing(), 6);
    QCOMPARE(top->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(top->count(), 10);
    const char *const order[] = { "horizontalLayout", "line",
                                  "label_6",          "horizontalLayout_4",
                                  "label_5",          "horizontalLayout_2",
                                  "verticalLayout_2", "horizontalLayout_3" };
    for (int i = 0; i < 8; ++i) {
        QLayoutItem *item = top->itemAt(i);
        QObject *object = item->layout() ? static_cast<QObject *>(item->layout()) : item->widget();
        QVERIFY2(object, order[i]);
        QCOMPARE(object->objectName(), QString::fromLatin1(order[i]));
    }
    QVERIFY(top->itemAt(8)->spacerItem());
    QCOMPARE(top->itemAt(8)->spacerItem()->sizeHint(), QSize(20, 2));
    QCOMPARE(top->itemAt(9)->layout(), member<QLayout>(*window, "verticalLayout_3"));

    for (const char *name :
         { "horizontalLayout", "horizontalLayout_4", "horizontalLayout_2", "verticalLayout_2",
           "verticalLayout_4", "gridLayout", "horizontalLayout_3", "verticalLayout_3" }) {
        QLayout *layout = member<QLayout>(*window, name);
        QVERIFY2(layout, name);
        QCOMPARE(layout->spacing(), 6);
    }

    auto *grid = member<QGridLayout>(*window, "gridLayout");
    const auto widgetAt = [grid](int row, int column) -> QString {
        QLayoutItem *item = grid->itemAtPosition(row, column);
        if (!item)
            return QStringLiteral("(empty)");
        return item->widget() ? item->widget()->objectName() : QStringLiteral("(spacer)");
    };
    QCOMPARE(grid->rowCount(), 5);
    for (int column = 0; column < 4; ++column) {
        for (int row : { 0, 2, 3 })
            QCOMPARE(widgetAt(row, column), QStringLiteral("(empty)"));
    }
    QCOMPARE(widgetAt(1, 0), QStringLiteral("label"));
    QCOMPARE(widgetAt(1, 1), QStringLiteral("doubleSpinBox_Position"));
    QCOMPARE(widgetAt(1, 2), QStringLiteral("(spacer)"));
    QCOMPARE(widgetAt(1, 3), QStringLiteral("(empty)"));
    QCOMPARE(widgetAt(4, 0), QStringLiteral("label_2"));
    QCOMPARE(widgetAt(4, 1), QStringLiteral("doubleSpinBox_mrstp"));
    QCOMPARE(widgetAt(4, 2), QStringLiteral("(empty)"));
    QCOMPARE(widgetAt(4, 3), QStringLiteral("pushButton_stop"));
}

void TestMainWindow::focusFollowsCreationOrder()
{
    const QStringList expected { "pushButton_home",        "pushButton_AutoCalibrate",
                                 "pushButton_SliderMinus", "horizontalSlider",
                                 "pushButton_SliderPlus",  "doubleSpinBox_mrstp",
                                 "doubleSpinBox_Position", "pushButton_stop",
                                 "pushButton_Console" };
    QStringList chain;
    QWidget *w = window->centralWidget();
    do {
        if (expected.contains(w->objectName()) && !chain.contains(w->objectName()))
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != window->centralWidget());
    QCOMPARE(chain, expected);
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

void TestMainWindow::formOnBareWindow()
{
    FormProbe bare;
    QCOMPARE(bare.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(bare.size(), QSize(679, 502));
    QCOMPARE(bare.maximumSize(), QSize(679, 610));
    QCOMPARE(bare.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(bare.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(bare.ui.menuBar->geometry(), QRect(0, 0, 679, 31));
    QCOMPARE(bare.ui.horizontalSlider->minimum(), -250);
    QCOMPARE(bare.ui.horizontalSlider->maximum(), 6150);
    QCOMPARE(bare.ui.verticalLayout_3->count(), 0);
    QCOMPARE(bare.ui.spacer_home->sizeHint(), QSize(40, 20));
    QCOMPARE(bare.ui.spacer_grid->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(bare.ui.spacer_console->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(bare.ui.spacer_bottom->sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(bare.ui.horizontalLayout_4->itemAt(0)->spacerItem(), bare.ui.spacer_positionLeft);
    QCOMPARE(bare.ui.horizontalLayout_4->itemAt(2)->spacerItem(), bare.ui.spacer_positionRight);
    QVERIFY(bare.calls.isEmpty());
}

void TestMainWindow::formKeepsExistingObjectName()
{
    FormProbe named(QStringLiteral("panel"));
    QCOMPARE(named.objectName(), QStringLiteral("panel"));
}

void TestMainWindow::formConnectsSlotsByName()
{
    FormProbe bare;
    for (QWidget *w : bare.centralWidget()->findChildren<QWidget *>())
        w->setEnabled(true);

    const QList<QPushButton *> buttons {
        bare.ui.pushButton_home,        bare.ui.pushButton_AutoCalibrate, bare.ui.pushButton_stop,
        bare.ui.pushButton_SliderMinus, bare.ui.pushButton_SliderPlus,    bare.ui.pushButton_Console
    };
    for (QPushButton *button : buttons)
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
    for (QWidget *w : bare.centralWidget()->findChildren<QWidget *>())
        w->setEnabled(true);
    bare.show();
    QVERIFY(QTest::qWaitForWindowActive(&bare));

    QDoubleSpinBox *step = bare.ui.doubleSpinBox_mrstp;
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
