// The pictures and the Windows resources as other programs read them: the bundle, the windows'
// icons, and lumarvethon.rc compiled by MinGW's windres (icon group, PNG and manifest).

#include "settingsdialog.h"
#include "testprocess.h"
#include "testsupport.h"
#include "windowicon.h"

#include <QtTest>

namespace {

const QString source = QStringLiteral(LUMARVETHON_SOURCE_DIR "/resources");

quint32 field(const QByteArray &bytes, qint64 at, int size = 4)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData() + at);
    return size == 2 ? qFromLittleEndian<quint16>(p) : qFromLittleEndian<quint32>(p);
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void bundleAndIcons();
    void windowsResources();
};

void TestResources::bundleAndIcons()
{
    QStringList found;
    for (QDirIterator it(":/images", QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString entry = it.next();
        found << entry.mid(9);
        QCOMPARE(QResource(entry).compressionAlgorithm(), QResource::NoCompression);
        QVERIFY2(fileContent(entry) == fileContent(source + entry.mid(1)), qPrintable(entry));
    }
    found.sort();
    QCOMPARE(found.join(' '),
             "Lumarvethon_Icon_only@500x.ico application-exit.png clear.png connect.png "
             "disconnect.png settings.png");

    // Started elsewhere, the main window has an icon, the dialog none; with images/ there, both
    // take its picture (a red square, not to be mistaken for the product icon).
    QTemporaryDir dir;
    const auto restore = qScopeGuard([old = QDir::currentPath()] { QDir::setCurrent(old); });
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(SettingsDialog().windowIcon().isNull());
    QVERIFY(!panelWindowIcon().pixmap(32).isNull());
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QVERIFY(QDir().mkdir(QStringLiteral("images")));
    QVERIFY(red.save(QStringLiteral("images/Lumarvethon_Icon_only@500x.png")));
    for (const QIcon &icon : { panelWindowIcon(), SettingsDialog().windowIcon() })
        QCOMPARE(icon.pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32), red);
}

void TestResources::windowsResources()
{
    const QString windres = QStandardPaths::findExecutable("x86_64-w64-mingw32-windres");
    QVERIFY2(!windres.isEmpty(), "install binutils-mingw-w64-x86-64 (tools/setup lists it)");
    QTemporaryDir dir;
    TestProcess run;
    run.setWorkingDirectory(dir.path()); // as a build does: names come through --include-dir
    run.start(windres,
              { "--preprocessor=" + QStandardPaths::findExecutable("cpp"),
                "--preprocessor-arg=-DRC_INVOKED", "--include-dir=" + source,
                "--input=" + source + "/lumarvethon.rc", "--output-format=res",
                "--output=" + dir.filePath("out.res") });
    QVERIFY(run.waitForFinished(60000));
    QVERIFY2(run.exitCode() == 0, run.readAllStandardError().constData());

    // A .res file is a row of records: data size, header size, type and name (0xFFFF and a
    // number each), DWORD padding, then version, flags, language..., the data, padded too.
    const QByteArray res = fileContent(dir.filePath("out.res"));
    QStringList records;
    QMap<int, QByteArray> data;
    for (qint64 at = 0; at + 8 <= res.size();) {
        const qint64 size = field(res, at), header = field(res, at + 4);
        QVERIFY(header >= 32 && at + header + size <= res.size());
        QCOMPARE(field(res, at + 8, 2), 0xFFFFu); // types and names are numbers
        const int type = int(field(res, at + 10, 2)), name = int(field(res, at + 14, 2));
        if (size > 0) {
            const quint32 language = field(res, at + header - 10, 2);
            records << QStringLiteral("%1/%2/%3").arg(type).arg(name).arg(language, 0, 16);
            data[type] = res.mid(at + header, size);
        }
        at = (at + header + size + 3) & ~3;
    }
    records.sort();
    QCOMPARE(records.join(' '), QStringLiteral("14/101/407 24/1/409 3/1/407"));
    const QByteArray ico = fileContent(source + "/images/Lumarvethon_Icon_only@500x.ico");
    QCOMPARE(data[3], ico.mid(22)); // the icon is the product icon's PNG
    QVERIFY(data[3].startsWith("\x89PNG"));
    QCOMPARE(data[14].size(), 20); // the group: one 256 x 256 entry of that size, icon 1
    QCOMPARE(data[14].mid(6, 8), ico.mid(6, 8));
    QCOMPARE(qint64(field(data[14], 14)), qint64(data[3].size()));
    QCOMPARE(field(data[14], 18, 2), 1u);
    for (const char *text : { "level=\"asInvoker\"", "uiAccess=\"false\"",
                              "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
                              "publicKeyToken=\"6595b64144ccf1df\"" })
        QVERIFY2(data[24].contains(text), text);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
