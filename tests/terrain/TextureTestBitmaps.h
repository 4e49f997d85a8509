#pragma once

// Hand-written BMP files for the texture tests: every header field is laid down here, byte by
// byte, so a test can damage exactly the one it means to.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVector>
#include <QtEndian>
#include <QtGlobal>
#include <cstdint>

namespace testbmp {

// A picture as a test describes it: rows top first, each pixel 0xAARRGGBB.
struct Picture {
    int width = 0;
    int height = 0;
    QVector<quint32> pixels; // width * height, row 0 = top row

    quint32 at(int x, int y) const { return pixels[y * width + x]; }
};

inline Picture solid(int width, int height, quint32 argb)
{
    Picture p;
    p.width = width;
    p.height = height;
    p.pixels.fill(argb, width * height);
    return p;
}

// Byte offsets of the fields a test may want to change.
constexpr int kFileSizeOffset = 2;
constexpr int kPixelOffsetOffset = 10;
constexpr int kInfoSizeOffset = 14;
constexpr int kWidthOffset = 18;       // 32-bit, or 16-bit in a 12-byte header
constexpr int kHeightOffset = 22;      // 32-bit (40-byte headers and larger)
constexpr int kBitCountOffset = 28;    // 40-byte headers and larger
constexpr int kCompressionOffset = 30; // 40-byte headers and larger

inline void putU16(QByteArray& b, int offset, quint16 v)
{
    qToLittleEndian(v, b.data() + offset);
}

inline void putU32(QByteArray& b, int offset, quint32 v)
{
    qToLittleEndian(v, b.data() + offset);
}

inline void appendU16(QByteArray& b, quint16 v)
{
    char bytes[2];
    qToLittleEndian(v, bytes);
    b.append(bytes, 2);
}

inline void appendU32(QByteArray& b, quint32 v)
{
    char bytes[4];
    qToLittleEndian(v, bytes);
    b.append(bytes, 4);
}

// The 12-byte BITMAPCOREHEADER: size, 16-bit width and height, planes 1, bits per pixel.
inline void appendCoreHeader(QByteArray& info, int width, int height, int bitCount)
{
    appendU32(info, 12);
    appendU16(info, quint16(width));
    appendU16(info, quint16(height));
    appendU16(info, 1);
    appendU16(info, quint16(bitCount));
}

struct Options {
    int bitCount = 24;        // 8 (palettised), 16 (5-5-5), 24 or 32
    int infoSize = 40;        // 12, 40, 108 or 124
    bool topDown = false;     // negative height, rows stored top first
    QVector<quint32> palette; // 8-bit only: 0x00RRGGBB entries; the picture must use only these
};

inline int paletteIndex(const QVector<quint32>& palette, quint32 argb)
{
    const int index = palette.indexOf(argb & 0x00FFFFFFu);
    Q_ASSERT(index >= 0);
    return index;
}

// Encodes one pixel of a picture row into the file's pixel format.
inline void appendPixel(QByteArray& row, const Options& o, quint32 argb)
{
    const char r = char((argb >> 16) & 0xFF);
    const char g = char((argb >> 8) & 0xFF);
    const char b = char(argb & 0xFF);
    const char a = char(argb >> 24);
    switch (o.bitCount) {
    case 8: row.append(char(paletteIndex(o.palette, argb))); break;
    case 16: {
        const quint16 word = quint16(((argb >> 19) & 0x1F) << 10 | ((argb >> 11) & 0x1F) << 5 | ((argb >> 3) & 0x1F));
        appendU16(row, word);
        break;
    }
    case 24: row.append(b).append(g).append(r); break;
    default: row.append(b).append(g).append(r).append(a); break;
    }
}

inline QByteArray encode(const Picture& picture, const Options& o = Options())
{
    QByteArray info;
    const int paletteEntries = o.bitCount == 8 ? o.palette.size() : 0;
    if (o.infoSize == 12) {
        appendCoreHeader(info, picture.width, picture.height, o.bitCount);
    } else {
        // 32-bit pixels in a V4/V5 header carry explicit masks, alpha included.
        const bool masks = o.infoSize >= 108 && o.bitCount == 32;
        appendU32(info, quint32(o.infoSize));
        appendU32(info, quint32(picture.width));
        appendU32(info, quint32(o.topDown ? -picture.height : picture.height));
        appendU16(info, 1);
        appendU16(info, quint16(o.bitCount));
        appendU32(info, masks ? 3u : 0u); // BI_BITFIELDS : BI_RGB
        appendU32(info, 0);               // image size: may be 0 for uncompressed data
        appendU32(info, 2835);            // 72 dpi
        appendU32(info, 2835);
        appendU32(info, quint32(paletteEntries));
        appendU32(info, 0);
        if (o.infoSize >= 108) {
            appendU32(info, masks ? 0x00FF0000u : 0u);
            appendU32(info, masks ? 0x0000FF00u : 0u);
            appendU32(info, masks ? 0x000000FFu : 0u);
            appendU32(info, masks ? 0xFF000000u : 0u);
            appendU32(info, 0x73524742); // 'sRGB'
        }
        info.append(QByteArray(o.infoSize - info.size(), '\0'));
    }

    QByteArray palette;
    for (quint32 entry : o.palette.mid(0, paletteEntries)) {
        palette.append(char(entry & 0xFF)).append(char((entry >> 8) & 0xFF)).append(char((entry >> 16) & 0xFF));
        if (o.infoSize != 12)
            palette.append('\0');
    }

    QByteArray pixels;
    for (int stored = 0; stored < picture.height; ++stored) {
        const int y = o.topDown ? stored : picture.height - 1 - stored; // bottom-up unless top-down
        QByteArray row;
        for (int x = 0; x < picture.width; ++x)
            appendPixel(row, o, picture.at(x, y));
        while (row.size() % 4 != 0)
            row.append('\0');
        pixels.append(row);
    }

    QByteArray file("BM");
    const int pixelOffset = 14 + info.size() + palette.size();
    appendU32(file, quint32(pixelOffset + pixels.size()));
    appendU32(file, 0);
    appendU32(file, quint32(pixelOffset));
    file.append(info).append(palette).append(pixels);
    return file;
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The upload word a picture pixel should become: bytes R, G, B, A in memory.
inline QByteArray expectedBytes(quint32 argb, quint8 alpha)
{
    QByteArray b;
    b.append(char((argb >> 16) & 0xFF)).append(char((argb >> 8) & 0xFF)).append(char(argb & 0xFF)).append(char(alpha));
    return b;
}

} // namespace testbmp

namespace testbmp {

// A BMP file given field by field, for the formats the simple encoder above does not write:
// any header size, depth, compression, mask set and palette length, and pixel data as stored.
struct RawBitmap {
    int infoSize = 40; // 12, 40, 52, 56, 64, 108 or 124
    int width = 1;
    int height = 1; // stored negated when topDown
    bool topDown = false;
    int bitCount = 24;
    quint32 compression = 0;  // 0 BI_RGB, 1 BI_RLE8, 2 BI_RLE4, 3 BI_BITFIELDS, 6 BI_ALPHABITFIELDS
    QVector<quint32> masks;   // red, green, blue[, alpha]: in the header from 52 bytes on,
                              // after a 40-byte header otherwise
    QVector<quint32> palette; // 0x00RRGGBB entries, written in full
    qint64 colourCount = -1;  // the header's clrUsed; -1 writes palette.size()
    int gapBytes = 0;         // bytes of 0xEE between the palette and the pixel data
    QByteArray pixels;        // the pixel data exactly as stored
};

inline QByteArray build(const RawBitmap& r)
{
    QByteArray info;
    if (r.infoSize == 12) {
        appendCoreHeader(info, r.width, r.height, r.bitCount);
    } else {
        appendU32(info, quint32(r.infoSize));
        appendU32(info, quint32(r.width));
        appendU32(info, quint32(r.topDown ? -r.height : r.height));
        appendU16(info, 1);
        appendU16(info, quint16(r.bitCount));
        appendU32(info, r.compression);
        appendU32(info, quint32(r.pixels.size()));
        appendU32(info, 2835);
        appendU32(info, 2835);
        appendU32(info, quint32(r.colourCount < 0 ? r.palette.size() : r.colourCount));
        appendU32(info, 0);
        if (r.infoSize >= 52) {
            for (int i = 0; i < 4; ++i)
                appendU32(info, i < r.masks.size() ? r.masks[i] : 0u);
        }
        info.append(QByteArray(r.infoSize - qMin(r.infoSize, info.size()), '\0'));
        info.truncate(r.infoSize);
        if (r.infoSize == 40) {
            for (quint32 mask : r.masks)
                appendU32(info, mask);
        }
    }
    for (quint32 entry : r.palette) {
        info.append(char(entry & 0xFF)).append(char((entry >> 8) & 0xFF)).append(char((entry >> 16) & 0xFF));
        if (r.infoSize != 12)
            info.append('\0');
    }
    info.append(QByteArray(r.gapBytes, '\xEE'));

    QByteArray file("BM");
    const int pixelOffset = 14 + info.size();
    appendU32(file, quint32(pixelOffset + r.pixels.size()));
    appendU32(file, 0);
    appendU32(file, quint32(pixelOffset));
    file.append(info).append(r.pixels);
    return file;
}

// Uncompressed pixel data: each stored row (first = bottom row unless top-down) packed at
// `bitCount` bits a value, leftmost pixel in the high bits of a byte for depths below 8,
// little-endian for 16 and 32, bytes B, G, R of 0xRRGGBB for 24; padded to 4 bytes.
inline QByteArray packRows(const QVector<QVector<quint32>>& storedRows, int bitCount)
{
    QByteArray data;
    for (const QVector<quint32>& values : storedRows) {
        QByteArray row;
        if (bitCount < 8) {
            const int perByte = 8 / bitCount;
            for (int start = 0; start < values.size(); start += perByte) {
                quint32 byte = 0;
                for (int i = 0; i < perByte; ++i) {
                    const quint32 v = start + i < values.size() ? values[start + i] : 0u;
                    byte |= v << (8 - bitCount * (i + 1));
                }
                row.append(char(byte));
            }
        } else {
            for (quint32 v : values) {
                if (bitCount == 8)
                    row.append(char(v));
                else if (bitCount == 16)
                    appendU16(row, quint16(v));
                else if (bitCount == 24)
                    row.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)).append(char((v >> 16) & 0xFF));
                else
                    appendU32(row, v);
            }
        }
        while (row.size() % 4 != 0)
            row.append('\0');
        data.append(row);
    }
    return data;
}

} // namespace testbmp
