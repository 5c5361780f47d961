#ifndef WINDOWICON_H
#define WINDOWICON_H

// The icon of the panel's windows. Started from the source tree, the panel shows the picture
// in images/ under the working directory; an installed panel, started from the desktop menu or
// from any other directory, has no such file and shows the icon the package installs into the
// icon theme, or else the copy compiled into the program.

#include <QIcon>

QIcon panelWindowIcon();

#endif // WINDOWICON_H
