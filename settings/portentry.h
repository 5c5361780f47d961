#ifndef PORTENTRY_H
#define PORTENTRY_H

// The text side of the port list: how a serial port's properties become the seven strings
// stored with its list entry, and how those strings become the six detail lines of the
// dialog. Free functions, so that the formatting can be checked without any hardware.

#include <QString>
#include <QStringList>
#include <QtGlobal>

class QSerialPortInfo;

// Positions within a port entry's strings.
enum PortEntryField {
    PortNameField = 0,
    DescriptionField,
    ManufacturerField,
    SerialNumberField,
    LocationField,
    VendorIdField,
    ProductIdField,
    PortEntryFieldCount
};

// Seven strings: name, description, manufacturer, serial number, location, vendor and
// product identifier. Missing texts and zero identifiers read "N/A" (untranslated, it is
// stored data); an empty name or location stays empty. Identifiers are lower-case hex
// without prefix or leading zeros.
QStringList portEntry(const QString &name, const QString &description, const QString &manufacturer,
                      const QString &serialNumber, const QString &location, quint16 vendor,
                      quint16 product);
QStringList portEntry(const QSerialPortInfo &info);

// The entry of a path the operator named himself (a pseudo-terminal or a device that the
// system does not enumerate): the path is both name and location, nothing else is known.
QStringList portEntry(const QString &devicePath);

// The six detail lines (description, manufacturer, serial number, location, vendor and
// product identifier) for an entry's strings; elements the list lacks read a translated
// "N/A".
QStringList portInfoTexts(const QStringList &entry);

#endif // PORTENTRY_H
