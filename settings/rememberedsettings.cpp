#include "rememberedsettings.h"

#include "panelsettings.h"
#include "settingsdialog.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

RememberedSettings::RememberedSettings(QWidget &window, PanelSettings &settings,
                                       SettingsDialog &dialog)
    : QObject(&window)
    , window(window)
    , remembered(settings)
    , dialog(dialog)
{
    connect(&dialog, &SettingsDialog::applied, this, [this] {
        const QString port = this->dialog.currentSettings().portName;
        if (!port.isEmpty() && port != simulatedPort)
            remembered.setPort(port);
    });
    window.installEventFilter(this);
}

void RememberedSettings::restorePlace()
{
    const std::optional<QPoint> place = remembered.windowPosition();
    if (place && QGuiApplication::screenAt(*place))
        window.move(*place);
}

void RememberedSettings::stepChosen(double micrometres)
{
    remembered.setStepSize(micrometres);
}

void RememberedSettings::reconnectChosen(bool on)
{
    remembered.setReconnect(on);
}

bool RememberedSettings::eventFilter(QObject *watched, QEvent *event)
{
    // Where the window is once shown; Wayland tells no client where its windows are.
    if (event->type() == QEvent::Move && window.isVisible()
        && !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        remembered.setWindowPosition(window.pos());
    return QObject::eventFilter(watched, event);
}
