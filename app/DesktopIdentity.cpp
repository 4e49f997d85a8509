#include "DesktopIdentity.h"

#include <QGuiApplication>

QString desktopAppId()
{
    return QStringLiteral(TERRAIN_APP_ID);
}

QIcon viewerIcon()
{
    // The resource is compiled into the static app library, where nothing else refers to it:
    // this call keeps its object file in the program. (At global scope, as the macro needs.)
    Q_INIT_RESOURCE(icons);
    QIcon icon;
    for (const int side : kIconSidesPixels)
        icon.addFile(QStringLiteral(":/icons/terrain-viewer-%1.png").arg(side), QSize(side, side));
    return icon;
}

void setDesktopIdentity()
{
    QGuiApplication::setDesktopFileName(desktopAppId());
    QGuiApplication::setWindowIcon(viewerIcon());
}
