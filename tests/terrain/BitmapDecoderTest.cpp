// Every BMP layout the decoder accepts, built byte by byte here, against the pixels the format
// defines; the layouts it refuses; and the same words from every decode, whatever the heap held.
//
// Expected colours are computed here independently of the decoder: a channel of n bits holding
// v is round(v * 255 / (2^n - 1)) in double precision; a palette index past the palette's end
// and a pixel a run-length stream never reaches are palette entry 0.

#include "BitmapDecoder.h"
#include "TextureTestBitmaps.h"
#include "ViewerError.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <cmath>
#include <cstdlib>
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace testbmp;

namespace {

constexpr int kAnySide = 16384;

// One accepted file and the picture it must give: 0xRRGGBB, rows top first.
struct FormatCase {
    QByteArray file;
    int width = 0;
    int height = 0;
    bool was32Bit = false;
    QVector<quint32> expected;
};

using Catalogue = QVector<QPair<QString, FormatCase>>;

} // namespace

Q_DECLARE_METATYPE(FormatCase)

namespace {

quint32 widened(quint32 pixel, quint32 mask)
{
    int shift = 0;
    while (((mask >> shift) & 1u) == 0)
        ++shift;
    int bits = 0;
    for (quint32 m = mask >> shift; m & 1u; m >>= 1)
        ++bits;
    const double v = double((pixel & mask) >> shift);
    return quint32(std::lround(v * 255.0 / (std::ldexp(1.0, bits) - 1.0)));
}

quint32 colourFromMasks(quint32 pixel, const QVector<quint32>& masks)
{
    return widened(pixel, masks[0]) << 16 | widened(pixel, masks[1]) << 8 | widened(pixel, masks[2]);
}

// Stored rows of a picture given top first: bottom-up unless the file is top-down.
QVector<QVector<quint32>> storedOrder(QVector<QVector<quint32>> rows, bool topDown)
{
    if (!topDown)
        std::reverse(rows.begin(), rows.end());
    return rows;
}

// A picture of palette indices; indices at or past `entries` must show palette entry 0.
FormatCase palettised(RawBitmap raw, const QVector<QVector<quint32>>& indices, int entries)
{
    raw.height = indices.size();
    raw.width = indices.first().size();
    raw.pixels = packRows(storedOrder(indices, raw.topDown), raw.bitCount);
    FormatCase c{build(raw), raw.width, raw.height, false, {}};
    for (const auto& row : indices)
        for (quint32 index : row)
            c.expected << raw.palette[int(index) < entries ? int(index) : 0];
    return c;
}

// A picture of raw 16- or 32-bit pixel values and the masks that split them (the defaults
// 5-5-5 and 8-8-8 when the file has none).
FormatCase masked(RawBitmap raw, const QVector<QVector<quint32>>& values, const QVector<quint32>& masks)
{
    raw.height = values.size();
    raw.width = values.first().size();
    raw.pixels = packRows(storedOrder(values, raw.topDown), raw.bitCount);
    FormatCase c{build(raw), raw.width, raw.height, raw.bitCount == 32, {}};
    for (const auto& row : values)
        for (quint32 v : row)
            c.expected << colourFromMasks(v, masks);
    return c;
}

// Pixel values that take every channel through 0, its maximum and values between: the masks'
// full values, each channel alone, and a spread of mixed values.
QVector<QVector<quint32>> maskProbe(const QVector<quint32>& masks, int bitCount)
{
    const quint32 all = bitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    QVector<quint32> values = {0u, all, masks[0], masks[1], masks[2]};
    quint32 x = 0x2545F491u;
    while (values.size() < 15) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        values << (x & all);
    }
    return {values.mid(0, 5), values.mid(5, 5), values.mid(10, 5)};
}

QVector<quint32> greyRamp(int entries)
{
    QVector<quint32> palette;
    for (int i = 0; i < entries; ++i)
        palette << ((0x102030u + quint32(i) * 0x0B0705u) & 0xFFFFFFu);
    return palette;
}

RawBitmap header(int infoSize, int bitCount, quint32 compression = 0)
{
    RawBitmap r;
    r.infoSize = infoSize;
    r.bitCount = bitCount;
    r.compression = compression;
    return r;
}

FormatCase runLength(int bitCount, int width, int height, int paletteEntries, const QByteArray& stream,
                     const QVector<QVector<quint32>>& indicesTopFirst)
{
    RawBitmap r = header(40, bitCount, bitCount == 8 ? 1 : 2);
    r.width = width;
    r.height = height;
    r.palette = greyRamp(paletteEntries);
    r.pixels = stream;
    FormatCase c{build(r), width, height, false, {}};
    for (const auto& row : indicesTopFirst)
        for (quint32 index : row)
            c.expected << r.palette[int(index) < paletteEntries ? int(index) : 0];
    return c;
}

Catalogue acceptedFiles()
{
    Catalogue cases;
    const QVector<QVector<quint32>> bits1 = {{1, 0, 1, 1, 0, 0, 1, 0, 1}, {0, 1, 1, 0, 1, 0, 0, 1, 1}};
    const QVector<QVector<quint32>> bits4 = {{0, 1, 2, 3, 15}, {4, 5, 6, 7, 8}, {9, 10, 11, 12, 13}};
    QVector<QVector<quint32>> bits8 = {{0, 1, 2, 3, 4, 255, 7}, {128, 3, 2, 1, 0, 200, 6}};

    RawBitmap r = header(40, 1);
    r.palette = {0xFF0000u, 0x00FFFFu};
    cases << qMakePair(QStringLiteral("1 bit"), palettised(r, bits1, 2));
    r.infoSize = 12;
    cases << qMakePair(QStringLiteral("1 bit, 12-byte header"), palettised(r, bits1, 2));
    r = header(40, 4);
    r.palette = greyRamp(16);
    cases << qMakePair(QStringLiteral("4 bits"), palettised(r, bits4, 16));
    r.palette = greyRamp(3);
    cases << qMakePair(QStringLiteral("4 bits, 3 colours, indices up to 15"), palettised(r, bits4, 3));
    r.infoSize = 12;
    r.palette = greyRamp(5);
    cases << qMakePair(QStringLiteral("4 bits, 12-byte header, 5 colours"), palettised(r, bits4, 5));
    r = header(40, 8);
    r.palette = greyRamp(256);
    bits8[0][0] = 9;
    cases << qMakePair(QStringLiteral("8 bits"), palettised(r, bits8, 256));
    r.palette = greyRamp(4);
    cases << qMakePair(QStringLiteral("8 bits, 4 colours"), palettised(r, bits8, 4));
    r.gapBytes = 13;
    cases << qMakePair(QStringLiteral("8 bits, pixels after a gap"), palettised(r, bits8, 4));
    r.infoSize = 12;
    r.gapBytes = 0;
    r.palette = greyRamp(10);
    cases << qMakePair(QStringLiteral("8 bits, 12-byte header, 10 colours"), palettised(r, bits8, 10));
    r.palette = greyRamp(4);
    r.gapBytes = 2; // less than a whole 3-byte entry: still 4 colours
    cases << qMakePair(QStringLiteral("8 bits, 12-byte header, gap of 2"), palettised(r, bits8, 4));
    r = header(124, 8);
    r.palette = greyRamp(7);
    r.topDown = true;
    cases << qMakePair(QStringLiteral("8 bits, V5 header, top-down"), palettised(r, bits8, 7));

    const QVector<quint32> rgb = {0xFF0000u, 0x00FF00u, 0x0000FFu};
    const QVector<QVector<quint32>> colours = {{0xFF0000u, 0x00FF00u, 0x0000FFu}, {0xFFFFFFu, 0u, 0x0A141Eu}};
    for (int infoSize : {12, 40, 52, 56, 64, 108, 124})
        cases << qMakePair(QStringLiteral("24 bits, %1-byte header").arg(infoSize),
                           masked(header(infoSize, 24), colours, rgb));
    r = header(40, 24);
    r.topDown = true;
    cases << qMakePair(QStringLiteral("24 bits, top-down"), masked(r, colours, rgb));

    const QVector<quint32> rgb555 = {0x7C00u, 0x03E0u, 0x001Fu};
    QVector<quint32> every5Bit;
    for (quint32 v = 0; v < 32; ++v)
        every5Bit << (v << 10 | (31 - v) << 5 | v);
    cases << qMakePair(QStringLiteral("16 bits, every 5-bit value"), masked(header(40, 16), {every5Bit}, rgb555));
    cases << qMakePair(QStringLiteral("32 bits"), masked(header(40, 32), maskProbe(rgb, 32), rgb));

    // Masks of every width: {name, bits, masks red, green, blue[, alpha]}.
    const QVector<QPair<QString, QVector<quint32>>> maskSets = {
        {QStringLiteral("16 bits 5-6-5"), {16, 0xF800u, 0x07E0u, 0x001Fu}},
        {QStringLiteral("16 bits 4-4-4-4"), {16, 0x0F00u, 0x00F0u, 0x000Fu, 0xF000u}},
        {QStringLiteral("16 bits 2-3-1"), {16, 0x0030u, 0x000Eu, 0x0001u}},
        {QStringLiteral("16 bits 3-10-3"), {16, 0xE000u, 0x1FF8u, 0x0007u}},
        {QStringLiteral("16 bits 1-9-2-4"), {16, 0x8000u, 0x7FC0u, 0x0030u, 0x000Fu}},
        {QStringLiteral("32 bits 11-11-10"), {32, 0xFFE00000u, 0x001FFC00u, 0x000003FFu}},
        {QStringLiteral("32 bits 7-18-7"), {32, 0xFE000000u, 0x01FFFF80u, 0x0000007Fu}},
        {QStringLiteral("32 bits 10-10-10-2"), {32, 0x3FF00000u, 0x000FFC00u, 0x000003FFu, 0xC0000000u}},
        {QStringLiteral("32 bits 8-12-8-4"), {32, 0xFF000000u, 0x00FFF000u, 0x00000FF0u, 0x0000000Fu}},
        {QStringLiteral("32 bits 6-17-5-4"), {32, 0xFC000000u, 0x03FFFE00u, 0x000001F0u, 0x0000000Fu}},
        {QStringLiteral("32 bits 8-8-8 as BGR"), {32, 0x000000FFu, 0x0000FF00u, 0x00FF0000u}},
        {QStringLiteral("32 bits 1-30-1"), {32, 0x80000000u, 0x7FFFFFFEu, 0x00000001u}},
    };
    for (const auto& [name, set] : maskSets) {
        const int bits = int(set[0]);
        const QVector<quint32> masks = set.mid(1);
        const bool withAlpha = masks.size() == 4;
        for (int infoSize : {40, 52, 56, 108, 124}) {
            if (infoSize == 52 && withAlpha)
                continue;
            RawBitmap m = header(infoSize, bits, withAlpha && infoSize == 40 ? 6 : 3);
            m.masks = infoSize == 52 ? masks.mid(0, 3) : masks;
            cases << qMakePair(QStringLiteral("%1, %2-byte header").arg(name).arg(infoSize),
                               masked(m, maskProbe(masks, bits), masks));
        }
    }
    // Masks in a 52- or 56-byte header are only read for bitfield files.
    RawBitmap ignoredMasks = header(56, 16);
    ignoredMasks.masks = {0x0001u, 0x0002u, 0x0004u, 0x0008u};
    cases << qMakePair(QStringLiteral("16 bits BI_RGB, masks in the header unused"),
                       masked(ignoredMasks, {every5Bit}, rgb555));

    // Run-length pictures, palette entry 0 wherever the stream leaves a pixel undefined.
    // RLE8, 6 x 4: a run and an odd absolute run; an early end of line; deltas; an early end.
    cases << qMakePair(QStringLiteral("RLE8 runs, deltas and early ends"),
                       runLength(8, 6, 4, 4,
                                 QByteArray("\x03\x01\x00\x03\x02\x03\x01\x00\x00\x00"
                                            "\x02\x02\x00\x00"
                                            "\x00\x02\x03\x00\x02\x01\x00\x02\x00\x01"
                                            "\x01\x03\x00\x01",
                                            28),
                                 {{0, 0, 0, 0, 0, 3}, {0, 0, 0, 1, 1, 0}, {2, 2, 0, 0, 0, 0}, {1, 1, 1, 2, 3, 1}}));
    // RLE4, 7 x 3: alternating nibbles, an absolute run without and with padding, data that
    // stops without an end of bitmap.
    cases << qMakePair(QStringLiteral("RLE4 runs, absolute runs, data stops"),
                       runLength(4, 7, 3, 16,
                                 QByteArray("\x05\x12\x00\x00"
                                            "\x00\x03\xAB\xC0\x02\xFF\x00\x00"
                                            "\x00\x05\x34\x56\x70\x00",
                                            18),
                                 {{3, 4, 5, 6, 7, 0, 0}, {10, 11, 12, 15, 15, 0, 0}, {1, 2, 1, 2, 1, 0, 0}}));
    // Damaged streams, 4 x 2 with 3 colours.
    const QVector<QPair<QString, QPair<QByteArray, QVector<QVector<quint32>>>>> damaged = {
        {QStringLiteral("run past the row's end"),
         {QByteArray("\x06\x01\x00\x00\x02\x02\x00\x01", 8), {{2, 2, 0, 0}, {1, 1, 1, 1}}}},
        {QStringLiteral("absolute run past the row's end"),
         {QByteArray("\x00\x06\x01\x02\x01\x02\x01\x02\x00\x01", 10), {{0, 0, 0, 0}, {1, 2, 1, 2}}}},
        {QStringLiteral("delta past the picture"),
         {QByteArray("\x01\x01\x00\x02\x00\x05\x01\x02", 8), {{0, 0, 0, 0}, {1, 0, 0, 0}}}},
        {QStringLiteral("delta past the row's end"),
         {QByteArray("\x01\x01\x00\x02\x09\x00\x02\x02\x00\x00\x01\x02", 12), {{2, 0, 0, 0}, {1, 0, 0, 0}}}},
        {QStringLiteral("absolute run past the data's end"),
         {QByteArray("\x01\x02\x00\x08\x01\x02", 6), {{0, 0, 0, 0}, {2, 0, 0, 0}}}},
        {QStringLiteral("rows past the picture"),
         {QByteArray("\x01\x01\x00\x00\x01\x01\x00\x00\x04\x02\x00\x00", 12), {{1, 0, 0, 0}, {1, 0, 0, 0}}}},
        {QStringLiteral("cut inside an escape"), {QByteArray("\x01\x02\x00", 3), {{0, 0, 0, 0}, {2, 0, 0, 0}}}},
        {QStringLiteral("cut inside a delta"), {QByteArray("\x01\x01\x00\x02\x05", 5), {{0, 0, 0, 0}, {1, 0, 0, 0}}}},
        {QStringLiteral("indices past the palette"),
         {QByteArray("\x02\x07\x01\x02\x00\x00\x00\x03\x09\xFF\x01\x00", 12), {{9, 255, 1, 0}, {7, 7, 2, 0}}}},
    };
    for (const auto& [name, item] : damaged)
        cases << qMakePair(QStringLiteral("RLE8 ") + name, runLength(8, 4, 2, 3, item.first, item.second));
    return cases;
}

QString errorOf(const QByteArray& file)
{
    try {
        decodeBitmap(file, kAnySide);
    } catch (const ViewerError& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("(decoded)");
}

// Describes the first pixel whose word differs from the expected colour and alpha.
QString firstDifference(const BitmapImage& image, const FormatCase& c)
{
    const quint8 alpha = c.was32Bit ? 0 : 255;
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            const quint32 want = c.expected[y * c.width + x];
            QByteArray got(4, '\0');
            std::memcpy(got.data(), &image.words[std::size_t(c.height - 1 - y) * std::size_t(c.width) + std::size_t(x)],
                        4);
            if (got != expectedBytes(want, alpha))
                return QStringLiteral("pixel %1,%2 (from the top): got %3, want %4")
                    .arg(x)
                    .arg(y)
                    .arg(QString::fromLatin1(got.toHex(' ')),
                         QString::fromLatin1(expectedBytes(want, alpha).toHex(' ')));
        }
    }
    return QString();
}

// Leaves the heap holding `byte` wherever it hands out memory next: glibc's perturbation fills
// every block it allocates and frees, and blocks of the sizes a decode asks for are written
// and freed so that the next requests of those sizes reuse them.
void poisonHeap(unsigned char byte)
{
#if defined(__GLIBC__)
    mallopt(M_PERTURB, byte);
#endif
    std::vector<void*> blocks;
    for (std::size_t size : {16u, 64u, 256u, 1024u, 4096u, 65536u, 1u << 20})
        for (int i = 0; i < 4; ++i) {
            void* block = std::malloc(size);
            QVERIFY(block);
            std::memset(block, byte, size);
            blocks.push_back(block);
        }
    for (void* block : blocks)
        std::free(block);
}

} // namespace

class BitmapDecoderTest : public QObject {
    Q_OBJECT

private slots:
    void decodesAcceptedFormat_data();
    void decodesAcceptedFormat();
    void fiveBitChannelKnownValues();
    void wideChannelsRoundExactlyAtEveryStep();
    void refusesUnlistedFormat_data();
    void refusesUnlistedFormat();
    void sameWordsWhateverTheHeapHeld();
};

void BitmapDecoderTest::decodesAcceptedFormat_data()
{
    QTest::addColumn<FormatCase>("c");
    for (const auto& [name, c] : acceptedFiles())
        QTest::newRow(qPrintable(name)) << c;
}

void BitmapDecoderTest::decodesAcceptedFormat()
{
    QFETCH(FormatCase, c);
    BitmapImage image;
    try {
        image = decodeBitmap(c.file, kAnySide);
    } catch (const ViewerError& e) {
        QFAIL(e.what());
    }
    QCOMPARE(image.width, c.width);
    QCOMPARE(image.height, c.height);
    QCOMPARE(image.was32Bit, c.was32Bit);
    QCOMPARE(image.words.size(), std::size_t(c.width * c.height));
    const QString difference = firstDifference(image, c);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void BitmapDecoderTest::fiveBitChannelKnownValues()
{
    // The widening's known values, independent of the formula in this file: 31 -> 255,
    // 16 -> 132, 1 -> 8, 0 -> 0 on each channel of a 5-5-5 pixel.
    RawBitmap r = header(40, 16);
    r.width = 4;
    r.pixels = packRows({{31u << 10 | 16u << 5 | 1u, 16u << 10 | 1u << 5, 1u << 10 | 31u, 0x7FFFu}}, 16);
    const BitmapImage image = decodeBitmap(build(r), kAnySide);
    const QVector<QByteArray> want = {QByteArray("\xFF\x84\x08\xFF", 4), QByteArray("\x84\x08\x00\xFF", 4),
                                      QByteArray("\x08\x00\xFF\xFF", 4), QByteArray("\xFF\xFF\xFF\xFF", 4)};
    for (int x = 0; x < 4; ++x)
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&image.words[std::size_t(x)]), 4), want[x]);
}

void BitmapDecoderTest::wideChannelsRoundExactlyAtEveryStep()
{
    // Channels of 17 to 30 bits, at the values where the 8-bit result steps up: for each k,
    // the largest v with v * 255 / m below k + 1/2 and the next two. The expected value comes
    // from exact integers: round(v * 255 / m) = floor((510 v + m) / (2 m)).
    for (int bits = 17; bits <= 30; ++bits) {
        const quint64 m = (quint64(1) << bits) - 1;
        const quint32 green = quint32(m) << 1; // red: the top bit, blue: bit 0
        QVector<quint32> values;
        QVector<quint32> want;
        for (quint64 k = 0; k < 255; ++k) {
            const quint64 edge = ((2 * k + 1) * m - 1) / 510; // last v below k + 1/2
            for (quint64 v = edge; v <= edge + 2 && v <= m; ++v) {
                values << (quint32(v) << 1 | 0x80000001u);
                want << quint32((510 * v + m) / (2 * m));
            }
        }
        RawBitmap r = header(40, 32, 3);
        r.masks = {0x80000000u, green, 0x00000001u};
        r.width = values.size();
        r.pixels = packRows({values}, 32);
        const BitmapImage image = decodeBitmap(build(r), kAnySide);
        for (int i = 0; i < values.size(); ++i) {
            const quint8 got = quint8(qFromLittleEndian<quint32>(&image.words[std::size_t(i)]) >> 8);
            QVERIFY2(got == want[i], qPrintable(QStringLiteral("%1 bits, v %2: %3, want %4")
                                                    .arg(bits)
                                                    .arg(values[i] >> 1 & quint32(m))
                                                    .arg(got)
                                                    .arg(want[i])));
        }
    }
}

void BitmapDecoderTest::refusesUnlistedFormat_data()
{
    QTest::addColumn<QByteArray>("file");
    const auto withPixels = [](RawBitmap r, int rowBytes = 4) {
        r.pixels = QByteArray(rowBytes * r.height, '\x11');
        return build(r);
    };
    const auto bitfields = [&](int bits, const QVector<quint32>& masks) {
        RawBitmap r = header(40, bits, 3);
        r.masks = masks;
        return withPixels(r);
    };
    QTest::newRow("16 bits, split red mask") << bitfields(16, {0x5C00u, 0x03E0u, 0x001Fu});
    QTest::newRow("16 bits, empty green mask") << bitfields(16, {0x7C00u, 0u, 0x001Fu});
    QTest::newRow("16 bits, red and green overlap") << bitfields(16, {0x7E00u, 0x03E0u, 0x001Fu});
    QTest::newRow("16 bits, blue and red overlap") << bitfields(16, {0xF800u, 0x07E0u, 0xF800u});
    QTest::newRow("16 bits, mask past the pixel") << bitfields(16, {0x1F0000u, 0x03E0u, 0x001Fu});
    QTest::newRow("32 bits, all masks empty") << bitfields(32, {0u, 0u, 0u});
    RawBitmap cut = header(40, 16, 3);
    cut.masks = {0xF800u, 0x07E0u};
    QByteArray cutMasks = build(cut); // the blue mask would be the first pixel bytes
    QTest::newRow("40-byte header, masks cut by the pixel data") << cutMasks;
    RawBitmap alpha = header(40, 24, 6);
    alpha.masks = {0xFF0000u, 0xFF00u, 0xFFu, 0u};
    QTest::newRow("alpha bitfields with 24 bits") << withPixels(alpha);
    QTest::newRow("bitfields with 8 bits") << bitfields(8, {0xE0u, 0x1Cu, 0x03u});
    QTest::newRow("2 bits") << withPixels(header(40, 2));
    QTest::newRow("64 bits") << withPixels(header(40, 64), 8);
    QTest::newRow("BI_JPEG") << withPixels(header(40, 24, 4));
    QTest::newRow("BI_PNG") << withPixels(header(40, 24, 5));
    QTest::newRow("CMYK") << withPixels(header(40, 32, 11));
    QTest::newRow("64-byte header, Huffman") << withPixels(header(64, 1, 3));
    RawBitmap os2Masks = header(64, 16, 3);
    os2Masks.masks = {0x7C00u, 0x03E0u, 0x001Fu};
    QTest::newRow("64-byte header, compression 3 with 16 bits") << withPixels(os2Masks);
    QTest::newRow("64-byte header, RLE24") << withPixels(header(64, 24, 4));
    QTest::newRow("12-byte header, 16 bits") << withPixels(header(12, 16));
    QTest::newRow("12-byte header, 32 bits") << withPixels(header(12, 32));
    QTest::newRow("12-byte header, no room for a colour") << withPixels(header(12, 8));
    RawBitmap tooMany = header(40, 4);
    tooMany.palette = greyRamp(17);
    QTest::newRow("4 bits, 17 colours") << withPixels(tooMany);
    RawBitmap overlapping = header(40, 8);
    overlapping.palette = greyRamp(4);
    overlapping.colourCount = 6; // two entries more than lie before the pixel data
    QTest::newRow("palette runs into the pixel data") << withPixels(overlapping);
    RawBitmap topDownRle = header(40, 8, 1);
    topDownRle.topDown = true;
    topDownRle.palette = greyRamp(2);
    topDownRle.pixels = QByteArray("\x01\x01\x00\x01", 4);
    QTest::newRow("RLE8 top-down") << build(topDownRle);
    RawBitmap rle4With8 = topDownRle;
    rle4With8.topDown = false;
    rle4With8.compression = 2;
    QTest::newRow("RLE4 with 8 bits") << build(rle4With8);
}

void BitmapDecoderTest::refusesUnlistedFormat()
{
    QFETCH(QByteArray, file);
    const QString error = errorOf(file);
    QCOMPARE(error.section(QLatin1Char('\n'), 0, 0), QStringLiteral("Bitmap image is not valid"));
    QVERIFY2(!error.section(QLatin1Char('\n'), 1).isEmpty(), qPrintable(error)); // and why
}

void BitmapDecoderTest::sameWordsWhateverTheHeapHeld()
{
    // Every accepted test file and every file of the fuzz corpus, decoded once after the heap
    // was filled with 0x00 and once after 0xFF (and a third time with a pattern byte): a pixel
    // taken from memory nobody wrote would differ between the decodes.
    QVector<QPair<QString, QByteArray>> files;
    for (const auto& [name, c] : acceptedFiles())
        files << qMakePair(name, c.file);
    const QDir corpus(qEnvironmentVariable("TERRAIN_SOURCE_DIR") + QStringLiteral("/tools/fuzz/corpus"));
    const QStringList corpusNames = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY(corpusNames.size() >= 20);
    for (const QString& name : corpusNames) {
        QFile file(corpus.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        files << qMakePair(name, file.readAll());
    }

    int decoded = 0;
    QStringList unstable;
    for (const auto& [name, bytes] : files) {
        QVector<std::vector<std::uint32_t>> runs;
        for (unsigned char poison : {0x00, 0xFF, 0xA5}) {
            poisonHeap(poison);
            try {
                runs << decodeBitmap(bytes, kAnySide).words;
            } catch (const ViewerError&) {
                runs << std::vector<std::uint32_t>();
            }
        }
        if (runs[0] != runs[1] || runs[1] != runs[2])
            unstable << name;
        decoded += runs[0].empty() ? 0 : 1;
    }
#if defined(__GLIBC__)
    mallopt(M_PERTURB, 0);
#endif
    QVERIFY2(unstable.isEmpty(), qPrintable(QStringLiteral("differ between decodes: ") + unstable.join(", ")));
    QVERIFY(decoded >= acceptedFiles().size());
}

QTEST_APPLESS_MAIN(BitmapDecoderTest)
#include "BitmapDecoderTest.moc"
