// Replays the BMP fuzz corpus (tools/fuzz/corpus: the hand-made seeds and every input a fuzz
// run ever crashed on) through decodeBitmap, so that each one keeps being checked by an
// ordinary build. Every file must decode or be refused with ViewerError; a crash ends the test
// process and fails it. The seeds' names state the outcome they must have (see
// tools/fuzz/make_corpus.py): "ok-WxH-..." decodes to W x H, "bad-..." is refused, anything
// else may go either way.

#include "Texture.h"
#include "ViewerError.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <cstring>
#include <exception>

namespace {

// The side limit loadTexture passes on llvmpipe and most desktop drivers (GL_MAX_TEXTURE_SIZE).
constexpr int kMaxSide = 16384;

const QString kRefusal = QStringLiteral("Bitmap image is not valid");

QString sourceDir()
{
    return QString::fromLocal8Bit(qgetenv("TERRAIN_SOURCE_DIR"));
}

QString corpusDir()
{
    return sourceDir() + QStringLiteral("/tools/fuzz/corpus");
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

enum class Expect { Decodes, Refused, Either };

// What happened to one file: a picture, a refusal with its message, or another exception.
struct Outcome {
    bool decoded = false;
    BitmapImage image;
    QString error;
};

Outcome decode(const QByteArray& bytes)
{
    Outcome outcome;
    try {
        outcome.image = decodeBitmap(bytes, kMaxSide);
        outcome.decoded = true;
    } catch (const ViewerError& e) {
        outcome.error = QString::fromStdString(e.what());
    } catch (const std::exception& e) {
        outcome.error = QStringLiteral("unexpected exception: ") + QString::fromStdString(e.what());
    }
    return outcome;
}

// The contract every decoded picture keeps: sides in 1 .. limit, one word a pixel, and the
// alpha byte (the last in memory) 0 for a 32-bit file and 255 for any other.
QString contractFault(const BitmapImage& image)
{
    if (image.width < 1 || image.height < 1 || image.width > kMaxSide || image.height > kMaxSide)
        return QStringLiteral("size %1 x %2").arg(image.width).arg(image.height);
    if (image.words.size() != std::size_t(image.width) * std::size_t(image.height))
        return QStringLiteral("%1 words for %2 x %3").arg(image.words.size()).arg(image.width).arg(image.height);
    const unsigned char alpha = image.was32Bit ? 0 : 255;
    for (std::size_t i = 0; i < image.words.size(); ++i) {
        unsigned char bytes[4];
        std::memcpy(bytes, &image.words[i], 4);
        if (bytes[3] != alpha)
            return QStringLiteral("word %1 has alpha %2, not %3").arg(i).arg(bytes[3]).arg(alpha);
    }
    return QString();
}

} // namespace

class FuzzCorpusReplayTest : public QObject {
    Q_OBJECT

private slots:
    void corpusHoldsSeedsOfBothKinds();
    void everyCorpusFileDecodesOrIsRefused_data();
    void everyCorpusFileDecodesOrIsRefused();
    void shippedTexturesDecodeTo256Square_data();
    void shippedTexturesDecodeTo256Square();
};

void FuzzCorpusReplayTest::corpusHoldsSeedsOfBothKinds()
{
    // A missing or emptied folder would make the replay below pass without replaying anything.
    const QDir dir(corpusDir());
    QVERIFY2(dir.exists(), qPrintable(dir.path()));
    QVERIFY(dir.entryList({QStringLiteral("ok-*")}, QDir::Files).size() >= 10);
    QVERIFY(dir.entryList({QStringLiteral("bad-*")}, QDir::Files).size() >= 10);
}

void FuzzCorpusReplayTest::everyCorpusFileDecodesOrIsRefused_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("expect");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    const QRegularExpression okName(QStringLiteral("^ok-(\\d+)x(\\d+)-"));
    const QDir dir(corpusDir());
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        Expect expect = Expect::Either;
        int width = 0;
        int height = 0;
        const QRegularExpressionMatch ok = okName.match(name);
        if (ok.hasMatch()) {
            expect = Expect::Decodes;
            width = ok.captured(1).toInt();
            height = ok.captured(2).toInt();
        } else if (name.startsWith(QLatin1String("bad-"))) {
            expect = Expect::Refused;
        }
        QTest::newRow(qPrintable(name)) << dir.filePath(name) << int(expect) << width << height;
    }
}

void FuzzCorpusReplayTest::everyCorpusFileDecodesOrIsRefused()
{
    QFETCH(QString, path);
    QFETCH(int, expect);
    QFETCH(int, width);
    QFETCH(int, height);

    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const Outcome outcome = decode(file.readAll());

    if (outcome.decoded) {
        const QString fault = contractFault(outcome.image);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    } else {
        // The refusal's line, then why.
        QCOMPARE(outcome.error.section(QLatin1Char('\n'), 0, 0), kRefusal);
        QVERIFY2(!outcome.error.section(QLatin1Char('\n'), 1).isEmpty(), qPrintable(outcome.error));
    }
    switch (Expect(expect)) {
    case Expect::Decodes:
        QVERIFY2(outcome.decoded, qPrintable(outcome.error));
        QCOMPARE(outcome.image.width, width);
        QCOMPARE(outcome.image.height, height);
        break;
    case Expect::Refused:
        QVERIFY2(!outcome.decoded,
                 qPrintable(QStringLiteral("decoded to %1 x %2").arg(outcome.image.width).arg(outcome.image.height)));
        break;
    case Expect::Either: break;
    }
}

void FuzzCorpusReplayTest::shippedTexturesDecodeTo256Square_data()
{
    QTest::addColumn<QString>("path");
    for (int layer = 0; layer < 4; ++layer) {
        const QString name = QStringLiteral("LandTex%1.bmp").arg(layer);
        QTest::newRow(qPrintable(name)) << sourceDir() + QStringLiteral("/assets/") + name;
    }
}

void FuzzCorpusReplayTest::shippedTexturesDecodeTo256Square()
{
    // The fuzz runs start from these too (scripts/fuzz reads assets/ as a seed folder).
    QFETCH(QString, path);
    const QByteArray bytes = readAll(path);
    QVERIFY2(!bytes.isEmpty(), qPrintable(path));
    const Outcome outcome = decode(bytes);
    QVERIFY2(outcome.decoded, qPrintable(outcome.error));
    QCOMPARE(outcome.image.width, 256);
    QCOMPARE(outcome.image.height, 256);
    QVERIFY(!outcome.image.was32Bit);
    const QString fault = contractFault(outcome.image);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

QTEST_APPLESS_MAIN(FuzzCorpusReplayTest)
#include "FuzzCorpusReplayTest.moc"
