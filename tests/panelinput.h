#ifndef PANELINPUT_H
#define PANELINPUT_H

// The operator's hands for the positioning tests: keys that travel the way the platform
// delivers them, typing into a spin box, grabbing the slider's handle, and a panel that is
// connected and homed.

#include "testsupport.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

namespace PanelInput {

// What the controller received apart from the poll's position queries. Moves carry no CR,
// so a query right behind one is still cut out whole.
inline QByteArray withoutPolls(QByteArray bytes)
{
    return bytes.replace(">cp\r", "");
}

// Keys go where the platform would send them: to the focus widget of the active window,
// or to the window itself when no widget has the focus.
inline void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(static_cast<QWidget *>(nullptr), key, modifiers);
}

inline bool activate(QWidget *window)
{
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

// Clicks into a spin box as the operator does and replaces its text.
inline void typeInto(QDoubleSpinBox *box, const QString &text)
{
    QTest::mouseClick(box, Qt::LeftButton);
    pressKey(Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(static_cast<QWidget *>(nullptr), text);
}

// The same, finished with Return.
inline void enter(QDoubleSpinBox *box, const QString &text)
{
    typeInto(box, text);
    pressKey(Qt::Key_Return);
}

// Where the slider draws its handle now, in the slider's coordinates.
inline QPoint handleCentre(QSlider *slider)
{
    // The slider fills in its own style option; the option filler is protected, but a
    // pointer to it may be taken through a class that makes it visible.
    struct Access : QSlider
    {
        using QSlider::initStyleOption;
    };
    QStyleOptionSlider option;
    (slider->*(&Access::initStyleOption))(&option);
    return slider->style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider)
        .center();
}

// Activates the window, connects with the given answer, waits for the tick that identifies
// the controller, clicks Home and forgets everything written so far. True when the panel is
// homed and no widget holds the focus.
inline bool homeAfter(PanelOnLine &panel, const QByteArray &answer)
{
    if (!activate(panel.window) || !panel.connectPanel(answer))
        return false;
    if (!panel.controller.waitForText(">cp\r", 1000))
        return false;
    auto *home = panel.find<QPushButton>("pushButton_home");
    for (int waited = 0; !home->isEnabled() && waited < 1000; waited += 5)
        QTest::qWait(5);
    QTest::mouseClick(home, Qt::LeftButton);
    panel.settle();
    panel.controller.take();
    return panel.probe().homed() && !QApplication::focusWidget();
}

} // namespace PanelInput

#endif // PANELINPUT_H
