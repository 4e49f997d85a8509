// Checks the shipped terrain layer textures (assets/LandTex0.bmp ... LandTex3.bmp): the file
// format the terrain build can upload as it stands, colours that tell the layers apart, tiling
// without seams, and that they are exactly what terrain-texgen writes.

#include <QtTest>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kSize = 256;

enum Layer { Grass = 0, Soil = 1, Rock = 2, Snow = 3 };

QString assetPath(int layer)
{
    const QByteArray sourceDir = qgetenv("TERRAIN_SOURCE_DIR");
    return QString::fromLocal8Bit(sourceDir) + QStringLiteral("/assets/LandTex%1.bmp").arg(layer);
}

std::uint32_t le32(const QByteArray& bytes, int offset)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData()) + offset;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

std::uint16_t le16(const QByteArray& bytes, int offset)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData()) + offset;
    return std::uint16_t(p[0] | (p[1] << 8));
}

// RGB pixels, top row first, decoded from the file bytes by the test itself.
struct Pixels {
    std::vector<std::array<int, 3>> rgb;
    const std::array<int, 3>& at(int x, int y) const { return rgb[y * kSize + x]; }
};

bool fail(QString& fault, const QString& reason)
{
    fault = reason;
    return false;
}

// Parses a 24-bit uncompressed bottom-up BMP with a BITMAPINFOHEADER. On a format fault returns
// false with the reason in `fault`.
bool parseBmp24(const QByteArray& bytes, Pixels& pixels, QString& fault)
{
    if (bytes.size() < 54)
        return fail(fault, QStringLiteral("shorter than the two headers"));
    if (bytes[0] != 'B' || bytes[1] != 'M')
        return fail(fault, QStringLiteral("no BM signature"));
    if (le32(bytes, 2) != std::uint32_t(bytes.size()))
        return fail(fault, QStringLiteral("file size field %1, file %2 bytes").arg(le32(bytes, 2)).arg(bytes.size()));
    const std::uint32_t dataOffset = le32(bytes, 10);
    if (le32(bytes, 14) != 40)
        return fail(fault, QStringLiteral("info header size %1, not 40").arg(le32(bytes, 14)));
    const auto width = std::int32_t(le32(bytes, 18));
    const auto height = std::int32_t(le32(bytes, 22));
    if (width != kSize || height != kSize)
        return fail(fault, QStringLiteral("size %1 x %2").arg(width).arg(height));
    if (le16(bytes, 26) != 1)
        return fail(fault, QStringLiteral("planes %1").arg(le16(bytes, 26)));
    if (le16(bytes, 28) != 24)
        return fail(fault, QStringLiteral("%1 bits per pixel, not 24").arg(le16(bytes, 28)));
    if (le32(bytes, 30) != 0)
        return fail(fault, QStringLiteral("compression %1, not BI_RGB").arg(le32(bytes, 30)));
    const int rowBytes = (kSize * 3 + 3) / 4 * 4;
    const std::uint32_t dataEnd = dataOffset + std::uint32_t(rowBytes) * kSize;
    if (dataOffset < 54 || dataEnd > std::uint32_t(bytes.size()))
        return fail(fault, QStringLiteral("pixel data out of the file"));

    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData()) + dataOffset;
    pixels.rgb.assign(kSize * kSize, {});
    for (int fileRow = 0; fileRow < kSize; ++fileRow) {
        const int y = kSize - 1 - fileRow; // bottom-up
        for (int x = 0; x < kSize; ++x) {
            const std::uint8_t* p = data + fileRow * rowBytes + x * 3;
            pixels.rgb[y * kSize + x] = {p[2], p[1], p[0]};
        }
    }
    return true;
}

struct Mean {
    double r, g, b;
    double brightness() const { return (r + g + b) / 3.0; }
    double greenness() const { return g - (r + b) / 2.0; }
    double warmth() const { return r - b; }
};

Mean meanColour(const Pixels& pixels)
{
    double sum[3] = {0, 0, 0};
    for (const auto& p : pixels.rgb)
        for (int c = 0; c < 3; ++c)
            sum[c] += p[c];
    const double n = double(pixels.rgb.size());
    return {sum[0] / n, sum[1] / n, sum[2] / n};
}

// Mean absolute channel difference between column a and column b (or rows, when `rows`).
double lineDifference(const Pixels& pixels, int a, int b, bool rows)
{
    double sum = 0;
    for (int i = 0; i < kSize; ++i) {
        const auto& p = rows ? pixels.at(i, a) : pixels.at(a, i);
        const auto& q = rows ? pixels.at(i, b) : pixels.at(b, i);
        for (int c = 0; c < 3; ++c)
            sum += std::abs(p[c] - q[c]);
    }
    return sum / (kSize * 3);
}

bool loadLayer(int layer, Pixels& pixels, QString& fault)
{
    QFile file(assetPath(layer));
    if (!file.open(QIODevice::ReadOnly))
        return fail(fault, QStringLiteral("cannot open %1").arg(file.fileName()));
    return parseBmp24(file.readAll(), pixels, fault);
}

} // namespace

class TextureAssetsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void layersAre24BitBottomUp256_data();
    void layersAre24BitBottomUp256();
    void layersAreMidBrightAndTextured_data();
    void layersAreMidBrightAndTextured();
    void layerColoursTellTheLayersApart();
    void layersTileWithoutSeams_data();
    void layersTileWithoutSeams();
    void generatorWritesTheShippedLayers();

private:
    Pixels layers_[4];
    Mean means_[4];
};

void TextureAssetsTest::initTestCase()
{
    QVERIFY2(!qgetenv("TERRAIN_SOURCE_DIR").isEmpty(), "TERRAIN_SOURCE_DIR is not set");
    for (int layer = 0; layer < 4; ++layer) {
        QString fault;
        QVERIFY2(loadLayer(layer, layers_[layer], fault), qPrintable(assetPath(layer) + ": " + fault));
        means_[layer] = meanColour(layers_[layer]);
    }
}

void TextureAssetsTest::layersAre24BitBottomUp256_data()
{
    QTest::addColumn<int>("layer");
    for (int layer = 0; layer < 4; ++layer)
        QTest::newRow(qPrintable(QStringLiteral("LandTex%1").arg(layer))) << layer;
}

void TextureAssetsTest::layersAre24BitBottomUp256()
{
    QFETCH(int, layer);
    // The header checks ran in initTestCase; here Qt's own reader must agree with our decoding,
    // pixel for pixel, so the row order and the channel order are right as well.
    const QImage image(assetPath(layer));
    QVERIFY2(!image.isNull(), qPrintable(assetPath(layer)));
    QCOMPARE(image.size(), QSize(kSize, kSize));
    QVERIFY(!image.hasAlphaChannel());
    const Pixels& pixels = layers_[layer];
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const QRgb q = image.pixel(x, y);
            const auto& p = pixels.at(x, y);
            if (qRed(q) != p[0] || qGreen(q) != p[1] || qBlue(q) != p[2])
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) differs from QImage").arg(x).arg(y)));
        }
    }
}

void TextureAssetsTest::layersAreMidBrightAndTextured_data()
{
    layersAre24BitBottomUp256_data();
}

void TextureAssetsTest::layersAreMidBrightAndTextured()
{
    QFETCH(int, layer);
    const Mean mean = means_[layer];
    const QByteArray what = QByteArray("mean ") + QByteArray::number(mean.r) + " " + QByteArray::number(mean.g) + " " +
                            QByteArray::number(mean.b);
    // The terrain multiplies the layers by the light and fogs them: a dark layer would vanish,
    // a near-white one would saturate.
    QVERIFY2(mean.brightness() >= 90 && mean.brightness() <= 185, what.constData());
    QVERIFY2(mean.r >= 50 && mean.g >= 50 && mean.b >= 50, what.constData());

    // Texture, not a flat fill: a spread of brightness of several steps.
    double sum = 0, sumSquares = 0;
    for (const auto& p : layers_[layer].rgb) {
        const double v = (p[0] + p[1] + p[2]) / 3.0;
        sum += v;
        sumSquares += v * v;
    }
    const double n = double(layers_[layer].rgb.size());
    const double spread = std::sqrt(sumSquares / n - (sum / n) * (sum / n));
    QVERIFY2(spread >= 4, QByteArray("brightness spread " + QByteArray::number(spread)).constData());
}

void TextureAssetsTest::layerColoursTellTheLayersApart()
{
    const Mean* m = means_;
    for (int other : {Soil, Rock, Snow})
        QVERIFY2(m[Grass].greenness() > m[other].greenness() + 20,
                 qPrintable(QStringLiteral("grass is not clearly greener than layer %1").arg(other)));
    QVERIFY(m[Grass].g > m[Grass].r && m[Grass].g > m[Grass].b);

    // Brown: red over green over blue, and clearly warmer than rock and snow.
    QVERIFY(m[Soil].r > m[Soil].g + 10 && m[Soil].g > m[Soil].b + 10);
    for (int other : {Rock, Snow})
        QVERIFY(m[Soil].warmth() > m[other].warmth() + 25);

    // Rock is a near-neutral grey.
    QVERIFY(std::fabs(m[Rock].r - m[Rock].b) < 20 && std::fabs(m[Rock].g - m[Rock].b) < 20);

    // Snow is the brightest layer by a clear margin, and near-neutral.
    for (int other : {Grass, Soil, Rock})
        QVERIFY2(m[Snow].brightness() > m[other].brightness() + 25,
                 qPrintable(QStringLiteral("snow is not clearly brighter than layer %1").arg(other)));
    QVERIFY(std::fabs(m[Snow].r - m[Snow].b) < 25);
}

void TextureAssetsTest::layersTileWithoutSeams_data()
{
    layersAre24BitBottomUp256_data();
}

void TextureAssetsTest::layersTileWithoutSeams()
{
    QFETCH(int, layer);
    const Pixels& pixels = layers_[layer];
    // Across the wrap (last line next to the first) the texture must change no more than it
    // does between neighbouring lines inside. The interior figure is a mean over 255 pairs and
    // the wrap is a single pair, so allow half as much again for that one sample's scatter; a
    // non-tiling noise texture shows a wrap step several times the interior one.
    for (bool rows : {false, true}) {
        double interior = 0;
        for (int i = 0; i + 1 < kSize; ++i)
            interior += lineDifference(pixels, i, i + 1, rows);
        interior /= kSize - 1;
        const double wrap = lineDifference(pixels, kSize - 1, 0, rows);
        QVERIFY2(wrap <= 1.5 * interior, qPrintable(QStringLiteral("%1 wrap difference %2, interior %3")
                                                        .arg(rows ? "row" : "column")
                                                        .arg(wrap)
                                                        .arg(interior)));
    }
}

void TextureAssetsTest::generatorWritesTheShippedLayers()
{
    QTemporaryDir output;
    QVERIFY(output.isValid());
    QProcess texgen;
    texgen.start(QStringLiteral(TERRAIN_TEXGEN), {output.path()});
    QVERIFY2(texgen.waitForFinished(60000), qPrintable(texgen.errorString()));
    QCOMPARE(texgen.exitStatus(), QProcess::NormalExit);
    QCOMPARE(texgen.exitCode(), 0);

    for (int layer = 0; layer < 4; ++layer) {
        QFile generated(output.filePath(QStringLiteral("LandTex%1.bmp").arg(layer)));
        QFile shipped(assetPath(layer));
        QVERIFY2(generated.open(QIODevice::ReadOnly), qPrintable(generated.fileName()));
        QVERIFY2(shipped.open(QIODevice::ReadOnly), qPrintable(shipped.fileName()));
        QVERIFY2(generated.readAll() == shipped.readAll(),
                 qPrintable(shipped.fileName() + " is not what terrain-texgen writes"));
    }
}

QTEST_APPLESS_MAIN(TextureAssetsTest)

#include "TextureAssetsTest.moc"
