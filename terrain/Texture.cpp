#include "Texture.h"

#include "ViewerError.h"

#include <GL/glu.h>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>

namespace {

std::optional<QStringList>& searchFolderOverride()
{
    static std::optional<QStringList> folders;
    return folders;
}

[[noreturn]] void throwCannotOpen(const QString& path, const QString& detail = QString())
{
    QString message = QStringLiteral("Cannot open file ") + QDir::toNativeSeparators(path);
    if (!detail.isEmpty())
        message += QLatin1Char('\n') + detail;
    throw ViewerError(message.toStdString());
}

BitmapImage readExistingFile(const QString& path, int maxSide)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        throwCannotOpen(path);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throwCannotOpen(path);
    try {
        return decodeBitmap(bytes, maxSide);
    } catch (const ViewerError& e) {
        // Four layer files look alike: the second line says which one to mend, the decoder's
        // reason follows it.
        const QString message = QString::fromUtf8(e.what());
        const QString reason = message.section(QLatin1Char('\n'), 1);
        throw ViewerError((message.section(QLatin1Char('\n'), 0, 0) + QStringLiteral("\nFile: ") +
                           QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) +
                           (reason.isEmpty() ? QString() : QLatin1Char('\n') + reason))
                              .toStdString());
    }
}

} // namespace

QStringList textureSearchFolders()
{
    if (searchFolderOverride())
        return *searchFolderOverride();
    QStringList folders;
    // Empty in a tree built for installing: an installed program never reads the source tree.
    const QString sourceAssets = QStringLiteral(TERRAIN_SOURCE_ASSET_DIR);
    if (!sourceAssets.isEmpty())
        folders << sourceAssets;
    // The data folder is given relative to the folder of the program (share/terrain-viewer
    // beside bin/), so an installed tree finds its textures wherever its prefix was put:
    // /usr, /usr/local, or a scratch folder the package was unpacked into.
    const QString programFolder = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).path();
    folders << QDir::cleanPath(QDir(programFolder).filePath(QStringLiteral(TERRAIN_INSTALL_ASSET_DIR)));
    return folders;
}

void setTextureSearchFolders(const QStringList& folders)
{
    searchFolderOverride() = folders;
}

void resetTextureSearchFolders()
{
    searchFolderOverride().reset();
}

BitmapImage readBitmapFile(const QString& fileName, int maxSide)
{
    const QFileInfo given(fileName);
    if (given.isAbsolute()) {
        if (!given.exists())
            throwCannotOpen(QDir::cleanPath(fileName),
                            QStringLiteral("Looked in: ") + QDir::toNativeSeparators(given.absolutePath()));
        return readExistingFile(fileName, maxSide);
    }

    QStringList folders{QDir::currentPath()};
    for (const QString& folder : textureSearchFolders()) {
        if (folder.isEmpty())
            continue;
        const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
        if (!folders.contains(absolute))
            folders << absolute;
    }
    for (const QString& folder : folders) {
        const QString path = QDir::cleanPath(QDir(folder).filePath(fileName));
        if (QFileInfo::exists(path))
            return readExistingFile(path, maxSide);
    }

    QStringList shown;
    for (const QString& folder : folders)
        shown << QDir::toNativeSeparators(folder);
    throwCannotOpen(QDir::cleanPath(QDir(folders.first()).filePath(fileName)),
                    QStringLiteral("Looked in: ") + shown.join(QStringLiteral(", ")));
}

GLuint loadTexture(const QString& fileName)
{
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    // Everything that can fail on the file's side fails here, before a texture name exists.
    const BitmapImage image = readBitmapFile(fileName, maxSide);
    // Its words carry alpha 0, so the layer's splat weighs nothing and that ground stays black.
    if (image.was32Bit)
        qWarning().noquote() << QStringLiteral("%1 has 32 bits per pixel: its layer is drawn black").arg(fileName);

    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    // GLU rescales sides that are not powers of two and builds every level down to 1 x 1.
    const GLint status = gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, image.width, image.height, GL_RGBA, GL_UNSIGNED_BYTE,
                                           image.words.data());
    if (status != 0) {
        glDeleteTextures(1, &name);
        throw ViewerError(
            QStringLiteral("Cannot build the texture of %1: %2")
                .arg(fileName, QString::fromLatin1(reinterpret_cast<const char*>(gluErrorString(GLenum(status)))))
                .toStdString());
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    return name;
}
