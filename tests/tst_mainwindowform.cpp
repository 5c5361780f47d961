// The main window's form: every member with its class, parent, text, font and layout cell
// as the window shows it, and the form built on a bare window, where its own values (which
// the main window partly replaces) and its connect-by-name wiring can be seen.

#include "testsupport.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>

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
class TestMainWindowForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formMembersExist_data();
    void formMembersExist();
    void texts_data();
    void texts();
    void fonts_data();
    void fonts();
    void spinBoxes();
    void sliderAndFrames();
    void layouts();
    void focusFollowsCreationOrder();

    void formOnBareWindow();
    void formKeepsExistingObjectName();
    void formConnectsSlotsByName();
    void stepSpinBoxTakesFocusOnlyByClick();

private:
    MainWindow *window = nullptr;
};

namespace {

const QString micro(QChar(0x00B5));

template<typename T> T *member(const QWidget &w, const char *name)
{
    return w.findChild<T *>(QLatin1String(name));
}

} // namespace
void TestMainWindowForm::init()
{
    window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestMainWindowForm::cleanup()
{
    delete window;
    window = nullptr;
}

// Everything that an operator could see change, as one comparable text.
void TestMainWindowForm::formMembersExist_data()
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

void TestMainWindowForm::formMembersExist()
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

void TestMainWindowForm::texts_data()
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

void TestMainWindowForm::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QWidget *w = window->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->property("text").toString(), text);
}

void TestMainWindowForm::fonts_data()
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

void TestMainWindowForm::fonts()
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

void TestMainWindowForm::spinBoxes()
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

void TestMainWindowForm::sliderAndFrames()
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

void TestMainWindowForm::layouts()
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

void TestMainWindowForm::focusFollowsCreationOrder()
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

void TestMainWindowForm::formOnBareWindow()
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

void TestMainWindowForm::formKeepsExistingObjectName()
{
    FormProbe named(QStringLiteral("panel"));
    QCOMPARE(named.objectName(), QStringLiteral("panel"));
}

void TestMainWindowForm::formConnectsSlotsByName()
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

void TestMainWindowForm::stepSpinBoxTakesFocusOnlyByClick()
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

QTEST_MAIN(TestMainWindowForm)
#include "tst_mainwindowform.moc"
