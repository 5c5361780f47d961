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
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// Checks the PNG signature and the IHDR chunk: size, 8 bits per channel, RGBA.
void verifyRgbaPng(const QByteArray &png, int size)
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
    void init();
    void cleanup();

    void bundleHoldsExactlyTheImages();
    void bundleHasNoPngOfTheProductIcon();
    void entryStoredAsIs_data();
    void entryStoredAsIs();
    void bundleIsWrittenInFormatVersion2();
    void toolBarImageIs128RgbaPng_data();
    void toolBarImageIs128RgbaPng();
    void productIconFileHoldsOnePng();

    void desktopEntry_data();
    void desktopEntry();

    void actionIconComesFromTheBundle_data();
    void actionIconComesFromTheBundle();
    void toolBarShowsFourIconsWithoutImagesFolder();
    void windowsHaveNoIconWithoutImagesFolder();
    void settingsDialogTakesIconFromWorkingDirectory();

private:
    QString savedDirectory;
};

void TestResources::init()
{
    savedDirectory = QDir::currentPath();
}

void TestResources::cleanup()
{
    QDir::setCurrent(savedDirectory);
}

void TestResources::bundleHoldsExactlyTheImages()
{
    // Qt registers bundles of its own under ":/qt-project.org"; only ours is under images.
    QStringList found;
    QDirIterator it(QStringLiteral(":/images"), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    found.sort();
    QStringList expected { ":/images/Lumarvethon_Icon_only@500x.ico",
                           ":/images/application-exit.png",
                           ":/images/clear.png",
                           ":/images/connect.png",
                           ":/images/disconnect.png",
                           ":/images/settings.png" };
    expected.sort();
    QCOMPARE(found, expected);
}

void TestResources::bundleHasNoPngOfTheProductIcon()
{
    QVERIFY(!QFile::exists(QStringLiteral(":/images/Lumarvethon_Icon_only@500x.png")));
    QVERIFY(!QFile::exists(":/" + windowIconFile));
    QVERIFY(!QResource(":/" + windowIconFile).isValid());
}

void TestResources::entryStoredAsIs_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("connect") << QStringLiteral("images/connect.png");
    QTest::newRow("disconnect") << QStringLiteral("images/disconnect.png");
    QTest::newRow("settings") << QStringLiteral("images/settings.png");
    QTest::newRow("clear") << QStringLiteral("images/clear.png");
    QTest::newRow("application-exit") << QStringLiteral("images/application-exit.png");
    QTest::newRow("product icon file") << QStringLiteral("images/Lumarvethon_Icon_only@500x.ico");
}

void TestResources::entryStoredAsIs()
{
    QFETCH(QString, path);
    const QResource resource(":/" + path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
    const QByteArray onDisk = readAll(QStringLiteral(LUMARVETHON_SOURCE_DIR "/resources/") + path);
    QVERIFY(!onDisk.isEmpty());
    QCOMPARE(resource.size(), qint64(onDisk.size()));
    QVERIFY(readAll(":/" + path) == onDisk);
    // Format 1 has no modification times; 2 and later store them.
    QVERIFY(resource.lastModified().isValid());
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

void TestResources::toolBarImageIs128RgbaPng_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("connect") << QStringLiteral(":/images/connect.png");
    QTest::newRow("disconnect") << QStringLiteral(":/images/disconnect.png");
    QTest::newRow("settings") << QStringLiteral(":/images/settings.png");
    QTest::newRow("clear") << QStringLiteral(":/images/clear.png");
    QTest::newRow("application-exit") << QStringLiteral(":/images/application-exit.png");
}

void TestResources::toolBarImageIs128RgbaPng()
{
    QFETCH(QString, path);
    verifyRgbaPng(readAll(path), 128);
    const QImage image(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(128, 128));
    QVERIFY(image.hasAlphaChannel());
    QVERIFY(image.format() == QImage::Format_ARGB32
            || image.format() == QImage::Format_ARGB32_Premultiplied
            || image.format() == QImage::Format_RGBA8888);
    // Drawn with a transparent surround, not a filled square.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QVERIFY(hasVisiblePixel(QPixmap::fromImage(image)));
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
    QCOMPARE(quint8(ico.at(6)), quint8(0));
    QCOMPARE(quint8(ico.at(7)), quint8(0));
    QCOMPARE(quint8(ico.at(8)), quint8(0));
    QCOMPARE(quint8(ico.at(9)), quint8(0));
    QCOMPARE(u16(ico, 10), quint16(1));
    QCOMPARE(u16(ico, 12), quint16(32));
    const quint32 size = u32(ico, 14);
    const quint32 offset = u32(ico, 18);
    QCOMPARE(offset, quint32(22));
    QCOMPARE(qint64(offset) + size, qint64(ico.size()));
    const QByteArray png = ico.mid(int(offset), int(size));
    verifyRgbaPng(png, 256);
    QCOMPARE(QImage::fromData(png, "PNG").size(), QSize(256, 256));

    // And Qt's own icon reader takes the file as one 256 x 256 icon.
    QImageReader reader(productIco, "ico");
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.imageCount(), 1);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(256, 256));
    QVERIFY(image.hasAlphaChannel());
}

void TestResources::desktopEntry_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("Type") << "Type"
                          << "Application";
    QTest::newRow("Name") << "Name"
                          << "Lumarvethon";
    QTest::newRow("Exec") << "Exec"
                          << "lumarvethon";
    // The icon theme name the installation gives the product icon.
    QTest::newRow("Icon") << "Icon"
                          << "lumarvethon";
    QTest::newRow("Terminal") << "Terminal"
                              << "false";
    QTest::newRow("Categories") << "Categories"
                                << "Science;Engineering;";
}

void TestResources::desktopEntry()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QString text = QString::fromUtf8(
        readAll(QStringLiteral(LUMARVETHON_SOURCE_DIR "/resources/lumarvethon.desktop")));
    const QStringList lines = text.split(QLatin1Char('\n'));
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
    QStringList values;
    for (const QString &line : lines) {
        if (line.startsWith(key + QLatin1Char('=')))
            values << line.mid(key.size() + 1);
    }
    QCOMPARE(values, QStringList { value });
}

void TestResources::actionIconComesFromTheBundle_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("path");
    QTest::newRow("connect") << "actionConnect"
                             << ":/images/connect.png";
    QTest::newRow("disconnect") << "actionDisconnect"
                                << ":/images/disconnect.png";
    QTest::newRow("configure") << "actionConfigure"
                               << ":/images/settings.png";
    QTest::newRow("clear") << "actionClear"
                           << ":/images/clear.png";
    QTest::newRow("quit") << "actionQuit"
                          << ":/images/application-exit.png";
}

void TestResources::actionIconComesFromTheBundle()
{
    QFETCH(QString, action);
    QFETCH(QString, path);
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QVERIFY(QDir::setCurrent(empty.path()));

    MainWindow window;
    const QAction *a = window.findChild<QAction *>(action);
    QVERIFY(a);
    QVERIFY(!a->icon().isNull());
    const QImage shown = a->icon().pixmap(QSize(32, 32)).toImage();
    const QImage expected = QIcon(path).pixmap(QSize(32, 32)).toImage();
    QVERIFY(!shown.isNull());
    QCOMPARE(shown, expected);
}

void TestResources::toolBarShowsFourIconsWithoutImagesFolder()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QVERIFY(QDir::setCurrent(empty.path()));
    QVERIFY(!QDir(QStringLiteral("images")).exists());

    MainWindow window;
    const QToolBar *bar = window.findChild<QToolBar *>(QStringLiteral("mainToolBar"));
    QVERIFY(bar);
    const QList<QAction *> actions = bar->actions();
    QStringList names;
    for (const QAction *a : actions)
        names << a->objectName();
    QCOMPARE(
        names,
        QStringList({ "actionConnect", "actionDisconnect", "actionConfigure", "actionClear" }));
    for (const QAction *a : actions) {
        QVERIFY2(!a->icon().isNull(), qPrintable(a->objectName()));
        const QPixmap pixmap = a->icon().pixmap(QSize(24, 24));
        QVERIFY2(!pixmap.isNull(), qPrintable(a->objectName()));
        QVERIFY2(hasVisiblePixel(pixmap), qPrintable(a->objectName()));
    }
}

void TestResources::windowsHaveNoIconWithoutImagesFolder()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QVERIFY(QDir::setCurrent(empty.path()));

    MainWindow window;
    QVERIFY(window.windowIcon().isNull());
    // What the entry point hands the window in that directory: nothing to show.
    const QIcon icon(windowIconFile);
    QVERIFY(showsNothing(icon));
    window.setWindowIcon(icon);
    QVERIFY(showsNothing(window.windowIcon()));

    SettingsDialog dialog;
    QVERIFY(showsNothing(dialog.windowIcon()));
}

void TestResources::settingsDialogTakesIconFromWorkingDirectory()
{
    QVERIFY(QDir::setCurrent(QStringLiteral(LUMARVETHON_SOURCE_DIR)));
    QVERIFY(QFile::exists(windowIconFile));
    const QImage onDisk(windowIconFile);
    QVERIFY(!onDisk.isNull());
    QVERIFY(onDisk.hasAlphaChannel());

    SettingsDialog dialog;
    QVERIFY(!showsNothing(dialog.windowIcon()));
    QVERIFY(hasVisiblePixel(dialog.windowIcon().pixmap(QSize(32, 32))));
    // The same picture as the entry point's window icon, taken from the same file.
    QCOMPARE(dialog.windowIcon().pixmap(QSize(32, 32)).toImage(),
             QIcon(windowIconFile).pixmap(QSize(32, 32)).toImage());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
