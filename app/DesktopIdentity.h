#pragma once

// How the desktop recognises the program's windows and matches them to its menu entry.
//
// On X11, Qt gives every window WM_CLASS = (instance: the file name of argv[0], class: the
// application name), and docks match the class against the menu entry's StartupWMClass; main()
// sets the application name "terrain-viewer" for that. On Wayland the window's app id stands in
// for WM_CLASS, and Qt sends the desktop file name as the app id: the menu entry's file name
// without ".desktop", which is also the AppStream id and the icon's name in the icon theme.

#include <QIcon>
#include <array>

// The sides in pixels of the icon's pictures, as installed under icons/hicolor/<side>x<side>.
constexpr std::array<int, 3> kIconSidesPixels = {48, 128, 256};

// The program's icon: the PNG pictures that are installed into the icon theme, built into the
// program, so that a window has its icon wherever the program runs from (the build tree, an
// installed or unpacked tree, any prefix) without looking for a file.
QIcon viewerIcon();

// Gives the application its desktop file name, "org.terrainviewer.TerrainViewer" (the build's
// TERRAIN_APP_ID), and its window icon. Call after the QApplication is made and before the
// first window is shown: Qt hands both to a window when it creates it.
void setDesktopIdentity();
