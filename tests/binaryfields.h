#ifndef BINARYFIELDS_H
#define BINARYFIELDS_H

// Fixed-width fields read straight out of file bytes, for the tests that check image and
// resource files as other programs will read them rather than through Qt's loaders, and the
// PNG header check that the bundle and the Windows resources share. The caller keeps the
// offset inside the bytes.

#include <QByteArray>
#include <QTest>
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

// Checks the PNG signature and the IHDR chunk: size x size, 8 bits per channel, RGBA.
inline void verifyRgbaPng(const QByteArray &png, int size)
{
    QVERIFY(png.size() > 33);
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    QCOMPARE(u32be(png, 8), quint32(13));
    QCOMPARE(png.mid(12, 4), QByteArray("IHDR"));
    QCOMPARE(u32be(png, 16), quint32(size));
    QCOMPARE(u32be(png, 20), quint32(size));
    QCOMPARE(int(quint8(png.at(24))), 8);
    QCOMPARE(int(quint8(png.at(25))), 6);
}

#endif // BINARYFIELDS_H
