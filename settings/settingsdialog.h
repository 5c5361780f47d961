#ifndef SETTINGSDIALOG_H
#define SETTINGSDIALOG_H

// The window in which the operator picks the controller's serial port and sees its details.
// The line parameters are fixed (115200 baud, 8 data bits, no parity, 1 stop bit) and shown
// in disabled lists. The ports are enumerated once, at construction; the record of the
// applied choice changes only on Apply, and the connection copies it on every connect.
// applied() lets the panel remember the choice.

#include "serialsettings.h"

#include <QDialog>
#include <QString>

class QIntValidator;

namespace Ui {
class SettingsDialog;
}

class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // firstPort, when not empty, is a device path offered ahead of the enumerated ports and
    // therefore selected from the start; the system does not enumerate pseudo-terminals.
    explicit SettingsDialog(QWidget *parent = nullptr, const QString &firstPort = QString());
    ~SettingsDialog() override;

    SerialSettings currentSettings() const;

signals:
    void applied(); // Apply stored a new record

private slots:
    void showPortInfo(int idx);
    void apply();
    void checkCustomBaudRatePolicy(int idx);
    void checkCustomDevicePathPolicy(int idx);

private:
    void fillParameterLists();
    void fillPortList(const QString &firstPort);
    void collectSettings();

    Ui::SettingsDialog *ui = nullptr;
    SerialSettings activeSettings;
    QIntValidator *baudRateValidator = nullptr;
};

#endif // SETTINGSDIALOG_H
