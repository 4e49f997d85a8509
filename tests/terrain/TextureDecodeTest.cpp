// The bitmap facility without a GL context: decoding BMP bytes into upload words, refusing
// damaged files before anything large is allocated, and finding files by name.

#include "Texture.h"
#include "TextureTestBitmaps.h"
#include "ViewerError.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <climits>
#include <cstring>
#include <functional>

using namespace testbmp;

namespace {

constexpr int kAnySide = 16384; // a typical GL_MAX_TEXTURE_SIZE

QByteArray wordBytes(const BitmapImage& image, int index)
{
    QByteArray bytes(4, '\0');
    std::memcpy(bytes.data(), &image.words.at(std::size_t(index)), 4);
    return bytes;
}

// The word a picture pixel (x, y from the top) must land in: rows go bottom-up.
int uploadIndex(const BitmapImage& image, int x, int y)
{
    return (image.height - 1 - y) * image.width + x;
}

QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ViewerError& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("(no error)");
}

// Three columns so that every 24-bit row needs padding; no two pixels alike.
Picture mixedPicture()
{
    Picture p;
    p.width = 3;
    p.height = 2;
    p.pixels = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu,  // top: red, green, blue
                0xFFFFFFFFu, 0xFF000000u, 0xFF0A141Eu}; // bottom: white, black, (10, 20, 30)
    return p;
}

} // namespace

class TextureDecodeTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void redPixelOf24BitFileIsOpaque();
    void redPixelOf32BitFileHasAlphaZero();
    void fileAlphaIsNeverRead();
    void rowsAreUploadedBottomUp();
    void decodesEveryPixelFormat_data();
    void decodesEveryPixelFormat();
    void topDownFileGivesSameWords();
    void sixteenBitChannelsAreWidened();
    void decodesRunLengthPixels();
    void sideLimitIsInclusive();
    void rejectsBadFiles_data();
    void rejectsBadFiles();
    void rejectsPaletteLongerThanTheDepthAllows();

    void workingDirectoryComesFirst();
    void searchFoldersAreTriedInOrder();
    void missingFileNamesFileAndFolders();
    void unreadableEntryNamesItsPath();
    void absoluteNameIsUsedAsItStands();
    void badFileFoundInFolderIsNotValid();
    void defaultFoldersAreSourceThenInstalledAssets();

private:
    QString startDir_ = QDir::currentPath();
};

void TextureDecodeTest::cleanup()
{
    QDir::setCurrent(startDir_);
    resetTextureSearchFolders();
}

void TextureDecodeTest::redPixelOf24BitFileIsOpaque()
{
    const BitmapImage image = decodeBitmap(encode(solid(1, 1, 0xFFFF0000u)), kAnySide);
    QCOMPARE(image.width, 1);
    QCOMPARE(image.height, 1);
    QVERIFY(!image.was32Bit);
    QCOMPARE(wordBytes(image, 0), QByteArray("\xFF\x00\x00\xFF", 4));
}

void TextureDecodeTest::redPixelOf32BitFileHasAlphaZero()
{
    Options o;
    o.bitCount = 32;
    const BitmapImage image = decodeBitmap(encode(solid(1, 1, 0xFFFF0000u), o), kAnySide);
    QVERIFY(image.was32Bit);
    QCOMPARE(wordBytes(image, 0), QByteArray("\xFF\x00\x00\x00", 4));
}

void TextureDecodeTest::fileAlphaIsNeverRead()
{
    // A V5 file with a real alpha mask: a fully transparent pixel must keep its colour (no
    // premultiplication) and every pixel gets alpha 0, whatever the file holds.
    Picture p;
    p.width = 2;
    p.height = 1;
    p.pixels = {0x000AC81Eu, 0x80FF8040u};
    Options o;
    o.bitCount = 32;
    o.infoSize = 124;
    const BitmapImage image = decodeBitmap(encode(p, o), kAnySide);
    QVERIFY(image.was32Bit);
    QCOMPARE(wordBytes(image, 0), expectedBytes(0x0AC81Eu, 0));
    QCOMPARE(wordBytes(image, 1), expectedBytes(0xFF8040u, 0));
}

void TextureDecodeTest::rowsAreUploadedBottomUp()
{
    const Picture p = mixedPicture();
    const BitmapImage image = decodeBitmap(encode(p), kAnySide);
    QCOMPARE(image.words.size(), std::size_t(6));
    // The top-left pixel starts the last uploaded row; the bottom-left one is the first word.
    QCOMPARE(wordBytes(image, 3), expectedBytes(p.at(0, 0), 255));
    QCOMPARE(wordBytes(image, 0), expectedBytes(p.at(0, 1), 255));
    QCOMPARE(wordBytes(image, 2), expectedBytes(p.at(2, 1), 255));
    QCOMPARE(wordBytes(image, 5), expectedBytes(p.at(2, 0), 255));
}

void TextureDecodeTest::decodesEveryPixelFormat_data()
{
    QTest::addColumn<int>("bitCount");
    QTest::addColumn<int>("infoSize");
    QTest::addRow("8-bit palettised") << 8 << 40;
    QTest::addRow("24-bit") << 24 << 40;
    QTest::addRow("24-bit core header") << 24 << 12;
    QTest::addRow("24-bit V4 header") << 24 << 108;
    QTest::addRow("32-bit") << 32 << 40;
    QTest::addRow("32-bit V5 header") << 32 << 124;
}

void TextureDecodeTest::decodesEveryPixelFormat()
{
    QFETCH(int, bitCount);
    QFETCH(int, infoSize);
    // Five columns by three rows: odd widths exercise the row padding of every depth.
    Picture p;
    p.width = 5;
    p.height = 3;
    const QVector<quint32> colours = {0xFF102030u, 0xFFFFFFFFu, 0xFF000000u, 0xFFC08040u, 0xFF00FF7Fu};
    for (int i = 0; i < p.width * p.height; ++i)
        p.pixels << colours[(i * 3 + i / 5) % colours.size()];
    Options o;
    o.bitCount = bitCount;
    o.infoSize = infoSize;
    for (quint32 c : colours)
        o.palette << (c & 0xFFFFFFu);

    const BitmapImage image = decodeBitmap(encode(p, o), kAnySide);
    QCOMPARE(image.width, 5);
    QCOMPARE(image.height, 3);
    QCOMPARE(image.was32Bit, bitCount == 32);
    QCOMPARE(image.words.size(), std::size_t(15));
    const quint8 alpha = bitCount == 32 ? 0 : 255;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            QCOMPARE(wordBytes(image, uploadIndex(image, x, y)), expectedBytes(p.at(x, y), alpha));
}

void TextureDecodeTest::topDownFileGivesSameWords()
{
    const Picture p = mixedPicture();
    Options topDown;
    topDown.topDown = true;
    const QByteArray file = encode(p, topDown);
    QCOMPARE(qint32(qFromLittleEndian<quint32>(file.constData() + kHeightOffset)), -2);
    const BitmapImage image = decodeBitmap(file, kAnySide);
    QCOMPARE(image.height, 2);
    QVERIFY(image.words == decodeBitmap(encode(p), kAnySide).words);
    QCOMPARE(wordBytes(image, 3), expectedBytes(p.at(0, 0), 255));
}

void TextureDecodeTest::sixteenBitChannelsAreWidened()
{
    // 5-5-5 pixels keep 5 bits a channel; a full channel (31) reads back as 255 exactly, and
    // the encoder's 8-bit value c becomes round((c >> 3) * 255 / 31).
    Picture p;
    p.width = 3;
    p.height = 2;
    p.pixels = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu, 0xFF000000u, 0xFFFF80C0u};
    Options o;
    o.bitCount = 16;
    const BitmapImage image = decodeBitmap(encode(p, o), kAnySide);
    QVERIFY(!image.was32Bit);
    const auto widen5 = [](quint32 c) { return quint32(((c >> 3) * 255 * 2 + 31) / 62); };
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const quint32 c = p.at(x, y);
            const quint32 want = widen5((c >> 16) & 0xFF) << 16 | widen5((c >> 8) & 0xFF) << 8 | widen5(c & 0xFF);
            QCOMPARE(wordBytes(image, uploadIndex(image, x, y)), expectedBytes(want, 255));
        }
    }
    QCOMPARE(wordBytes(image, uploadIndex(image, 0, 1)), QByteArray("\xFF\xFF\xFF\xFF", 4));
}

void TextureDecodeTest::decodesRunLengthPixels()
{
    // RLE8: the header is the palettised one, the rows are runs of (count, index) ending with
    // (0, 0), the picture with (0, 1). Bottom row: four green; top row: two red, two green.
    Options o;
    o.bitCount = 8;
    o.palette = {0xFF0000u, 0x00FF00u};
    QByteArray file = encode(solid(4, 2, 0xFF00FF00u), o);
    const int pixelOffset = int(qFromLittleEndian<quint32>(file.constData() + kPixelOffsetOffset));
    file.truncate(pixelOffset);
    file.append(QByteArray("\x04\x01\x00\x00\x02\x00\x02\x01\x00\x00\x00\x01", 12));
    putU32(file, kCompressionOffset, 1);
    putU32(file, kFileSizeOffset, quint32(file.size()));

    const BitmapImage image = decodeBitmap(file, kAnySide);
    QCOMPARE(image.width, 4);
    QCOMPARE(image.height, 2);
    const QByteArray red = expectedBytes(0xFF0000u, 255), green = expectedBytes(0x00FF00u, 255);
    const QByteArray want[8] = {green, green, green, green, red, red, green, green};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(wordBytes(image, i), want[i]);
}

void TextureDecodeTest::sideLimitIsInclusive()
{
    QCOMPARE(decodeBitmap(encode(solid(4, 2, 0xFF808080u)), 4).width, 4);
    QCOMPARE(decodeBitmap(encode(solid(2, 4, 0xFF808080u)), 4).height, 4);
    QCOMPARE(errorOf([] { decodeBitmap(encode(solid(4, 2, 0xFF808080u)), 3); }),
             QStringLiteral("Bitmap image is not valid\nIts size 4 x 2 pixels is more than the 3 pixels a side the "
                            "OpenGL here takes."));
    QCOMPARE(errorOf([] { decodeBitmap(encode(solid(2, 4, 0xFF808080u)), 3); }),
             QStringLiteral("Bitmap image is not valid\nIts size 2 x 4 pixels is more than the 3 pixels a side the "
                            "OpenGL here takes."));
}

void TextureDecodeTest::rejectsBadFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxSide");
    QTest::addColumn<QString>("says");              // in the line that says why
    const QByteArray good = encode(mixedPicture()); // 3 x 2, 24-bit, 40-byte header
    const auto with32 = [&good](int offset, quint32 value) {
        QByteArray b = good;
        putU32(b, offset, value);
        return b;
    };
    const auto with16 = [&good](int offset, quint16 value) {
        QByteArray b = good;
        putU16(b, offset, value);
        return b;
    };

    QTest::addRow("empty") << QByteArray() << kAnySide << QStringLiteral("The file is empty.");
    QTest::addRow("magic only") << QByteArray("BM") << kAnySide
                                << QStringLiteral("The file is cut short: 2 bytes, where a BMP header alone takes 18.");
    QTest::addRow("cut in file header") << good.left(10) << kAnySide
                                        << QStringLiteral("The file is cut short: 10 bytes");
    QTest::addRow("cut in info header") << good.left(30) << kAnySide
                                        << QStringLiteral("cut short: its header needs 54 bytes, the file has 30.");
    QTest::addRow("cut in last row") << good.left(good.size() - 8) << kAnySide
                                     << QStringLiteral("cut short: its header with all the rows needs");
    QTest::addRow("cut before pixels")
        << good.left(54) << kAnySide
        << QStringLiteral("cut short: its pixel data, at the offset the header gives, needs 55 bytes");
    QByteArray wrongMagic = good;
    wrongMagic[0] = 'M';
    wrongMagic[1] = 'B';
    QTest::addRow("wrong magic") << wrongMagic << kAnySide << QStringLiteral("It does not start as a BMP file does");
    QTest::addRow("png signature") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << kAnySide
                                   << QStringLiteral("It is a PNG picture, not a BMP file");
    QTest::addRow("zero width") << with32(kWidthOffset, 0) << kAnySide << QStringLiteral("holds no picture");
    QTest::addRow("zero height") << with32(kHeightOffset, 0) << kAnySide << QStringLiteral("holds no picture");
    QTest::addRow("negative width") << with32(kWidthOffset, quint32(-3)) << kAnySide
                                    << QStringLiteral("holds no picture");
    QTest::addRow("most negative height")
        << with32(kHeightOffset, 0x80000000u) << kAnySide << QStringLiteral("has no magnitude");
    QByteArray huge = with32(kWidthOffset, 100000);
    putU32(huge, kHeightOffset, 100000);
    QTest::addRow("100000 x 100000, usual limit")
        << huge << kAnySide << QStringLiteral("is more than the 16384 pixels a side");
    QTest::addRow("100000 x 100000, no limit")
        << huge << INT_MAX << QStringLiteral("are more than one texture can hold");
    QByteArray largest = with32(kWidthOffset, 0x7FFFFFFFu);
    putU32(largest, kHeightOffset, 0x7FFFFFFFu);
    QTest::addRow("2^31-1 x 2^31-1, no limit")
        << largest << INT_MAX << QStringLiteral("are more than one texture can hold");
    QByteArray bigButAddressable = with32(kWidthOffset, 16384); // 1 GiB decoded, no rows present
    putU32(bigButAddressable, kHeightOffset, 16384);
    QTest::addRow("16384 x 16384 without rows")
        << bigButAddressable << kAnySide << QStringLiteral("cut short: its header with all the rows needs");
    QByteArray wide = with32(kWidthOffset, 40000); // 1.2 MB of rows claimed, 24 bytes present
    QTest::addRow("rows missing for width")
        << wide << INT_MAX << QStringLiteral("cut short: its header with all the rows needs");
    QTest::addRow("info header size 0") << with32(kInfoSizeOffset, 0) << kAnySide
                                        << QStringLiteral("header of 0 bytes is none of the sizes read");
    QTest::addRow("info header size 41") << with32(kInfoSizeOffset, 41) << kAnySide
                                         << QStringLiteral("header of 41 bytes is none of the sizes read");
    QTest::addRow("info header size 100")
        << with32(kInfoSizeOffset, 100) << kAnySide << QStringLiteral("header of 100 bytes is none of the sizes read");
    QTest::addRow("info header beyond file")
        << with32(kInfoSizeOffset, 124) << kAnySide << QStringLiteral("cut short: its header needs 138 bytes");
    QTest::addRow("2 bits per pixel") << with16(kBitCountOffset, 2) << kAnySide
                                      << QStringLiteral("Its format (2 bits a pixel");
    QTest::addRow("0 bits per pixel") << with16(kBitCountOffset, 0) << kAnySide
                                      << QStringLiteral("Its format (0 bits a pixel");
    QTest::addRow("48 bits per pixel") << with16(kBitCountOffset, 48) << kAnySide
                                       << QStringLiteral("Its format (48 bits a pixel");
    QTest::addRow("jpeg compression") << with32(kCompressionOffset, 4) << kAnySide << QStringLiteral("compression 4,");
    QTest::addRow("rle8 with 24 bits") << with32(kCompressionOffset, 1) << kAnySide << QStringLiteral("compression 1,");
    QTest::addRow("pixels beyond file") << with32(kPixelOffsetOffset, quint32(good.size())) << kAnySide
                                        << QStringLiteral("cut short: its pixel data, at the offset the header gives");
    QTest::addRow("pixels inside header")
        << with32(kPixelOffsetOffset, 20) << kAnySide << QStringLiteral("inside its 54 bytes of headers");
    QTest::addRow("pixel offset 4 GB") << with32(kPixelOffsetOffset, 0xFFFFFFF0u) << kAnySide
                                       << QStringLiteral("cut short: its pixel data, at the offset the header gives");
    QByteArray coreHuge = encode(solid(2, 2, 0xFF000000u), [] {
        Options o;
        o.infoSize = 12;
        return o;
    }());
    putU16(coreHuge, kWidthOffset, 0xFFFF);
    putU16(coreHuge, kWidthOffset + 2, 0xFFFF);
    QTest::addRow("core header 65535 x 65535")
        << coreHuge << INT_MAX << QStringLiteral("are more than one texture can hold");
    QTest::addRow("no side allowed") << good << 0 << QStringLiteral("is more than the 0 pixels a side");
}

void TextureDecodeTest::rejectsBadFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, maxSide);
    QFETCH(QString, says);
    // The fixed line, then why: what a user can mend.
    const QString error = errorOf([&] { decodeBitmap(bytes, maxSide); });
    QCOMPARE(error.section(QLatin1Char('\n'), 0, 0), QStringLiteral("Bitmap image is not valid"));
    QVERIFY2(error.section(QLatin1Char('\n'), 1).contains(says), qPrintable(error));
}

void TextureDecodeTest::rejectsPaletteLongerThanTheDepthAllows()
{
    // A header that passes every size check but whose palette claims more than 256 colours
    // for 8-bit pixels.
    Options o;
    o.bitCount = 8;
    o.palette = {0x000000u, 0xFFFFFFu};
    QByteArray b = encode(solid(2, 2, 0xFFFFFFFFu), o);
    putU32(b, 14 + 32, 100000); // biClrUsed
    QCOMPARE(errorOf([&] { decodeBitmap(b, kAnySide); }),
             QStringLiteral("Bitmap image is not valid\nIts palette of 100000 colours is longer than 8 bits a pixel "
                            "can choose from."));
}

void TextureDecodeTest::workingDirectoryComesFirst()
{
    QTemporaryDir cwd, folder;
    QVERIFY(cwd.isValid() && folder.isValid());
    QVERIFY(writeFile(cwd.filePath("Layer.bmp"), encode(solid(1, 1, 0xFFFF0000u))));
    QVERIFY(writeFile(folder.filePath("Layer.bmp"), encode(solid(1, 1, 0xFF00FF00u))));
    setTextureSearchFolders({folder.path()});
    QVERIFY(QDir::setCurrent(cwd.path()));
    QCOMPARE(wordBytes(readBitmapFile("Layer.bmp", kAnySide), 0), expectedBytes(0xFF0000u, 255));
}

void TextureDecodeTest::searchFoldersAreTriedInOrder()
{
    QTemporaryDir cwd, empty, first, second;
    QVERIFY(cwd.isValid() && empty.isValid() && first.isValid() && second.isValid());
    QVERIFY(writeFile(first.filePath("Layer.bmp"), encode(solid(1, 1, 0xFF0000FFu))));
    QVERIFY(writeFile(second.filePath("Layer.bmp"), encode(solid(1, 1, 0xFF00FF00u))));
    setTextureSearchFolders({empty.path(), first.path(), second.path()});
    QVERIFY(QDir::setCurrent(cwd.path()));
    QCOMPARE(wordBytes(readBitmapFile("Layer.bmp", kAnySide), 0), expectedBytes(0x0000FFu, 255));
    // A name with a folder part is looked up under each folder too.
    QVERIFY(QDir(second.path()).mkdir("sub"));
    QVERIFY(writeFile(second.filePath("sub/Deep.bmp"), encode(solid(1, 1, 0xFF00FF00u))));
    QCOMPARE(wordBytes(readBitmapFile("sub/Deep.bmp", kAnySide), 0), expectedBytes(0x00FF00u, 255));
}

void TextureDecodeTest::missingFileNamesFileAndFolders()
{
    QTemporaryDir cwd, first, second;
    QVERIFY(cwd.isValid() && first.isValid() && second.isValid());
    // The working directory listed again among the folders is tried and named only once.
    setTextureSearchFolders({first.path(), QString(), cwd.path(), second.path()});
    QVERIFY(QDir::setCurrent(cwd.path()));
    const QString here = QDir::currentPath();
    QCOMPARE(errorOf([] { readBitmapFile("LandTex9.bmp", kAnySide); }),
             QStringLiteral("Cannot open file %1/LandTex9.bmp\nLooked in: %1, %2, %3")
                 .arg(here, QDir(first.path()).absolutePath(), QDir(second.path()).absolutePath()));

    setTextureSearchFolders({});
    QCOMPARE(errorOf([] { readBitmapFile("LandTex9.bmp", kAnySide); }),
             QStringLiteral("Cannot open file %1/LandTex9.bmp\nLooked in: %1").arg(here));
}

void TextureDecodeTest::unreadableEntryNamesItsPath()
{
    // An entry of that name that cannot be read as a file stops the search with its own path.
    QTemporaryDir cwd, folder;
    QVERIFY(cwd.isValid() && folder.isValid());
    QVERIFY(QDir(cwd.path()).mkdir("LandTex0.bmp"));
    QVERIFY(writeFile(folder.filePath("LandTex0.bmp"), encode(solid(1, 1, 0xFF00FF00u))));
    setTextureSearchFolders({folder.path()});
    QVERIFY(QDir::setCurrent(cwd.path()));
    QCOMPARE(errorOf([] { readBitmapFile("LandTex0.bmp", kAnySide); }),
             QStringLiteral("Cannot open file %1/LandTex0.bmp").arg(QDir::currentPath()));
}

void TextureDecodeTest::absoluteNameIsUsedAsItStands()
{
    QTemporaryDir cwd, folder;
    QVERIFY(cwd.isValid() && folder.isValid());
    const QString path = QDir(folder.path()).absoluteFilePath("Layer.bmp");
    QVERIFY(writeFile(path, encode(solid(2, 1, 0xFFC08040u))));
    QVERIFY(QDir::setCurrent(cwd.path()));
    QCOMPARE(readBitmapFile(path, kAnySide).width, 2);

    const QString missing = QDir(folder.path()).absoluteFilePath("Missing.bmp");
    QCOMPARE(errorOf([&] { readBitmapFile(missing, kAnySide); }),
             QStringLiteral("Cannot open file %1\nLooked in: %2").arg(missing, QDir(folder.path()).absolutePath()));
}

void TextureDecodeTest::badFileFoundInFolderIsNotValid()
{
    QTemporaryDir cwd, folder;
    QVERIFY(cwd.isValid() && folder.isValid());
    QVERIFY(writeFile(folder.filePath("Layer.bmp"), QByteArray()));
    setTextureSearchFolders({folder.path()});
    QVERIFY(QDir::setCurrent(cwd.path()));
    // The second line names the file that was found, so a user knows which one to mend.
    // The decoder's reason follows it.
    QCOMPARE(errorOf([] { readBitmapFile("Layer.bmp", kAnySide); }),
             QStringLiteral("Bitmap image is not valid\nFile: %1\nThe file is empty.")
                 .arg(QDir(folder.path()).absoluteFilePath("Layer.bmp")));
    const QString absolute = QDir(folder.path()).absoluteFilePath("Layer.bmp");
    QCOMPARE(errorOf([&] { readBitmapFile(absolute, kAnySide); }),
             QStringLiteral("Bitmap image is not valid\nFile: %1\nThe file is empty.").arg(absolute));
}

void TextureDecodeTest::defaultFoldersAreSourceThenInstalledAssets()
{
    const QString sourceDir = qEnvironmentVariable("TERRAIN_SOURCE_DIR");
    QVERIFY2(!sourceDir.isEmpty(), "TERRAIN_SOURCE_DIR is set by the test registration");
    setTextureSearchFolders({"/nowhere"});
    resetTextureSearchFolders();
    const QStringList folders = textureSearchFolders();
    QCOMPARE(folders.size(), 2);
    QCOMPARE(QDir::cleanPath(folders[0]), QDir::cleanPath(sourceDir + "/assets"));
    QVERIFY2(folders[1].endsWith("/terrain-viewer"), qPrintable(folders[1]));
    QVERIFY(QDir::isAbsolutePath(folders[1]));
    // The installed data folder is found from the program's own folder, not the working
    // directory: for this test, which runs from <build>/tests, it is <build>/share/terrain-viewer.
    QVERIFY(QDir::setCurrent(QDir::rootPath()));
    QCOMPARE(textureSearchFolders().at(1),
             QDir::cleanPath(QStringLiteral(TERRAIN_TEST_BINARY_DIR "/share/terrain-viewer")));
}

QTEST_APPLESS_MAIN(TextureDecodeTest)
#include "TextureDecodeTest.moc"
