#include "Texture.h"

#include "ViewerError.h"

#include <GL/glu.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QtEndian>
#include <climits>
#include <optional>

namespace {

const char* const kInvalidBitmap = "Bitmap image is not valid";

constexpr int kFileHeaderBytes = 14;

// What the header check learns about a file, before QImage sees a byte of it.
struct BitmapHeader {
    int width = 0;
    int height = 0; // rows, whatever the storage order
    int bitCount = 0;
};

[[noreturn]] void throwInvalid()
{
    throw ViewerError(kInvalidBitmap);
}

std::uint16_t readU16(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<std::uint16_t>(bytes.constData() + offset);
}

std::uint32_t readU32(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<std::uint32_t>(bytes.constData() + offset);
}

std::int32_t readI32(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<std::int32_t>(bytes.constData() + offset);
}

bool isKnownInfoHeaderSize(std::uint32_t size)
{
    switch (size) {
    case 12:  // BITMAPCOREHEADER: 16-bit width and height, no compression field
    case 40:  // BITMAPINFOHEADER
    case 52:  // ... with RGB masks
    case 56:  // ... with RGBA masks
    case 64:  // OS/2 2.x
    case 108: // BITMAPV4HEADER
    case 124: // BITMAPV5HEADER
        return true;
    default:
        return false;
    }
}

// Checks every field that decides how much memory decoding takes, so that a damaged or
// hostile file is refused before QImage allocates anything for it. Any failure throws.
BitmapHeader checkHeader(const QByteArray& bytes, int maxSide)
{
    const qint64 fileSize = bytes.size();
    if (fileSize < kFileHeaderBytes + 4 || bytes[0] != 'B' || bytes[1] != 'M')
        throwInvalid();
    const std::uint32_t infoSize = readU32(bytes, kFileHeaderBytes);
    if (!isKnownInfoHeaderSize(infoSize) || fileSize < kFileHeaderBytes + qint64(infoSize))
        throwInvalid();

    const int info = kFileHeaderBytes;
    qint64 width = 0;
    qint64 height = 0;
    int bitCount = 0;
    std::uint32_t compression = 0;
    if (infoSize == 12) {
        width = readU16(bytes, info + 4);
        height = readU16(bytes, info + 6);
        bitCount = readU16(bytes, info + 10);
    } else {
        width = readI32(bytes, info + 4);
        const std::int32_t storedHeight = readI32(bytes, info + 8);
        // A negative height marks a top-down file; the most negative value has no magnitude.
        if (storedHeight == INT32_MIN)
            throwInvalid();
        height = storedHeight < 0 ? -qint64(storedHeight) : qint64(storedHeight);
        bitCount = readU16(bytes, info + 14);
        compression = readU32(bytes, info + 16);
    }
    if (width <= 0 || height <= 0 || width > maxSide || height > maxSide)
        throwInvalid();
    // The decoded image and the upload words each take 4 bytes a pixel, and QImage addresses
    // its buffer with int. Both sides are below 2^31 here, so the product cannot overflow.
    if (width * height > qint64(INT_MAX / 4))
        throwInvalid();

    enum : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };
    bool formatKnown = false;
    switch (bitCount) {
    case 1:
    case 24:
        formatKnown = compression == kRgb;
        break;
    case 4:
        formatKnown = compression == kRgb || compression == kRle4;
        break;
    case 8:
        formatKnown = compression == kRgb || compression == kRle8;
        break;
    case 16:
    case 32:
        formatKnown = compression == kRgb || compression == kBitFields;
        break;
    default:
        break;
    }
    if (!formatKnown)
        throwInvalid();

    const qint64 pixelOffset = readU32(bytes, 10);
    if (pixelOffset < kFileHeaderBytes + qint64(infoSize) || pixelOffset >= fileSize)
        throwInvalid();
    // Uncompressed rows are padded to 4 bytes; all of them must be in the file. (Run-length
    // data has no size known in advance; QImage stops at its end.)
    if (compression != kRle8 && compression != kRle4) {
        const qint64 rowBytes = (width * bitCount + 31) / 32 * 4;
        if (rowBytes * height > fileSize - pixelOffset)
            throwInvalid();
    }
    return {int(width), int(height), bitCount};
}

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
    return decodeBitmap(bytes, maxSide);
}

} // namespace

BitmapImage decodeBitmap(const QByteArray& fileBytes, int maxSide)
{
    const BitmapHeader header = checkHeader(fileBytes, maxSide);

    QImage decoded;
    if (!decoded.loadFromData(fileBytes, "BMP") || decoded.width() != header.width ||
        decoded.height() != header.height)
        throwInvalid();
    // Non-premultiplied, so the colour channels are the file's own whatever its alpha says.
    const QImage pixels = decoded.convertToFormat(QImage::Format_ARGB32);
    decoded = QImage();
    if (pixels.isNull())
        throwInvalid();

    BitmapImage image;
    image.width = header.width;
    image.height = header.height;
    image.was32Bit = header.bitCount == 32;
    // A converted file is opaque; a file that had 32 bits keeps alpha 0.
    const std::uint32_t alpha = image.was32Bit ? 0u : 0xFF000000u;
    const int w = image.width;
    const int h = image.height;
    image.words.resize(std::size_t(w) * std::size_t(h));
    // Picture row y (0 = top) goes to word row h-1-y: the upload runs bottom-up, as GL's
    // texture rows do. Each word is R | G << 8 | B << 16 | A << 24, stored little-endian so
    // that its bytes in memory are R, G, B, A on any host.
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb pixel = reinterpret_cast<const QRgb*>(pixels.constScanLine(y))[x];
            const std::uint32_t word = std::uint32_t(qRed(pixel)) | std::uint32_t(qGreen(pixel)) << 8 |
                                       std::uint32_t(qBlue(pixel)) << 16 | alpha;
            image.words[std::size_t(h - 1 - y) * std::size_t(w) + std::size_t(x)] =
                qToLittleEndian(word);
        }
    }
    return image;
}

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

    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    // GLU rescales sides that are not powers of two and builds every level down to 1 x 1.
    const GLint status = gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, image.width, image.height, GL_RGBA,
                                           GL_UNSIGNED_BYTE, image.words.data());
    if (status != 0) {
        glDeleteTextures(1, &name);
        throw ViewerError(QStringLiteral("Cannot build the texture of %1: %2")
                              .arg(fileName, QString::fromLatin1(reinterpret_cast<const char*>(
                                                 gluErrorString(GLenum(status)))))
                              .toStdString());
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    return name;
}
