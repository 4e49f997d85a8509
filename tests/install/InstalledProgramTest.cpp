// The program as a package or `cmake --install` leaves it, run the way a user (or the menu
// entry) runs it: from a folder without textures. TERRAIN_INSTALLED_PREFIX names the installed
// tree (the prefix: <prefix>/bin/terrain-viewer, <prefix>/share/...). The tree must come from a
// build without the fall-back to the source tree's assets (scripts/package makes one), so that
// a textured picture proves the installed textures were found.

#include "ProgramRun.h"
#include "ScenePicture.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kAppId = QStringLiteral("org.terrainviewer.TerrainViewer");

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// What xprop prints of the program's window (WM_NAME "Test") once the window is up with its
// class and icon: WM_CLASS and the pictures of _NET_WM_ICON, as a window manager reads them.
// Empty if no such window appeared within a minute. The program is ended afterwards.
QString windowProperties(const QString& program, const QString& workingDirectory)
{
    QProcess viewer;
    viewer.setProgram(program);
    viewer.setWorkingDirectory(workingDirectory);
    viewer.start();
    QString printed;
    const bool found = QTest::qWaitFor(
        [&printed] {
            QProcess xprop;
            // -len: the icon's pictures come to some 330 kB, past xprop's own limit.
            xprop.start(QStringLiteral("xprop"), {"-len", "1000000", "-name", "Test", "WM_CLASS", "_NET_WM_ICON"});
            if (!xprop.waitForFinished(30000) || xprop.exitCode() != 0)
                return false;
            printed = QString::fromLocal8Bit(xprop.readAllStandardOutput());
            return printed.contains(QStringLiteral("WM_CLASS(STRING)")) && printed.contains(QStringLiteral("Icon ("));
        },
        60000);
    viewer.terminate();
    if (!viewer.waitForFinished(10000)) {
        viewer.kill();
        viewer.waitForFinished();
    }
    return found ? printed : QString();
}

} // namespace

class InstalledProgramTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void filesAreInPlace();
    void menuEntryAndMetadataAgree();
    void windowMatchesTheMenuEntry();
    void drawsTheSceneWithTheInstalledTextures_data();
    void drawsTheSceneWithTheInstalledTextures();
    void missingInstalledTextureIsNamedAndFailsTheRun();

private:
    QString prefix;
    QString program() const { return prefix + QStringLiteral("/bin/terrain-viewer"); }
};

void InstalledProgramTest::initTestCase()
{
    prefix = qEnvironmentVariable("TERRAIN_INSTALLED_PREFIX");
    QVERIFY2(!prefix.isEmpty(), "TERRAIN_INSTALLED_PREFIX must name the installed tree (scripts/test-installed)");
    QVERIFY2(QFileInfo(program()).isExecutable(), qPrintable(program()));
}

void InstalledProgramTest::filesAreInPlace()
{
    for (int layer = 0; layer < 4; ++layer) {
        const QString texture = prefix + QStringLiteral("/share/terrain-viewer/LandTex%1.bmp").arg(layer);
        QVERIFY2(QImage(texture).width() > 0, qPrintable(texture));
    }
    const QString icons = prefix + QStringLiteral("/share/icons/hicolor/");
    for (int size : {48, 128, 256}) {
        const QString icon = icons + QStringLiteral("%1x%1/apps/").arg(size) + kAppId + QStringLiteral(".png");
        QCOMPARE(QImage(icon).size(), QSize(size, size));
    }
    const QString svg = readText(icons + QStringLiteral("scalable/apps/") + kAppId + QStringLiteral(".svg"));
    QVERIFY2(svg.contains(QStringLiteral("<svg")), "scalable icon");
    const QFileInfo manPage(prefix + QStringLiteral("/share/man/man1/terrain-viewer.1.gz"));
    QVERIFY2(manPage.size() > 200, qPrintable(manPage.filePath()));
    QVERIFY(QFileInfo::exists(prefix + QStringLiteral("/share/doc/terrain-viewer/copyright")));
}

void InstalledProgramTest::menuEntryAndMetadataAgree()
{
    const QString entry = readText(prefix + QStringLiteral("/share/applications/") + kAppId +
                                   QStringLiteral(".desktop"));
    QVERIFY2(!entry.isEmpty(), "desktop entry");
    // The menu starts the program by name from the PATH and shows the installed icon.
    QVERIFY(entry.contains(QStringLiteral("\nExec=terrain-viewer\n")));
    QVERIFY(entry.contains(QStringLiteral("\nIcon=") + kAppId + QStringLiteral("\n")));
    QVERIFY(entry.contains(QStringLiteral("\nTerminal=false\n")));
    QVERIFY(entry.contains(QStringLiteral("\nCategories=Graphics;3DGraphics;\n")));

    const QString metainfo = readText(prefix + QStringLiteral("/share/metainfo/") + kAppId +
                                      QStringLiteral(".metainfo.xml"));
    QVERIFY(metainfo.contains(QStringLiteral("<id>") + kAppId + QStringLiteral("</id>")));
    QVERIFY(metainfo.contains(QStringLiteral("<launchable type=\"desktop-id\">") + kAppId +
                              QStringLiteral(".desktop</launchable>")));
    // The release is the program's own version, as --version prints it.
    const ProgramRun version = runProgram(program(), {QStringLiteral("--version")});
    QCOMPARE(version.status, 0);
    const QString printed = version.out.trimmed();
    const QRegularExpressionMatch release =
        QRegularExpression(QStringLiteral("<release version=\"([^\"]+)\"")).match(metainfo);
    QVERIFY2(release.hasMatch(), "release in the metainfo");
    QCOMPARE(printed, QStringLiteral("terrain-viewer ") + release.captured(1));
}

void InstalledProgramTest::windowMatchesTheMenuEntry()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString printed = windowProperties(program(), folder.path());
    QVERIFY2(!printed.isEmpty(), "no window named Test with WM_CLASS and _NET_WM_ICON (is xprop installed?)");

    // Docks match a window to its launcher by the class half of WM_CLASS (instance, class).
    const QString entry = readText(prefix + QStringLiteral("/share/applications/") + kAppId +
                                   QStringLiteral(".desktop"));
    const QRegularExpressionMatch wanted =
        QRegularExpression(QStringLiteral("\\nStartupWMClass=([^\\n]+)\\n")).match(entry);
    QVERIFY2(wanted.hasMatch(), "StartupWMClass in the desktop entry");
    const QRegularExpressionMatch carried =
        QRegularExpression(QStringLiteral("WM_CLASS\\(STRING\\) = \"([^\"]*)\", \"([^\"]*)\"")).match(printed);
    QVERIFY2(carried.hasMatch(), qPrintable(printed.left(200)));
    QCOMPARE(carried.captured(2), wanted.captured(1));

    // The window icon holds a picture of each size the icon theme has.
    QList<QSize> sizes;
    QRegularExpressionMatchIterator icons =
        QRegularExpression(QStringLiteral("Icon \\((\\d+) x (\\d+)\\)")).globalMatch(printed);
    while (icons.hasNext()) {
        const QRegularExpressionMatch icon = icons.next();
        sizes << QSize(icon.captured(1).toInt(), icon.captured(2).toInt());
    }
    QCOMPARE(sizes, (QList<QSize>{{48, 48}, {128, 128}, {256, 256}}));
}

void InstalledProgramTest::drawsTheSceneWithTheInstalledTextures_data()
{
    // The picture of --screenshot, and the last of the frames of --record.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("picture");
    QTest::newRow("screenshot") << QStringList{"--screenshot", "shot.png", "--frames", "20"} << "shot.png";
    QTest::newRow("record") << QStringList{"--record", "frames", "--frames", "3"} << "frames/frame-00003.png";
}

void InstalledProgramTest::drawsTheSceneWithTheInstalledTextures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, picture);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const ProgramRun run = runProgram(program(),
                                      arguments << "--hour"
                                                << "10",
                                      folder.path());
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QVERIFY2(!run.err.contains(QStringLiteral("Cannot open file")), qPrintable(run.err));
    const QImage image(folder.filePath(picture));
    QCOMPARE(image.size(), QSize(1012, 614));
    // Measured on llvmpipe: 0.96 of the ground band is ground, with 90 grey levels; a
    // picture without ground had 0 and 21. All of the sky band is sky.
    const double share = groundShare(image, startGroundBand(image));
    const int levels = greyLevels(image, startGroundBand(image));
    const double sky = skyShare(image, startSkyBand(image));
    if (share < 0.8 || levels < 60 || sky < 0.9)
        image.save(QDir(qEnvironmentVariable("TERRAIN_TEST_OUTPUT", QDir::tempPath()))
                       .filePath(QStringLiteral("installed-%1.png").arg(QTest::currentDataTag())));
    QVERIFY2(share >= 0.8, qPrintable(QString::number(share)));
    QVERIFY2(levels >= 60, qPrintable(QString::number(levels)));
    QVERIFY2(sky >= 0.9, qPrintable(QString::number(sky)));
}

void InstalledProgramTest::missingInstalledTextureIsNamedAndFailsTheRun()
{
    // A copy of the installed program and its textures, one texture short: the program looks
    // only in the working folder and its own data folder, says so, and the run fails without
    // writing a picture of sky only.
    QTemporaryDir copy, folder;
    QVERIFY(copy.isValid() && folder.isValid());
    QVERIFY(QDir().mkpath(copy.filePath("bin")) && QDir().mkpath(copy.filePath("share/terrain-viewer")));
    const QString copiedProgram = copy.filePath(QStringLiteral("bin/terrain-viewer"));
    QVERIFY(QFile::copy(program(), copiedProgram));
    for (const char* name : {"LandTex0.bmp", "LandTex1.bmp", "LandTex3.bmp"})
        QVERIFY(QFile::copy(prefix + "/share/terrain-viewer/" + name, copy.filePath("share/terrain-viewer/") + name));

    const QString shot = folder.filePath(QStringLiteral("shot.png"));
    const ProgramRun run = runProgram(copiedProgram, {"--screenshot", shot, "--frames", "20", "--hour", "10"},
                                      folder.path());
    QVERIFY2(run.err.contains(QStringLiteral("Cannot open file ") + folder.path() + QStringLiteral("/LandTex2.bmp")),
             qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("Looked in: ") + folder.path() + QStringLiteral(", ") +
                              QDir::cleanPath(copy.filePath(QStringLiteral("share/terrain-viewer")))),
             qPrintable(run.err));
    QCOMPARE(run.status, 1);
    QVERIFY(!QFileInfo::exists(shot));
}

QTEST_GUILESS_MAIN(InstalledProgramTest)
#include "InstalledProgramTest.moc"
