// The executable's Windows resources: lumarvethon.rc is compiled with the MinGW resource
// compiler into a .res file, and that file is read record by record here, so the icon group,
// the icon and the manifest are checked as Windows will see them.

#include "binaryfields.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int RtIcon = 3;
constexpr int RtGroupIcon = 14;
constexpr int RtManifest = 24;
constexpr int GermanGermany = 0x0407;
constexpr int EnglishUs = 0x0409;

struct ResourceRecord
{
    int type = 0; // -1 for a name given as a string
    int name = 0;
    int language = 0;
    QByteArray data;
};

// Reads a TYPE or NAME field at pos, ending before end, and moves pos past it: an ordinal
// (0xFFFF, number) or a zero-ended UTF-16 string, which gives -1.
int readId(const QByteArray &bytes, int end, int &pos)
{
    if (pos + 4 <= end && u16(bytes, pos) == 0xFFFF) {
        pos += 4;
        return u16(bytes, pos - 2);
    }
    while (pos + 2 <= end && u16(bytes, pos) != 0)
        pos += 2;
    pos += 2;
    return -1;
}

// A .res file is a row of RESOURCEHEADER records, each followed by its data, every header
// and every data block padded to a DWORD boundary. The first record is the empty one that
// marks the file as 32-bit resources; it is dropped here. Returns what is wrong, if anything.
QString parseRes(const QByteArray &bytes, QList<ResourceRecord> &records)
{
    for (int pos = 0; pos < bytes.size();) {
        if (pos + 8 > bytes.size())
            return QStringLiteral("truncated header at %1").arg(pos);
        const qint64 dataSize = u32(bytes, pos);
        const qint64 headerEnd = pos + qint64(u32(bytes, pos + 4));
        if (headerEnd < pos + 8 + 4 + 4 + 16 || headerEnd + dataSize > bytes.size())
            return QStringLiteral("record at %1 does not fit the file").arg(pos);
        ResourceRecord record;
        int field = pos + 8;
        record.type = readId(bytes, int(headerEnd), field);
        record.name = readId(bytes, int(headerEnd), field);
        field = (field + 3) & ~3;
        // DataVersion, MemoryFlags, LanguageId, Version, Characteristics.
        if (field + 16 != headerEnd)
            return QStringLiteral("header at %1 does not end after its fields").arg(pos);
        record.language = u16(bytes, field + 6);
        record.data = bytes.mid(int(headerEnd), int(dataSize));
        if (record.type != 0 || dataSize != 0)
            records.append(record);
        pos = int((headerEnd + dataSize + 3) & ~qint64(3));
    }
    return QString();
}

} // namespace

class TestWinResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void eachResourceOnceWithItsLanguage();
    void iconGroupPointsToThePngIcon();
    void manifestAsksForInvokerLevelAndCommonControls6();

private:
    const ResourceRecord *find(int type, int name) const;

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
    const QString error = parseRes(res.readAll(), records);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QFile ico(resources + "/images/Lumarvethon_Icon_only@500x.ico");
    QVERIFY(ico.open(QIODevice::ReadOnly));
    productPng = ico.readAll().mid(22);
}

const ResourceRecord *TestWinResources::find(int type, int name) const
{
    for (const ResourceRecord &r : records) {
        if (r.type == type && r.name == name)
            return &r;
    }
    return nullptr;
}

// The icon group, the icon and the manifest, nothing else, each once.
void TestWinResources::eachResourceOnceWithItsLanguage()
{
    QCOMPARE(records.size(), 3);
    const int table[][3] = { { RtGroupIcon, 101, GermanGermany },
                             { RtIcon, 1, GermanGermany },
                             { RtManifest, 1, EnglishUs } };
    for (const auto &row : table) {
        const ResourceRecord *r = find(row[0], row[1]);
        QVERIFY2(r, qPrintable(QStringLiteral("type %1 name %2").arg(row[0]).arg(row[1])));
        QCOMPARE(r->language, row[2]);
    }
}

void TestWinResources::iconGroupPointsToThePngIcon()
{
    const ResourceRecord *group = find(RtGroupIcon, 101);
    const ResourceRecord *icon = find(RtIcon, 1);
    QVERIFY(group && icon);
    const QByteArray &g = group->data;
    // GRPICONDIR (reserved, type 1, count) and one GRPICONDIRENTRY of 14 bytes.
    QCOMPARE(g.size(), 6 + 14);
    QCOMPARE(u16(g, 0), quint16(0));
    QCOMPARE(u16(g, 2), quint16(1));
    QCOMPARE(u16(g, 4), quint16(1));
    QCOMPARE(u32(g, 6), quint32(0)); // 0 x 0 meaning 256 x 256, no palette
    QCOMPARE(u16(g, 10), quint16(1)); // planes
    QCOMPARE(u16(g, 12), quint16(32)); // bits per pixel
    QCOMPARE(qint64(u32(g, 14)), qint64(icon->data.size()));
    QCOMPARE(u16(g, 18), quint16(1)); // icon id

    // The icon itself is the product icon's PNG, as the bundle's icon file holds it.
    verifyRgbaPng(icon->data, 256);
    QVERIFY(icon->data == productPng);
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
