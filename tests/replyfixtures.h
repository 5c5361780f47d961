#ifndef REPLYFIXTURES_H
#define REPLYFIXTURES_H

// What the reply tests share: the controller's answers per grammar and a look at what the
// console shows for given bytes.

#include "console.h"
#include "testsupport.h"

#include <QByteArray>
#include <QString>

// Answers to the identification and status requests, one per grammar; each puts the
// stage at 500 µm first, so that a line that moves nothing can be told apart.
inline const QByteArray fw106
    = QByteArrayLiteral("_Ver 106\r_offset 2500\r_status 1\r_cp 500.0 um\r");
inline const QByteArray fw126 = QByteArrayLiteral("_Ver 126\r_offset 2500\rP 500.0 um\r");
inline const QByteArray fw312
    = QByteArrayLiteral("_Ver 312\r_offset 2500\r_status 1\r_cp 500.0 um\r");

// Bytes with NULs in them, whole.
template<int N> inline QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

inline QString micrometres(const QString &number)
{
    return number + QStringLiteral(" \u00b5m");
}

// A line as the console shows it.
inline QString asShown(const QByteArray &line)
{
    return QString::fromLatin1(line).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// What the console shows after the controller has sent the given bytes.
inline QString shownFor(PanelOnLine &panel, const QByteArray &bytes)
{
    const QString before = panel.probe().console()->toPlainText();
    panel.controller.write(bytes);
    panel.settle();
    const QString after = panel.probe().console()->toPlainText();
    return after.startsWith(before) ? after.mid(before.size()) : QStringLiteral("<rewritten>");
}

#endif // REPLYFIXTURES_H
