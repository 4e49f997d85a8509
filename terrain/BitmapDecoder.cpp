#include "BitmapDecoder.h"

#include "ViewerError.h"

#include <QtEndian>
#include <algorithm>
#include <array>
#include <climits>
#include <utility>

namespace {

const char* const kInvalidBitmap = "Bitmap image is not valid";

constexpr int kFileHeaderBytes = 14;
constexpr int kCoreHeaderBytes = 12;
constexpr int kInfoHeaderBytes = 40;
constexpr int kOs2HeaderBytes = 64;

enum : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

// The refusal: the fixed first line, then why, as a sentence on a line of its own.
[[noreturn]] void throwInvalid(const QString& reason)
{
    throw ViewerError(std::string(kInvalidBitmap) + '\n' + reason.toStdString());
}

// What a file that is no BMP at all is, from its first bytes: the usual mix-up is a picture of
// another kind saved under a .bmp name.
QString notABitmap(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return QStringLiteral("The file is empty.");
    const std::pair<QByteArray, const char*> others[] = {{QByteArray("\x89PNG\r\n\x1a\n", 8), "PNG"},
                                                         {QByteArray("\xff\xd8\xff", 3), "JPEG"},
                                                         {QByteArray("GIF8", 4), "GIF"},
                                                         {QByteArray("II*\0", 4), "TIFF"},
                                                         {QByteArray("MM\0*", 4), "TIFF"},
                                                         {QByteArray("RIFF", 4), "RIFF (WebP)"}};
    for (const auto& [signature, kind] : others)
        if (bytes.startsWith(signature))
            return QStringLiteral("It is a %1 picture, not a BMP file: its name says .bmp, its bytes do not.")
                .arg(QLatin1String(kind));
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        return QStringLiteral("The file is cut short: %1 bytes, where a BMP header alone takes %2.")
            .arg(bytes.size())
            .arg(kFileHeaderBytes + 4);
    return QStringLiteral("It does not start as a BMP file does (with the letters BM).");
}

QString cutShort(qint64 needed, qint64 size, const char* what)
{
    return QStringLiteral("The file is cut short: %1 needs %2 bytes, the file has %3.")
        .arg(QLatin1String(what))
        .arg(needed)
        .arg(size);
}

std::uint16_t readU16(const uchar* at)
{
    return qFromLittleEndian<std::uint16_t>(at);
}

std::uint32_t readU32(const uchar* at)
{
    return qFromLittleEndian<std::uint32_t>(at);
}

int bitsSet(std::uint32_t v)
{
    int n = 0;
    for (; v != 0; v &= v - 1)
        ++n;
    return n;
}

// One colour channel of a 16- or 32-bit pixel: the bits under `mask`, widened to 8 bits as
// round(v * 255 / (2^n - 1)) for a channel of n bits, that is floor(a / b) with a = 510 v + m,
// b = 2 m and m = 2^n - 1 (halves round up).
//
// Channels of at most 16 bits go through a table of every value. Wider ones (32-bit pixels
// only) multiply by the double-precision reciprocal of b instead of dividing: a < 2^42 and
// b < 2^34 are exact doubles, and a * fl(1 / b) is within 2^-44 of a / b (two roundings of
// 2^-53 each on a value below 256). As a is odd and b even, a / b is never an integer and lies
// at least 1 / b > 2^-34 from every integer, so the product has the same floor.
class Channel {
public:
    Channel() = default;
    explicit Channel(std::uint32_t mask) : mask_(mask)
    {
        while (((mask >> shift_) & 1u) == 0)
            ++shift_;
        const int bits = bitsSet(mask);
        max_ = (std::uint64_t(1) << bits) - 1;
        reciprocal_ = 1.0 / double(2 * max_);
        if (bits <= 16) {
            table_.resize(std::size_t(1) << bits);
            for (std::uint32_t v = 0; v < table_.size(); ++v)
                table_[v] = widen(v);
        }
    }

    std::uint32_t operator()(std::uint32_t pixel) const
    {
        const std::uint32_t v = (pixel & mask_) >> shift_;
        return table_.empty() ? widen(v) : table_[v];
    }

private:
    std::uint8_t widen(std::uint32_t v) const
    {
        const double a = double(510 * std::uint64_t(v) + max_);
        return std::uint8_t(a * reciprocal_);
    }

    std::uint32_t mask_ = 0;
    int shift_ = 0;
    std::uint64_t max_ = 0;
    double reciprocal_ = 0;
    std::vector<std::uint8_t> table_;
};

// A mask the decoder reads exactly: one non-empty run of set bits inside the pixel.
bool isContiguousMask(std::uint32_t mask, int bitCount)
{
    if (mask == 0 || (bitCount == 16 && mask > 0xFFFFu))
        return false;
    const std::uint32_t lowest = mask & (~mask + 1);
    // Adding the lowest set bit carries through a single run and leaves no bit of it behind.
    return ((mask + lowest) & mask) == 0;
}

// Everything the pixel loop needs, taken from the headers after every check has passed.
struct Layout {
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = kRgb;
    std::array<std::uint32_t, 3> masks{}; // red, green, blue; 16 and 32 bits only
    int paletteOffset = 0;
    int paletteEntries = 0;
    int paletteEntryBytes = 4;
    qint64 pixelOffset = 0;
};

bool isKnownInfoHeaderSize(std::uint32_t size)
{
    switch (size) {
    case kCoreHeaderBytes:
    case kInfoHeaderBytes:
    case 52: // ... with RGB masks
    case 56: // ... with RGBA masks
    case kOs2HeaderBytes:
    case 108: // BITMAPV4HEADER
    case 124: // BITMAPV5HEADER
        return true;
    default: return false;
    }
}

bool isAcceptedFormat(std::uint32_t infoSize, int bitCount, std::uint32_t compression)
{
    if (infoSize == kCoreHeaderBytes)
        return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24;
    switch (bitCount) {
    case 1:
    case 24: return compression == kRgb;
    case 4: return compression == kRgb || compression == kRle4;
    case 8: return compression == kRgb || compression == kRle8;
    case 16:
    case 32:
        // In a 64-byte (OS/2 2.x) header, compression 3 means Huffman coding.
        return compression == kRgb ||
               (infoSize != kOs2HeaderBytes && (compression == kBitFields || compression == kAlphaBitFields));
    default: return false;
    }
}

// Checks every field that decides what decoding reads and how much memory it takes, so that a
// damaged or hostile file is refused before anything is allocated for it. Any failure throws.
Layout checkHeaders(const QByteArray& bytes, int maxSide)
{
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qint64 fileSize = bytes.size();
    if (fileSize < kFileHeaderBytes + 4 || data[0] != 'B' || data[1] != 'M')
        throwInvalid(notABitmap(bytes));
    const std::uint32_t infoSize = readU32(data + kFileHeaderBytes);
    if (!isKnownInfoHeaderSize(infoSize))
        throwInvalid(QStringLiteral("Its information header of %1 bytes is none of the sizes read (12, 40, 52, 56, "
                                    "64, 108, 124).")
                         .arg(infoSize));
    if (fileSize < kFileHeaderBytes + qint64(infoSize))
        throwInvalid(cutShort(kFileHeaderBytes + qint64(infoSize), fileSize, "its header"));

    const uchar* info = data + kFileHeaderBytes;
    Layout layout;
    qint64 width = 0;
    qint64 height = 0;
    std::uint32_t paletteCount = 0;
    if (infoSize == kCoreHeaderBytes) {
        width = readU16(info + 4);
        height = readU16(info + 6);
        layout.bitCount = readU16(info + 10);
        layout.paletteEntryBytes = 3;
    } else {
        width = qint32(readU32(info + 4));
        const qint32 storedHeight = qint32(readU32(info + 8));
        // A negative height marks a top-down file; the most negative value has no magnitude.
        if (storedHeight == INT32_MIN)
            throwInvalid(QStringLiteral("Its height %1 has no magnitude.").arg(storedHeight));
        layout.topDown = storedHeight < 0;
        height = layout.topDown ? -qint64(storedHeight) : qint64(storedHeight);
        layout.bitCount = readU16(info + 14);
        layout.compression = readU32(info + 16);
        paletteCount = readU32(info + 32);
    }
    if (width <= 0 || height <= 0)
        throwInvalid(QStringLiteral("Its size %1 x %2 pixels holds no picture.").arg(width).arg(height));
    if (width > maxSide || height > maxSide)
        throwInvalid(QStringLiteral("Its size %1 x %2 pixels is more than the %3 pixels a side the OpenGL here takes.")
                         .arg(width)
                         .arg(height)
                         .arg(maxSide));
    // The upload words take 4 bytes a pixel and are handed to GLU with int sizes. Both sides
    // are below 2^31 here, so the product cannot overflow.
    if (width * height > qint64(INT_MAX / 4))
        throwInvalid(QStringLiteral("Its %1 x %2 pixels are more than one texture can hold.").arg(width).arg(height));
    layout.width = int(width);
    layout.height = int(height);

    if (!isAcceptedFormat(infoSize, layout.bitCount, layout.compression))
        throwInvalid(QStringLiteral("Its format (%1 bits a pixel, compression %2, a %3-byte header) is not one the "
                                    "viewer reads; 24-bit uncompressed BMP files always are.")
                         .arg(layout.bitCount)
                         .arg(layout.compression)
                         .arg(infoSize));
    const bool runLength = layout.compression == kRle8 || layout.compression == kRle4;
    // Run-length data is defined bottom-up only.
    if (runLength && layout.topDown)
        throwInvalid(QStringLiteral("Its run-length data is stored top-down, which BMP does not define."));

    // Where the headers end: a 40-byte header with bitfields is followed by its masks.
    qint64 headersEnd = kFileHeaderBytes + qint64(infoSize);
    const bool bitFields = layout.compression == kBitFields || layout.compression == kAlphaBitFields;
    if (bitFields) {
        if (infoSize == kInfoHeaderBytes)
            headersEnd += layout.compression == kBitFields ? 12 : 16;
        if (headersEnd > fileSize)
            throwInvalid(cutShort(headersEnd, fileSize, "its header with the colour masks"));
        const uchar* masks = info + kInfoHeaderBytes;
        layout.masks = {readU32(masks), readU32(masks + 4), readU32(masks + 8)};
    } else if (layout.bitCount == 16) {
        layout.masks = {0x7C00u, 0x03E0u, 0x001Fu};
    } else if (layout.bitCount == 32) {
        layout.masks = {0xFF0000u, 0x00FF00u, 0x0000FFu};
    }
    if (layout.bitCount == 16 || layout.bitCount == 32) {
        const auto [r, g, b] = layout.masks;
        if (!isContiguousMask(r, layout.bitCount) || !isContiguousMask(g, layout.bitCount) ||
            !isContiguousMask(b, layout.bitCount) || (r & g) != 0 || (r & b) != 0 || (g & b) != 0)
            throwInvalid(QStringLiteral("Its colour masks (red %1, green %2, blue %3) are empty, split or overlap.")
                             .arg(r, 0, 16)
                             .arg(g, 0, 16)
                             .arg(b, 0, 16));
    }

    layout.pixelOffset = readU32(data + 10);
    if (layout.pixelOffset >= fileSize)
        throwInvalid(cutShort(layout.pixelOffset + 1, fileSize, "its pixel data, at the offset the header gives,"));
    if (layout.pixelOffset < headersEnd)
        throwInvalid(QStringLiteral("Its pixel data would start at byte %1, inside its %2 bytes of headers.")
                         .arg(layout.pixelOffset)
                         .arg(headersEnd));

    if (layout.bitCount <= 8) {
        const qint64 maxEntries = qint64(1) << layout.bitCount;
        const qint64 room = (layout.pixelOffset - headersEnd) / layout.paletteEntryBytes;
        qint64 entries = 0;
        if (infoSize == kCoreHeaderBytes) {
            // No count in the header: the palette fills the gap before the pixels.
            entries = std::min(maxEntries, room);
        } else {
            entries = paletteCount == 0 ? maxEntries : qint64(paletteCount);
            if (entries > maxEntries)
                throwInvalid(QStringLiteral("Its palette of %1 colours is longer than %2 bits a pixel can choose from.")
                                 .arg(entries)
                                 .arg(layout.bitCount));
            if (entries > room)
                throwInvalid(
                    QStringLiteral("Its palette of %1 colours does not fit before its pixel data.").arg(entries));
        }
        if (entries == 0)
            throwInvalid(QStringLiteral("It has no room for the palette its %1-bit pixels need.").arg(layout.bitCount));
        layout.paletteOffset = int(headersEnd);
        layout.paletteEntries = int(entries);
    }

    // Uncompressed rows are padded to 4 bytes; all of them must be in the file. (Run-length
    // data has no size known in advance; the decoder stops at its end.)
    if (!runLength) {
        const qint64 rowBytes = (width * layout.bitCount + 31) / 32 * 4;
        if (rowBytes * height > fileSize - layout.pixelOffset)
            throwInvalid(cutShort(layout.pixelOffset + rowBytes * height, fileSize, "its header with all the rows"));
    }
    return layout;
}

// The upload word of a colour: R | G << 8 | B << 16 | A << 24, stored little-endian so that
// its bytes in memory are R, G, B, A on any host.
std::uint32_t uploadWord(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t alpha)
{
    return qToLittleEndian(r | g << 8 | b << 16 | alpha << 24);
}

// The 256 words an index byte can select: the palette's entries, then palette entry 0 for
// every index past its end.
std::array<std::uint32_t, 256> paletteWords(const uchar* data, const Layout& layout)
{
    std::array<std::uint32_t, 256> words{};
    for (int i = 0; i < layout.paletteEntries; ++i) {
        const uchar* entry = data + layout.paletteOffset + i * layout.paletteEntryBytes;
        words[std::size_t(i)] = uploadWord(entry[2], entry[1], entry[0], 255);
    }
    std::fill(words.begin() + layout.paletteEntries, words.end(), words[0]);
    return words;
}

// The palette index of pixel x in an uncompressed row of 1, 4 or 8 bits; the leftmost pixel
// is in the most significant bits of its byte.
unsigned indexAt(const uchar* row, int x, int bitCount)
{
    switch (bitCount) {
    case 8: return row[x];
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0Fu;
    default: return (row[x >> 3] >> (7 - (x & 7))) & 0x01u;
    }
}

// Uncompressed rows: stored row s is picture row s from the bottom, or from the top in a
// top-down file; the words run bottom-up.
void decodeRows(const uchar* data, const Layout& layout, BitmapImage& image)
{
    const int w = layout.width;
    const int h = layout.height;
    const std::size_t rowBytes = (std::size_t(w) * std::size_t(layout.bitCount) + 31) / 32 * 4;
    const std::uint32_t alpha = layout.bitCount == 32 ? 0 : 255;
    std::array<std::uint32_t, 256> palette{};
    if (layout.bitCount <= 8)
        palette = paletteWords(data, layout);
    Channel red, green, blue;
    if (layout.bitCount == 16 || layout.bitCount == 32) {
        red = Channel(layout.masks[0]);
        green = Channel(layout.masks[1]);
        blue = Channel(layout.masks[2]);
    }

    for (int s = 0; s < h; ++s) {
        const uchar* row = data + layout.pixelOffset + std::size_t(s) * rowBytes;
        const int wordRow = layout.topDown ? h - 1 - s : s;
        std::uint32_t* out = image.words.data() + std::size_t(wordRow) * std::size_t(w);
        switch (layout.bitCount) {
        case 24:
            for (int x = 0; x < w; ++x, row += 3)
                out[x] = uploadWord(row[2], row[1], row[0], alpha);
            break;
        case 16:
            for (int x = 0; x < w; ++x, row += 2) {
                const std::uint32_t pixel = readU16(row);
                out[x] = uploadWord(red(pixel), green(pixel), blue(pixel), alpha);
            }
            break;
        case 32:
            for (int x = 0; x < w; ++x, row += 4) {
                const std::uint32_t pixel = readU32(row);
                out[x] = uploadWord(red(pixel), green(pixel), blue(pixel), alpha);
            }
            break;
        default:
            for (int x = 0; x < w; ++x)
                out[x] = palette[indexAt(row, x, layout.bitCount)];
            break;
        }
    }
}

// Run-length data (RLE8: one index a pixel; RLE4: two a byte, high nibble first), a stream of
// byte pairs: (n > 0, c) is a run of n pixels from c; (0, 0) ends the row, (0, 1) the picture,
// (0, 2, dx, dy) moves right and up, and (0, n >= 3) is followed by n literal pixels padded to
// an even byte count. The words start as palette entry 0, which is what every pixel the
// stream never reaches stays.
void decodeRunLength(const uchar* data, qint64 fileSize, const Layout& layout, BitmapImage& image)
{
    const bool nibbles = layout.compression == kRle4;
    const std::array<std::uint32_t, 256> palette = paletteWords(data, layout);
    const int w = layout.width;
    const int h = layout.height;
    const uchar* p = data + layout.pixelOffset;
    const uchar* const end = data + fileSize;
    int x = 0;
    int row = 0; // bottom-up: stored row = word row
    // Pixels past the row's end are dropped; x never passes w, so it cannot overflow.
    const auto put = [&](unsigned index) {
        if (x < w)
            image.words[std::size_t(row) * std::size_t(w) + std::size_t(x++)] = palette[index];
    };

    while (row < h && end - p >= 2) {
        const int count = p[0];
        const int code = p[1];
        p += 2;
        if (count > 0) {
            const int n = std::min(count, w - x);
            for (int i = 0; i < n; ++i)
                put(nibbles ? ((i & 1) ? code & 0x0F : code >> 4) : code);
        } else if (code == 0) {
            x = 0;
            ++row;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            if (end - p < 2)
                break;
            x = std::min(w, x + p[0]);
            row += p[1];
            p += 2;
        } else {
            const qint64 literalBytes = nibbles ? (code + 1) / 2 : code;
            if (end - p < literalBytes)
                break;
            const int n = std::min(code, w - x);
            for (int i = 0; i < n; ++i)
                put(nibbles ? ((i & 1) ? p[i >> 1] & 0x0F : p[i >> 1] >> 4) : p[i]);
            p += std::min<qint64>(end - p, (literalBytes + 1) & ~qint64(1));
        }
    }
}

} // namespace

BitmapImage decodeBitmap(const QByteArray& fileBytes, int maxSide)
{
    const Layout layout = checkHeaders(fileBytes, maxSide);
    const auto* data = reinterpret_cast<const uchar*>(fileBytes.constData());

    BitmapImage image;
    image.width = layout.width;
    image.height = layout.height;
    image.was32Bit = layout.bitCount == 32;
    const std::size_t pixels = std::size_t(layout.width) * std::size_t(layout.height);
    if (layout.compression == kRle8 || layout.compression == kRle4) {
        image.words.assign(pixels, paletteWords(data, layout)[0]);
        decodeRunLength(data, fileBytes.size(), layout, image);
    } else {
        image.words.assign(pixels, 0u);
        decodeRows(data, layout, image);
    }
    return image;
}
