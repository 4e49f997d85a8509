#include "DesktopIdentity.h"

#include <QGuiApplication>

QIcon viewerIcon()
{
    // The resource is compiled into the static app library, where nothing else refers to it:
    // this call keeps its object file in the program. It stands outside any namespace because
    // the macro declares the resource's initialiser where it is used.
    Q_INIT_RESOURCE(icons);
    QIcon icon;
    for (const int side : kIconSidesPixels)
        icon.addFile(QStringLiteral(":/icons/terrain-viewer-%1.png").arg(side), QSize(side, side));
    return icon;
}

void setDesktopIdentity()
{
    QGuiApplication::setDesktopFileName(QStringLiteral(TERRAIN_APP_ID));
    QGuiApplication::setWindowIcon(viewerIcon());
}
