// The embedded resource bundle: which entries it holds, how they are stored and what they
// are, and that the windows take their icons from the right place: the tool bar from the
// bundle, the window icons from images/ in the working directory only.

#include "binaryfields.h"
#include "mainwindow.h"
#include "settingsdialog.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QResource>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

namespace {

const QString windowIconFile = QStringLiteral("images/Lumarvethon_Icon_only@500x.png");
const QString productIco = QStringLiteral(":/images/Lumarvethon_Icon_only@500x.ico");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// True if some pixel of the pixmap is not fully transparent.
bool hasVisiblePixel(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
        }
    }
    return false;
}

// A window without an icon. Qt 5 calls an icon built from a missing file not null (it only
// has no pictures), Qt 6 calls it null; either way nothing can be drawn from it.
bool showsNothing(const QIcon &icon)
{
    return icon.isNull()
        || (icon.availableSizes().isEmpty() && icon.pixmap(QSize(32, 32)).isNull());
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void init() { savedDirectory = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(savedDirectory); }

    void bundleHoldsExactlyTheImagesAsTheyAre();
    void bundleIsWrittenInFormatVersion2();
    void toolBarImagesAre128RgbaPngs();
    void productIconFileHoldsOnePng();
    void desktopEntryStartsTheProgram();
    void iconsWithoutImagesFolder();
    void settingsDialogTakesIconFromWorkingDirectory();

private:
    QString savedDirectory;
};

void TestResources::bundleHoldsExactlyTheImagesAsTheyAre()
{
    // Qt registers bundles of its own under ":/qt-project.org"; only ours is under images.
    QStringList found;
    QDirIterator it(QStringLiteral(":/images"), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    found.sort();
    const QStringList expected { ":/images/Lumarvethon_Icon_only@500x.ico",
                                 ":/images/application-exit.png",
                                 ":/images/clear.png",
                                 ":/images/connect.png",
                                 ":/images/disconnect.png",
                                 ":/images/settings.png" };
    QCOMPARE(found, expected);

    // The window icon is looked up on disk only.
    QVERIFY(!QFile::exists(":/" + windowIconFile));
    QVERIFY(!QResource(":/" + windowIconFile).isValid());

    for (const QString &entry : expected) {
        const QResource resource(entry);
        QVERIFY2(resource.isValid(), qPrintable(entry));
        QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
        const QByteArray onDisk
            = readAll(QStringLiteral(LUMARVETHON_SOURCE_DIR "/resources") + entry.mid(1));
        QVERIFY2(!onDisk.isEmpty(), qPrintable(entry));
        QVERIFY2(readAll(entry) == onDisk, qPrintable(entry));
        // Format 1 has no modification times; 2 and later store them.
        QVERIFY(resource.lastModified().isValid());
    }
}

void TestResources::bundleIsWrittenInFormatVersion2()
{
    // The format version is only visible in the code that rcc generated for the bundle.
    QStringList generated;
    QDirIterator it(QStringLiteral(LUMARVETHON_BINARY_DIR "/resources"),
                    { QStringLiteral("qrc_resources.cpp") }, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        generated << it.next();
    QCOMPARE(generated.size(), 1);
    const QByteArray code = readAll(generated.first());
    QVERIFY(code.contains("int version = 2;"));
    QVERIFY(!code.contains("int version = 3;"));
}

void TestResources::toolBarImagesAre128RgbaPngs()
{
    for (const char *name : { "connect", "disconnect", "settings", "clear", "application-exit" })
        verifyRgbaPng(readAll(QStringLiteral(":/images/%1.png").arg(QLatin1String(name))), 128);
}

void TestResources::productIconFileHoldsOnePng()
{
    const QByteArray ico = readAll(productIco);
    QVERIFY(ico.size() > 22);
    // ICONDIR: reserved 0, type 1 (icon), one image.
    QCOMPARE(u16(ico, 0), quint16(0));
    QCOMPARE(u16(ico, 2), quint16(1));
    QCOMPARE(u16(ico, 4), quint16(1));
    // ICONDIRENTRY: 0 x 0 meaning 256 x 256, no palette, 1 plane, 32 bits per pixel.
    QCOMPARE(u32(ico, 6), quint32(0));
    QCOMPARE(u16(ico, 10), quint16(1));
    QCOMPARE(u16(ico, 12), quint16(32));
    const quint32 size = u32(ico, 14);
    const quint32 offset = u32(ico, 18);
    QCOMPARE(offset, quint32(22));
    QCOMPARE(qint64(offset) + size, qint64(ico.size()));
    verifyRgbaPng(ico.mid(int(offset), int(size)), 256);

    // And Qt's own icon reader takes the file as one 256 x 256 icon.
    QImageReader reader(productIco, "ico");
    QCOMPARE(reader.imageCount(), 1);
    QCOMPARE(reader.read().size(), QSize(256, 256));
}

void TestResources::desktopEntryStartsTheProgram()
{
    const QStringList lines
        = QString::fromUtf8(
              readAll(QStringLiteral(LUMARVETHON_SOURCE_DIR
                                     "/resources/org.lumarvethon.Lumarvethon.desktop")))
              .split(QLatin1Char('\n'));
    QStringList wanted;
    for (const QString &line : lines) {
        if (line.startsWith("Type=") || line.startsWith("Exec=") || line.startsWith("Icon="))
            wanted << line;
    }
    QCOMPARE(lines.first() + QLatin1Char('|') + wanted.join(QLatin1Char('|')),
             QStringLiteral("[Desktop Entry]|Type=Application|Exec=lumarvethon|Icon=lumarvethon"));
}

// Started where there is no images/ folder, the tool bar still shows the bundle's pictures
// while the windows have no icon.
void TestResources::iconsWithoutImagesFolder()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QVERIFY(QDir::setCurrent(empty.path()));

    MainWindow window;
    const char *const icons[][2] = { { "actionConnect", ":/images/connect.png" },
                                     { "actionDisconnect", ":/images/disconnect.png" },
                                     { "actionConfigure", ":/images/settings.png" },
                                     { "actionClear", ":/images/clear.png" } };
    const QList<QAction *> onBar
        = window.findChild<QToolBar *>(QStringLiteral("mainToolBar"))->actions();
    QCOMPARE(onBar.size(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(onBar[i]->objectName(), QString::fromLatin1(icons[i][0]));
        const QPixmap shown = onBar[i]->icon().pixmap(QSize(24, 24));
        QVERIFY2(hasVisiblePixel(shown), icons[i][0]);
        QCOMPARE(shown.toImage(), QIcon(icons[i][1]).pixmap(QSize(24, 24)).toImage());
    }
    QCOMPARE(window.findChild<QAction *>(QStringLiteral("actionQuit"))->icon().pixmap(24).toImage(),
             QIcon(QStringLiteral(":/images/application-exit.png")).pixmap(24).toImage());

    QVERIFY(window.windowIcon().isNull());
    // What the entry point hands the window in that directory: nothing to show.
    window.setWindowIcon(QIcon(windowIconFile));
    QVERIFY(showsNothing(window.windowIcon()));
    QVERIFY(showsNothing(SettingsDialog().windowIcon()));
}

void TestResources::settingsDialogTakesIconFromWorkingDirectory()
{
    QVERIFY(QDir::setCurrent(QStringLiteral(LUMARVETHON_SOURCE_DIR)));
    QVERIFY(QFile::exists(windowIconFile));
    const SettingsDialog dialog;
    QVERIFY(hasVisiblePixel(dialog.windowIcon().pixmap(QSize(32, 32))));
    // The same picture as the entry point's window icon, taken from the same file.
    QCOMPARE(dialog.windowIcon().pixmap(QSize(32, 32)).toImage(),
             QIcon(windowIconFile).pixmap(QSize(32, 32)).toImage());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
