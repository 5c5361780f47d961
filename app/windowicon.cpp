#include "windowicon.h"

#include <QPixmap>

QIcon panelWindowIcon()
{
    // A QIcon made from a missing path is not null (in Qt 5), so go through the picture.
    const QPixmap picture(QStringLiteral("images/Lumarvethon_Icon_only@500x.png"));
    if (!picture.isNull())
        return QIcon(picture);
    // The name the package installs under share/icons/hicolor, as the desktop entry's Icon=.
    return QIcon::fromTheme(QStringLiteral("lumarvethon"),
                            QIcon(QStringLiteral(":/images/Lumarvethon_Icon_only@500x.ico")));
}
