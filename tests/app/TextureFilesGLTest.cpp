// The real start-up with one layer texture damaged: "LandTex2.bmp" in an otherwise good working
// folder is, in turn, every file of the BMP fuzz corpus and a set of damaged files written here
// byte by byte, a folder, or missing. A bad file must give one clear message, a lasting line
// over the view, and leave a running program (sky without terrain, camera placed, controls
// filled); the textures made before it must be released with the window. F5 reads the files
// again: it finishes a stopped build once the file is mended, and on a complete terrain it
// replaces the textures only.
//
// Releasing is checked from outside: every context of this process shares its objects with
// Qt's global share context (Qt::AA_ShareOpenGLContexts), so a texture the window failed to
// delete outlives the window's own context and is still seen by a second context of the group.

#include "GlChecks.h"
#include "GlView.h"
#include "StartedForm.h"
#include "Texture.h"
#include "TextureTestBitmaps.h"

#include <GL/gl.h>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QOffscreenSurface>
#include <QSlider>
#include <QTemporaryDir>
#include <cstring>
#include <vector>

namespace {

const QString kInvalid = QStringLiteral("Bitmap image is not valid");
const QString kCannotOpen = QStringLiteral("Cannot open file ");

// What a case must give.
enum class Expect {
    Invalid,    // refused as no valid bitmap
    CannotOpen, // not readable as a file at all
    Either,     // decoded or refused, the decoder's choice; never anything else
    Valid,      // decoded: the start-up completes
};

// How the case's "LandTex2.bmp" is made.
enum class Placement { Bytes, Folder, Missing };

struct Case {
    Placement placement = Placement::Bytes;
    QByteArray bytes;
    Expect expect = Expect::Invalid;
};

QByteArray goodFile()
{
    return testbmp::encode(testbmp::solid(8, 6, 0xFF336699u));
}

// The file with the little-endian field of `width` bytes at `offset` set to `value`.
QByteArray withField(QByteArray file, int offset, int width, quint32 value)
{
    QByteArray field(width, '\0');
    for (int i = 0; i < width; ++i)
        field[i] = char((value >> (8 * i)) & 0xFFu);
    return file.replace(offset, width, field);
}

// Damaged files written here, so the test has its cases whatever the corpus holds.
QVector<QPair<QString, QByteArray>> writtenBadFiles()
{
    using namespace testbmp;
    const QByteArray good = goodFile();
    QByteArray magic = good;
    magic[0] = 'M';
    magic[1] = 'B';
    return {
        {QStringLiteral("empty"), QByteArray()},
        {QStringLiteral("truncated header"), good.left(20)},
        {QStringLiteral("truncated pixels"), good.left(good.size() - 5)},
        {QStringLiteral("wrong magic"), magic},
        {QStringLiteral("zero width"), withField(good, kWidthOffset, 4, 0)},
        {QStringLiteral("huge dimensions"),
         withField(withField(good, kWidthOffset, 4, 100000), kHeightOffset, 4, 100000)},
        {QStringLiteral("unknown header size"), withField(good, kInfoSizeOffset, 4, 20)},
        {QStringLiteral("offset past the end"), withField(good, kPixelOffsetOffset, 4, quint32(good.size() + 100))},
        {QStringLiteral("7 bits per pixel"), withField(good, kBitCountOffset, 2, 7)},
    };
}

// The corpus's file names say what each must give: ok-... decodes, bad-... is refused,
// edge-... either; anything else (found by the fuzzer) only has to be survived.
Expect expectationFromName(const QString& name)
{
    if (name.startsWith(QLatin1String("ok-")))
        return Expect::Valid;
    if (name.startsWith(QLatin1String("bad-")))
        return Expect::Invalid;
    return Expect::Either;
}

// A second context in the share group of every panel, on a surface of its own.
struct ShareGroupProbe {
    QOffscreenSurface surface;
    QOpenGLContext context;

    bool create()
    {
        surface.setFormat(viewSurfaceFormat());
        surface.create();
        context.setFormat(viewSurfaceFormat());
        context.setShareContext(QOpenGLContext::globalShareContext());
        return surface.isValid() && context.create() && context.shareContext() != nullptr;
    }
    // Names among `names` that are still textures of the share group.
    QStringList live(const QVector<QPair<QString, GLuint>>& names)
    {
        QStringList alive;
        if (!context.makeCurrent(&surface))
            return {QStringLiteral("(probe context not current)")};
        for (const auto& [what, name] : names) {
            if (name != 0 && glIsTexture(name))
                alive << QStringLiteral("%1 (%2)").arg(what).arg(name);
        }
        context.doneCurrent();
        return alive;
    }
};

} // namespace

Q_DECLARE_METATYPE(Case)

class TextureFilesGLTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void probeSeesATextureLeftBehind();
    void thirdLayerFile_data();
    void thirdLayerFile();
    void reloadFinishesAStoppedBuild();
    void reloadReplacesOnlyTheTextures();

private:
    // A fresh working folder with good LandTex0, 1 and 3 from the assets and the case as 2.
    bool prepareFolder(QTemporaryDir& folder, const Case& c);

    ShareGroupProbe probe;
    QString assets;
};

void TextureFilesGLTest::initTestCase()
{
    QVERIFY(QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts));
    QVERIFY(QOpenGLContext::globalShareContext());
    QVERIFY2(probe.create(), "no GL context shares with the global share context");
    assets = assetsFolder();
    QVERIFY2(QFile::exists(assets + QStringLiteral("/LandTex0.bmp")), qPrintable(assets));
    // Nothing but the working folder: a shipped texture must not stand in for a bad one.
    setTextureSearchFolders({});
}

void TextureFilesGLTest::cleanupTestCase()
{
    resetTextureSearchFolders();
}

bool TextureFilesGLTest::prepareFolder(QTemporaryDir& folder, const Case& c)
{
    if (!folder.isValid())
        return false;
    for (const char* name : {"LandTex0.bmp", "LandTex1.bmp", "LandTex3.bmp"}) {
        if (!QFile::copy(assets + QLatin1Char('/') + QLatin1String(name), folder.filePath(QLatin1String(name))))
            return false;
    }
    const QString third = folder.filePath(QStringLiteral("LandTex2.bmp"));
    switch (c.placement) {
    case Placement::Bytes: return testbmp::writeFile(third, c.bytes);
    case Placement::Folder: return QDir().mkdir(third);
    case Placement::Missing: return true;
    }
    return false;
}

void TextureFilesGLTest::probeSeesATextureLeftBehind()
{
    // The probe must be able to see a leak, or its "released" below would prove nothing: a
    // texture made in the window's context and not deleted is still there after the window.
    QTemporaryDir folder;
    QVERIFY(prepareFolder(folder, Case{Placement::Bytes, goodFile(), Expect::Valid}));
    QDir::setCurrent(folder.path());
    StartedForm started(StartedForm::WorkingFolder);
    std::unique_ptr<TForm1>& form = started.form;
    const QStringList& errors = started.errors;
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    QVERIFY(form->landscapeBuilt);
    GLuint leftBehind = 0;
    glGenTextures(1, &leftBehind);
    glBindTexture(GL_TEXTURE_2D, leftBehind);
    const GLubyte texel[4] = {1, 2, 3, 4};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    VERIFY_NO_GL_ERROR();
    QVector<QPair<QString, GLuint>> owned;
    for (int slot = 0; slot < 4; ++slot)
        owned.append({QStringLiteral("layer %1").arg(slot), form->landscape.textures[slot]});
    form.reset();
    QCOMPARE(probe.live({{QStringLiteral("left behind"), leftBehind}}).size(), 1);
    QCOMPARE(probe.live(owned), QStringList());
    QVERIFY(probe.context.makeCurrent(&probe.surface));
    glDeleteTextures(1, &leftBehind);
    probe.context.doneCurrent();
}

void TextureFilesGLTest::thirdLayerFile_data()
{
    QTest::addColumn<Case>("c");
    for (const auto& [name, bytes] : writtenBadFiles())
        QTest::newRow(qPrintable(name)) << Case{Placement::Bytes, bytes, Expect::Invalid};
    QTest::newRow("a folder") << Case{Placement::Folder, {}, Expect::CannotOpen};
    QTest::newRow("missing") << Case{Placement::Missing, {}, Expect::CannotOpen};
    QTest::newRow("good") << Case{Placement::Bytes, goodFile(), Expect::Valid};

    const QString corpus = qEnvironmentVariable("TERRAIN_SOURCE_DIR") + QStringLiteral("/tools/fuzz/corpus");
    QStringList names = QDir(corpus).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile file(QDir(corpus).filePath(name));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(name));
        QTest::newRow(qPrintable(QStringLiteral("corpus/") + name))
            << Case{Placement::Bytes, file.readAll(), expectationFromName(name)};
    }
}

void TextureFilesGLTest::thirdLayerFile()
{
    QFETCH(Case, c);
    QTemporaryDir folder;
    QVERIFY(prepareFolder(folder, c));
    QDir::setCurrent(folder.path());
    StartedForm started(StartedForm::WorkingFolder);
    std::unique_ptr<TForm1>& form = started.form;
    const QStringList& errors = started.errors;

    // The outcome: one clear message naming the file, or none for a file that decodes.
    const QString invalidThird = kInvalid + QStringLiteral("\nFile: ") +
                                 QDir::toNativeSeparators(
                                     QDir::current().absoluteFilePath(QStringLiteral("LandTex2.bmp")));
    const bool refused = !errors.isEmpty();
    switch (c.expect) {
    case Expect::Invalid:
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith(invalidThird + QLatin1Char('\n')), qPrintable(errors.first()));
        break;
    case Expect::CannotOpen:
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith(kCannotOpen +
                                           QDir::toNativeSeparators(folder.filePath(QStringLiteral("LandTex2.bmp")))),
                 qPrintable(errors.first()));
        break;
    case Expect::Either:
        QVERIFY2(errors.isEmpty() ||
                     (errors.size() == 1 && errors.first().startsWith(invalidThird + QLatin1Char('\n'))),
                 qPrintable(errors.join('\n')));
        break;
    case Expect::Valid: QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n'))); break;
    }

    TLandscape& land = form->landscape;
    QCOMPARE(form->landscapeBuilt, !refused);
    QCOMPARE(form->overlays->groundLine.isVisible(), refused);
    if (refused)
        QVERIFY2(form->overlays->groundLine.text().contains(errors.first()),
                 qPrintable(form->overlays->groundLine.text()));
    // The two layers before the file were loaded; a refused file made none, nor any after it.
    QVERIFY(land.textures != nullptr);
    QVERIFY(glIsTexture(land.textures[0]));
    QVERIFY(glIsTexture(land.textures[1]));
    if (refused) {
        QCOMPARE(land.textures[2], 0u);
        QCOMPARE(land.textures[3], 0u);
    } else {
        QVERIFY(glIsTexture(land.textures[2]));
        QVERIFY(glIsTexture(land.textures[3]));
    }

    // The window is usable all the same: camera placed, controls filled, frames drawn.
    QCOMPARE(form->camera.position.x, 100.0);
    QCOMPARE(form->camera.position.y, 7.0);
    QCOMPARE(form->camera.position.z, 100.0);
    QCOMPARE(form->camera.yaw, 125.0);
    QCOMPARE(form->TrackBar1->value(), 0);
    QCOMPARE(form->TrackBar2->value(), 50);
    QCOMPARE(form->TrackBar3->value(), 80);
    QCOMPARE(form->Label5->text(), QStringLiteral("50%"));
    QCOMPARE(form->Edit1->text(), QStringLiteral("100000"));
    QVERIFY(form->worldReady);
    for (int i = 0; i < 3; ++i) {
        form->TimerForDrawingTimer();
        form->TimerBigBenTimer();
    }
    VERIFY_NO_GL_ERROR();
    QCOMPARE(errors.size(), refused ? 1 : 0);

    // Destroying the window releases what it made, the layers loaded before the bad file
    // included.
    QVector<QPair<QString, GLuint>> owned;
    for (int slot = 0; slot < 4; ++slot)
        owned.append({QStringLiteral("layer %1").arg(slot), land.textures[slot]});
    owned.append({QStringLiteral("optical depth"), form->world.opticalDepthTexture});
    owned.append({QStringLiteral("halo"), form->world.haloTexture});
    form.reset();
    const QStringList leaked = probe.live(owned);
    QVERIFY2(leaked.isEmpty(), qPrintable(QStringLiteral("still live: ") + leaked.join(QStringLiteral(", "))));
}

// Still bad, F5 gives the same message again and the line stays; mended, F5 completes the
// build, the line goes and frames draw the ground.
void TextureFilesGLTest::reloadFinishesAStoppedBuild()
{
    QTemporaryDir folder;
    QVERIFY(prepareFolder(folder, Case{Placement::Bytes, QByteArray(), Expect::Invalid}));
    QDir::setCurrent(folder.path());
    StartedForm started(StartedForm::WorkingFolder);
    std::unique_ptr<TForm1>& form = started.form;
    const QStringList& errors = started.errors;
    QCOMPARE(errors.size(), 1);
    QTest::keyPress(form->windowHandle(), Qt::Key_F5);
    QVERIFY(form->KeyState[116]); // F5 counts as held like every key
    QTest::keyRelease(form->windowHandle(), Qt::Key_F5);
    QCOMPARE(errors.size(), 2);
    QCOMPARE(errors.last(), errors.first());
    QVERIFY(!form->landscapeBuilt);
    QVERIFY(form->overlays->groundLine.isVisible());

    QVERIFY(testbmp::writeFile(folder.filePath(QStringLiteral("LandTex2.bmp")), goodFile()));
    QTest::keyClick(form->windowHandle(), Qt::Key_F5);
    QCOMPARE(errors.size(), 2);
    QVERIFY(form->landscapeBuilt);
    QVERIFY(!form->overlays->groundLine.isVisible());
    QVERIFY(form->overlays->messagePanel.isVisible());
    for (int slot = 0; slot < 4; ++slot)
        QVERIFY(glIsTexture(form->landscape.textures[slot]));
    form->TimerForDrawingTimer();
    QCOMPARE(form->bumpColumn, 11); // the bump walks once the terrain is there
    VERIFY_NO_GL_ERROR();
}

// On a complete terrain F5 changes the four textures and nothing else; a file that fails
// then leaves the textures as they were.
void TextureFilesGLTest::reloadReplacesOnlyTheTextures()
{
    QTemporaryDir folder;
    QVERIFY(prepareFolder(folder, Case{Placement::Bytes, goodFile(), Expect::Valid}));
    QDir::setCurrent(folder.path());
    StartedForm started(StartedForm::WorkingFolder);
    std::unique_ptr<TForm1>& form = started.form;
    const QStringList& errors = started.errors;
    QVERIFY(form->landscapeBuilt);
    for (int i = 0; i < 5; ++i)
        form->TimerForDrawingTimer();
    // At noon, looking steeply down: the ground under the view's bottom edge is lit and nearer
    // than the fog's start.
    form->world.setHour(12.0f);
    form->camera.setAngles(125.0, -70.0, 0.0);
    const auto groundPixel = [&form] {
        form->Panel1->makeCurrent();
        form->drawFrame(viewAlong(form->camera));
        const QImage frame = form->Panel1->readFramebuffer();
        return frame.pixel(frame.width() / 2, frame.height() - 2);
    };
    QVERIFY(qGreen(groundPixel()) > 0);
    TLandscape& land = form->landscape;
    const std::vector<float3> heights(land.positions, land.positions + land.vertexCount());
    const Camera camera = form->camera;
    const int bumpColumn = form->bumpColumn;

    // Every layer pure red: the ground then has no green or blue.
    for (const char* name : {"LandTex0.bmp", "LandTex1.bmp", "LandTex2.bmp", "LandTex3.bmp"})
        QVERIFY(testbmp::writeFile(folder.filePath(QLatin1String(name)),
                                   testbmp::encode(testbmp::solid(8, 8, 0xFFFF0000u))));
    const GLuint before = land.textures[0];
    QTest::keyClick(form->windowHandle(), Qt::Key_F5);
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    QVERIFY(land.textures[0] != before || !glIsTexture(before));
    const QRgb red = groundPixel();
    QVERIFY2(qRed(red) > 0 && qGreen(red) == 0 && qBlue(red) == 0, qPrintable(QString::number(red, 16)));
    QCOMPARE(std::memcmp(heights.data(), land.positions, heights.size() * sizeof(float3)), 0);
    QCOMPARE(form->camera.position.x, camera.position.x);
    QCOMPARE(form->camera.yaw, camera.yaw);
    QCOMPARE(form->bumpColumn, bumpColumn);

    QVERIFY(testbmp::writeFile(folder.filePath(QStringLiteral("LandTex3.bmp")), QByteArray()));
    const std::vector<GLuint> kept(land.textures, land.textures + 4);
    QTest::keyClick(form->windowHandle(), Qt::Key_F5);
    QCOMPARE(errors.size(), 1);
    QVERIFY(form->landscapeBuilt);
    QVERIFY(!form->overlays->groundLine.isVisible());
    QCOMPARE(std::vector<GLuint>(land.textures, land.textures + 4), kept);
    QCOMPARE(groundPixel(), red);
    VERIFY_NO_GL_ERROR();
}

int main(int argc, char** argv)
{
    // As the program does, plus one shared object space for all contexts (see the top).
    QSurfaceFormat::setDefaultFormat(viewSurfaceFormat());
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    TextureFilesGLTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TextureFilesGLTest.moc"
