#ifndef BINARYFIELDS_H
#define BINARYFIELDS_H

// Fixed-width fields read straight out of file bytes, for the tests that check image and
// resource files as other programs will read them rather than through Qt's loaders. The
// caller keeps the offset inside the bytes.

#include <QByteArray>
#include <QtEndian>

inline quint16 u16(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint16>(reinterpret_cast<const uchar *>(bytes.constData() + at));
}

inline quint32 u32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar *>(bytes.constData() + at));
}

// PNG stores its numbers big-endian.
inline quint32 u32be(const QByteArray &bytes, int at)
{
    return qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(bytes.constData() + at));
}

#endif // BINARYFIELDS_H
