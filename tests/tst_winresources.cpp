// The executable's Windows resources: lumarvethon.rc is compiled with the MinGW resource
// compiler into a .res file, and that file is read record by record here, so the icon group,
// the icon and the manifest are checked as Windows will see them.

#include "binaryfields.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr quint16 RtIcon = 3;
constexpr quint16 RtGroupIcon = 14;
constexpr quint16 RtManifest = 24;
constexpr quint16 GermanGermany = 0x0407;
constexpr quint16 EnglishUs = 0x0409;

// TYPE and NAME of a record are either an ordinal (0xFFFF, number) or a UTF-16 string.
struct ResourceId
{
    bool isOrdinal = false;
    quint16 ordinal = 0;
    QString name;
};

struct ResourceRecord
{
    ResourceId type;
    ResourceId name;
    quint16 language = 0;
    quint16 memoryFlags = 0;
    QByteArray data;
};

// Reads a TYPE or NAME field at pos and moves pos past it; false if it runs off the header.
bool readId(const QByteArray &bytes, int end, int &pos, ResourceId &id)
{
    if (pos + 2 > end)
        return false;
    if (u16(bytes, pos) == 0xFFFF) {
        if (pos + 4 > end)
            return false;
        id.isOrdinal = true;
        id.ordinal = u16(bytes, pos + 2);
        pos += 4;
        return true;
    }
    while (pos + 2 <= end) {
        const quint16 c = u16(bytes, pos);
        pos += 2;
        if (c == 0)
            return true;
        id.name.append(QChar(c));
    }
    return false;
}

// A .res file is a row of RESOURCEHEADER records, each followed by its data, every header
// and every data block padded to a DWORD boundary. The first record is the empty one that
// marks the file as 32-bit resources; it is dropped here.
bool parseRes(const QByteArray &bytes, QList<ResourceRecord> &records, QString &error)
{
    int pos = 0;
    while (pos < bytes.size()) {
        if (pos + 8 > bytes.size()) {
            error = QStringLiteral("truncated header at %1").arg(pos);
            return false;
        }
        const quint32 dataSize = u32(bytes, pos);
        const quint32 headerSize = u32(bytes, pos + 4);
        const qint64 headerEnd = qint64(pos) + headerSize;
        if (headerSize < 8 + 4 + 4 + 16 || headerEnd > bytes.size()
            || headerEnd + dataSize > bytes.size()) {
            error = QStringLiteral("record at %1 does not fit the file").arg(pos);
            return false;
        }
        ResourceRecord record;
        int field = pos + 8;
        if (!readId(bytes, int(headerEnd), field, record.type)
            || !readId(bytes, int(headerEnd), field, record.name)) {
            error = QStringLiteral("bad TYPE or NAME at %1").arg(pos);
            return false;
        }
        field = (field + 3) & ~3;
        // DataVersion, MemoryFlags, LanguageId, Version, Characteristics.
        if (field + 16 != headerEnd) {
            error = QStringLiteral("header at %1 has %2 bytes, fields end at %3")
                        .arg(pos)
                        .arg(headerSize)
                        .arg(field - pos + 16);
            return false;
        }
        record.memoryFlags = u16(bytes, field + 4);
        record.language = u16(bytes, field + 6);
        record.data = bytes.mid(int(headerEnd), int(dataSize));
        const bool marker = record.type.isOrdinal && record.type.ordinal == 0 && dataSize == 0;
        if (!marker)
            records.append(record);
        pos = int((headerEnd + dataSize + 3) & ~qint64(3));
    }
    return true;
}

bool isOrdinal(const ResourceId &id, quint16 value)
{
    return id.isOrdinal && id.ordinal == value;
}

} // namespace

class TestWinResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void holdsExactlyIconGroupIconAndManifest();
    void eachResourceOnceWithItsLanguage_data();
    void eachResourceOnceWithItsLanguage();
    void iconGroupPointsToThePngIcon();
    void iconIsTheProductIconAsPng();
    void manifestAsksForInvokerLevelAndCommonControls6();

private:
    const ResourceRecord *find(quint16 type, quint16 name) const;

    QTemporaryDir dir;
    QList<ResourceRecord> records;
    QByteArray productPng;
};

void TestWinResources::initTestCase()
{
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString windres = QStandardPaths::findExecutable("x86_64-w64-mingw32-windres");
    if (windres.isEmpty())
        QFAIL("x86_64-w64-mingw32-windres not found: install binutils-mingw-w64-x86-64 "
              "(tools/setup lists it)");
    // windres hands the .rc to a C preprocessor; the MinGW compiler is not needed for that,
    // the host's cpp does the same job.
    const QString cpp = QStandardPaths::findExecutable("cpp");
    if (cpp.isEmpty())
        QFAIL("cpp (the C preprocessor, package cpp) not found; windres needs it");

    const QString resources = QStringLiteral(LUMARVETHON_SOURCE_DIR "/resources");
    const QString output = dir.filePath("lumarvethon.res");
    QProcess windresRun;
    // Run from elsewhere, as a build does, so the .rc's file names must come through -I.
    windresRun.setWorkingDirectory(dir.path());
    windresRun.start(windres,
                     { "--preprocessor=" + cpp, "--preprocessor-arg=-DRC_INVOKED",
                       "--include-dir=" + resources, "--input=" + resources + "/lumarvethon.rc",
                       "--input-format=rc", "--output-format=res", "--output=" + output });
    QVERIFY2(windresRun.waitForFinished(60000), "windres did not finish");
    QVERIFY2(windresRun.exitStatus() == QProcess::NormalExit && windresRun.exitCode() == 0,
             windresRun.readAllStandardError().constData());

    QFile res(output);
    QVERIFY(res.open(QIODevice::ReadOnly));
    QString error;
    QVERIFY2(parseRes(res.readAll(), records, error), qPrintable(error));

    QFile ico(resources + "/images/Lumarvethon_Icon_only@500x.ico");
    QVERIFY(ico.open(QIODevice::ReadOnly));
    productPng = ico.readAll().mid(22);
}

const ResourceRecord *TestWinResources::find(quint16 type, quint16 name) const
{
    for (const ResourceRecord &r : records) {
        if (isOrdinal(r.type, type) && isOrdinal(r.name, name))
            return &r;
    }
    return nullptr;
}

void TestWinResources::holdsExactlyIconGroupIconAndManifest()
{
    QCOMPARE(records.size(), 3);
}

void TestWinResources::eachResourceOnceWithItsLanguage_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("name");
    QTest::addColumn<int>("language");

    QTest::newRow("icon group 101") << int(RtGroupIcon) << 101 << int(GermanGermany);
    QTest::newRow("icon 1") << int(RtIcon) << 1 << int(GermanGermany);
    QTest::newRow("manifest 1") << int(RtManifest) << 1 << int(EnglishUs);
}

void TestWinResources::eachResourceOnceWithItsLanguage()
{
    QFETCH(int, type);
    QFETCH(int, name);
    QFETCH(int, language);

    int ofType = 0;
    for (const ResourceRecord &r : records) {
        if (isOrdinal(r.type, quint16(type))) {
            ++ofType;
            QVERIFY2(isOrdinal(r.name, quint16(name)),
                     qPrintable(QStringLiteral("named %1%2").arg(r.name.ordinal).arg(r.name.name)));
            QCOMPARE(int(r.language), language);
        }
    }
    QCOMPARE(ofType, 1);
}

void TestWinResources::iconGroupPointsToThePngIcon()
{
    const ResourceRecord *group = find(RtGroupIcon, 101);
    QVERIFY(group);
    const QByteArray &g = group->data;
    // GRPICONDIR (reserved, type 1, count) and one GRPICONDIRENTRY of 14 bytes.
    QCOMPARE(g.size(), 6 + 14);
    QCOMPARE(u16(g, 0), quint16(0));
    QCOMPARE(u16(g, 2), quint16(1));
    QCOMPARE(u16(g, 4), quint16(1));
    QCOMPARE(quint8(g.at(6)), quint8(0)); // width 256
    QCOMPARE(quint8(g.at(7)), quint8(0)); // height 256
    QCOMPARE(quint8(g.at(8)), quint8(0)); // no palette
    QCOMPARE(quint8(g.at(9)), quint8(0));
    QCOMPARE(u16(g, 10), quint16(1)); // planes
    QCOMPARE(u16(g, 12), quint16(32)); // bits per pixel
    const ResourceRecord *icon = find(RtIcon, 1);
    QVERIFY(icon);
    QCOMPARE(qint64(u32(g, 14)), qint64(icon->data.size()));
    QCOMPARE(qint64(u32(g, 14)), qint64(productPng.size()));
    QCOMPARE(u16(g, 18), quint16(1)); // icon id
}

void TestWinResources::iconIsTheProductIconAsPng()
{
    const ResourceRecord *icon = find(RtIcon, 1);
    QVERIFY(icon);
    const QByteArray &png = icon->data;
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    QVERIFY(png.size() > 33);
    QCOMPARE(png.mid(12, 4), QByteArray("IHDR"));
    QCOMPARE(u32be(png, 16), quint32(256));
    QCOMPARE(u32be(png, 20), quint32(256));
    QCOMPARE(int(quint8(png.at(24))), 8); // bit depth
    QCOMPARE(int(quint8(png.at(25))), 6); // colour type RGBA
    QVERIFY(png == productPng);
}

void TestWinResources::manifestAsksForInvokerLevelAndCommonControls6()
{
    const ResourceRecord *manifest = find(RtManifest, 1);
    QVERIFY(manifest);
    const QByteArray &xml = manifest->data;
    QVERIFY(xml.contains("requestedExecutionLevel"));
    QVERIFY(xml.contains("level=\"asInvoker\""));
    QVERIFY(xml.contains("uiAccess=\"false\""));
    QVERIFY(xml.contains("name=\"Microsoft.Windows.Common-Controls\""));
    QVERIFY(xml.contains("version=\"6.0.0.0\""));
    QVERIFY(xml.contains("processorArchitecture=\"*\""));
    QVERIFY(xml.contains("publicKeyToken=\"6595b64144ccf1df\""));
    QVERIFY(xml.contains("language=\"*\""));
}

QTEST_GUILESS_MAIN(TestWinResources)
#include "tst_winresources.moc"
