// The windows' icon: the picture in images/ under the working directory when it is there, and
// an icon all the same when the panel is started anywhere else.

#include "windowicon.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

class TestWindowIcon : public QObject
{
    Q_OBJECT

private slots:
    void iconEverywhere()
    {
        QTemporaryDir dir;
        const auto restore = qScopeGuard([old = QDir::currentPath()] { QDir::setCurrent(old); });
        QVERIFY(QDir::setCurrent(dir.path()));
        QVERIFY(!panelWindowIcon().pixmap(32).isNull());

        // A picture of its own, so that it cannot be mistaken for the product icon.
        QImage red(16, 16, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QVERIFY(QDir().mkdir(QStringLiteral("images")));
        QVERIFY(red.save(QStringLiteral("images/Lumarvethon_Icon_only@500x.png")));
        QCOMPARE(panelWindowIcon().pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32),
                 red);
    }
};

QTEST_MAIN(TestWindowIcon)
#include "tst_windowicon.moc"
