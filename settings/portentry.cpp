#include "portentry.h"

#include <QCoreApplication>
#include <QSerialPortInfo>

namespace {

const QString notAvailable = QStringLiteral("N/A");

QString orNotAvailable(const QString &text)
{
    return text.isEmpty() ? notAvailable : text;
}

QString identifierText(quint16 id)
{
    return id == 0 ? notAvailable : QString::number(id, 16);
}

} // namespace

QStringList portEntry(const QString &name, const QString &description, const QString &manufacturer,
                      const QString &serialNumber, const QString &location, quint16 vendor,
                      quint16 product)
{
    return QStringList { name,
                         orNotAvailable(description),
                         orNotAvailable(manufacturer),
                         orNotAvailable(serialNumber),
                         location,
                         identifierText(vendor),
                         identifierText(product) };
}

QStringList portEntry(const QSerialPortInfo &info)
{
    // The identifiers are 0 when the system does not know them, which portEntry shows as N/A.
    return portEntry(info.portName(), info.description(), info.manufacturer(), info.serialNumber(),
                     info.systemLocation(), info.vendorIdentifier(), info.productIdentifier());
}

QStringList portEntry(const QString &devicePath)
{
    return portEntry(devicePath, QString(), QString(), QString(), devicePath, 0, 0);
}

QStringList portInfoTexts(const QStringList &entry)
{
    static const char *const formats[] = {
        QT_TRANSLATE_NOOP("SettingsDialog", "Description: %1"),
        QT_TRANSLATE_NOOP("SettingsDialog", "Manufacturer: %1"),
        QT_TRANSLATE_NOOP("SettingsDialog", "Serial number: %1"),
        QT_TRANSLATE_NOOP("SettingsDialog", "Location: %1"),
        QT_TRANSLATE_NOOP("SettingsDialog", "Vendor Identifier: %1"),
        QT_TRANSLATE_NOOP("SettingsDialog", "Product Identifier: %1"),
    };
    const QString missing = QCoreApplication::translate("SettingsDialog", "N/A");

    QStringList texts;
    int field = DescriptionField;
    for (const char *format : formats) {
        const QString value = entry.size() > field ? entry.at(field) : missing;
        texts << QCoreApplication::translate("SettingsDialog", format).arg(value);
        ++field;
    }
    return texts;
}
