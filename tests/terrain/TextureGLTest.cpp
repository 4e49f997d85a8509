// loadTexture against a real context (llvmpipe): what lands in the texture, its filters and
// mipmap chain, and that a failing file leaves no texture behind.

#include "GlChecks.h"
#include "GlTestPanel.h"
#include "Texture.h"
#include "TextureTestBitmaps.h"
#include "ViewerError.h"

#include <GL/gl.h>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace testbmp;

namespace {

struct TexLevel {
    GLint width = 0;
    GLint height = 0;
    QByteArray rgba; // rows bottom-up, 4 bytes a texel

    QByteArray texel(int x, int row) const { return rgba.mid((row * width + x) * 4, 4); }
};

TexLevel readLevel(GLuint name, GLint level)
{
    TexLevel out;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &out.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &out.height);
    out.rgba = QByteArray(out.width * out.height * 4, '\0');
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, out.rgba.data());
    return out;
}

bool isPowerOfTwo(GLint v)
{
    return v > 0 && (v & (v - 1)) == 0;
}

} // namespace

class TextureGLTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void uploads24BitOpaqueBottomRowFirst();
    void uploads32BitWithAlphaZero();
    void namesA32BitFileOnTheErrorStream();
    void leavesTextureBoundWithFilters();
    void buildsWholeMipmapChain();
    void rescalesOddSides();
    void failingLoadCreatesNoTexture_data();
    void failingLoadCreatesNoTexture();

private:
    GLuint load(const QString& name, const QByteArray& bytes);

    std::unique_ptr<GlTestPanel> panel_;
    QTemporaryDir dir_;
    QString startDir_;
    QList<GLuint> created_;
};

void TextureGLTest::initTestCase()
{
    panel_ = std::make_unique<GlTestPanel>(64, 64);
    QVERIFY(dir_.isValid());
    startDir_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_.path()));
    setTextureSearchFolders({}); // the working directory only
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

void TextureGLTest::cleanupTestCase()
{
    QDir::setCurrent(startDir_);
    resetTextureSearchFolders();
    panel_.reset();
}

void TextureGLTest::cleanup()
{
    panel_->makeCurrent();
    for (GLuint name : created_)
        glDeleteTextures(1, &name);
    created_.clear();
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

GLuint TextureGLTest::load(const QString& name, const QByteArray& bytes)
{
    if (!writeFile(dir_.filePath(name), bytes))
        return 0;
    const GLuint texture = loadTexture(name);
    created_ << texture;
    return texture;
}

void TextureGLTest::uploads24BitOpaqueBottomRowFirst()
{
    Picture p;
    p.width = 4;
    p.height = 2;
    p.pixels = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu,  // top
                0xFF0A141Eu, 0xFF000000u, 0xFFC86432u, 0xFF010203u}; // bottom
    const GLuint name = load("Mixed24.bmp", encode(p));
    QVERIFY(name != 0);
    QVERIFY(glIsTexture(name));
    const TexLevel level = readLevel(name, 0);
    QCOMPARE(level.width, 4);
    QCOMPARE(level.height, 2);
    // The bottom-left pixel is the first texel; the top-left (red) starts the last row.
    QCOMPARE(level.texel(0, 0), expectedBytes(p.at(0, 1), 255));
    QCOMPARE(level.texel(0, 1), QByteArray("\xFF\x00\x00\xFF", 4));
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 4; ++x)
            QCOMPARE(level.texel(x, row), expectedBytes(p.at(x, 1 - row), 255));
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

void TextureGLTest::uploads32BitWithAlphaZero()
{
    Options o;
    o.bitCount = 32;
    const GLuint name = load("Red32.bmp", encode(solid(2, 2, 0xFFFF0000u), o));
    QVERIFY(name != 0);
    const TexLevel level = readLevel(name, 0);
    QCOMPARE(level.width, 2);
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 2; ++x)
            QCOMPARE(level.texel(x, row), QByteArray("\xFF\x00\x00\x00", 4));
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

namespace {
QStringList g_messages;
void collectMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_messages << message;
}
} // namespace

void TextureGLTest::namesA32BitFileOnTheErrorStream()
{
    // A file that already had 32 bits uploads with alpha 0 and its layer shows black: one line
    // says so, naming the file; a 24-bit or 16-bit file says nothing.
    Options deep;
    deep.bitCount = 32;
    Options shallow;
    shallow.bitCount = 16;
    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
    load("LandTex2.bmp", encode(solid(2, 2, 0xFF336699u), deep));
    const QStringList after32 = g_messages;
    load("LandTex1.bmp", encode(solid(2, 2, 0xFF336699u)));
    load("LandTex3.bmp", encode(solid(2, 2, 0xFF336699u), shallow));
    qInstallMessageHandler(previous);
    QCOMPARE(after32, QStringList{QStringLiteral("LandTex2.bmp has 32 bits per pixel: its layer is drawn black")});
    QCOMPARE(g_messages, after32);
}

void TextureGLTest::leavesTextureBoundWithFilters()
{
    const GLuint first = load("A.bmp", encode(solid(2, 2, 0xFF808080u)));
    const GLuint second = load("B.bmp", encode(solid(2, 2, 0xFF404040u)));
    QVERIFY(first != 0 && second != 0 && first != second);
    QCOMPARE(integerState(GL_TEXTURE_BINDING_2D), GLint(second));

    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    QCOMPARE(value, GLint(GL_LINEAR));
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    QCOMPARE(value, GLint(GL_LINEAR_MIPMAP_NEAREST));
    // The terrain's texture coordinates run across the whole lattice: wrapping stays repeat.
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    QCOMPARE(value, GLint(GL_REPEAT));
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    QCOMPARE(value, GLint(GL_REPEAT));
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

void TextureGLTest::buildsWholeMipmapChain()
{
    // A solid picture averages to itself at every level, down to 1 x 1.
    const GLuint name = load("Chain.bmp", encode(solid(8, 4, 0xFF0AC81Eu)));
    const GLint sizes[][2] = {{8, 4}, {4, 2}, {2, 1}, {1, 1}};
    for (GLint level = 0; level < 4; ++level) {
        const TexLevel got = readLevel(name, level);
        QCOMPARE(got.width, sizes[level][0]);
        QCOMPARE(got.height, sizes[level][1]);
        for (int t = 0; t < got.width * got.height; ++t)
            QCOMPARE(got.texel(t, 0), expectedBytes(0x0AC81Eu, 255));
    }
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

void TextureGLTest::rescalesOddSides()
{
    const GLuint name = load("Odd.bmp", encode(solid(3, 5, 0xFF2050F0u)));
    const TexLevel level = readLevel(name, 0);
    QVERIFY2(isPowerOfTwo(level.width) && isPowerOfTwo(level.height),
             qPrintable(QStringLiteral("%1 x %2").arg(level.width).arg(level.height)));
    for (int t = 0; t < level.width * level.height; ++t) {
        const QByteArray texel = level.texel(t, 0);
        const QByteArray want = expectedBytes(0x2050F0u, 255);
        for (int c = 0; c < 4; ++c)
            QVERIFY(qAbs(int(quint8(texel[c])) - int(quint8(want[c]))) <= 1);
    }
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

void TextureGLTest::failingLoadCreatesNoTexture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // written unless null
    QTest::addColumn<QString>("messageStart");
    QTest::addRow("missing") << "Missing.bmp" << QByteArray() << "Cannot open file ";
    QTest::addRow("empty") << "Empty.bmp" << QByteArray("") << "Bitmap image is not valid";
    QByteArray cut = encode(solid(4, 4, 0xFF102030u));
    cut.chop(10);
    QTest::addRow("truncated") << "Cut.bmp" << cut << "Bitmap image is not valid";
    QByteArray tooWide = encode(solid(4, 4, 0xFF102030u));
    putU32(tooWide, kWidthOffset, 1u << 20); // beyond any GL_MAX_TEXTURE_SIZE
    QTest::addRow("wider than GL allows") << "Wide.bmp" << tooWide << "Bitmap image is not valid";
}

void TextureGLTest::failingLoadCreatesNoTexture()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, messageStart);
    if (!bytes.isNull())
        QVERIFY(writeFile(dir_.filePath(name), bytes));

    const GLuint kept = load("Kept.bmp", encode(solid(2, 2, 0xFF00FF00u)));
    const int before = liveTextures();
    QString message;
    try {
        loadTexture(name);
    } catch (const ViewerError& e) {
        message = QString::fromStdString(e.what());
    }
    QVERIFY2(message.startsWith(messageStart), qPrintable(message));
    // A refused file is named on the second line, as found; why comes after it.
    if (messageStart.startsWith(QLatin1String("Bitmap")))
        QVERIFY2(message.startsWith(messageStart + QStringLiteral("\nFile: ") + QDir::current().absoluteFilePath(name) +
                                    QLatin1Char('\n')),
                 qPrintable(message));
    QCOMPARE(liveTextures(), before);
    QCOMPARE(integerState(GL_TEXTURE_BINDING_2D), GLint(kept));
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));

    // The count does see a texture that is made.
    load("Made.bmp", encode(solid(2, 2, 0xFF00FF00u)));
    QCOMPARE(liveTextures(), before + 1);
}

QTEST_MAIN(TextureGLTest)
#include "TextureGLTest.moc"
