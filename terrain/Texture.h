#pragma once

#include "BitmapDecoder.h"

#include <GL/gl.h>
#include <QString>
#include <QStringList>

// Reads and decodes a BMP file by name. A relative name is looked for in the working
// directory first, then in each folder of textureSearchFolders(). A file found nowhere throws
// ViewerError "Cannot open file <working-directory path>" followed by a line naming every
// folder tried; a file found but refused by decodeBitmap throws "Bitmap image is not valid"
// followed by the line "File: <absolute path>" and the decoder's line saying why.
BitmapImage readBitmapFile(const QString& fileName, int maxSide);

// The folders, after the working directory, where the shipped layer textures are looked for:
// the source tree's assets folder (left out of a tree configured with
// -DTERRAIN_SOURCE_ASSETS=OFF, the one packages are made from), then the installed data folder
// share/terrain-viewer found from the running program's own folder (<prefix>/bin).
QStringList textureSearchFolders();

// Replaces the folders textureSearchFolders() gives (an empty list means: the working
// directory only), until resetTextureSearchFolders() restores the built-in ones. Lets a test
// control where a texture may be found.
void setTextureSearchFolders(const QStringList& folders);
void resetTextureSearchFolders();

// Reads a BMP file, uploads it as a mipmapped GL_RGBA texture (MAG_FILTER LINEAR,
// MIN_FILTER LINEAR_MIPMAP_NEAREST, default repeat wrapping) and returns its name, left bound
// to GL_TEXTURE_2D. Needs a current context. A file that cannot be read or decoded throws
// before any texture is created; should GLU fail to build the mipmaps (out of memory), the new
// texture is deleted again and ViewerError thrown.
GLuint loadTexture(const QString& fileName);
