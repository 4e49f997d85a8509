// A ground of the user's own in the program and the window: --describe, refusals before
// anything is drawn, the start clock, the camera, bump, orbit and Home over it, and F5.

#include "CameraPath.h"
#include "CommandLine.h"
#include "ElevationModel.h"
#include "KeyCodes.h"
#include "SceneStartup.h"
#include "StartedForm.h"
#include "TerrainBuild.h"
#include "TestRasters.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>

namespace {

const QString kExample = QStringLiteral("ground/olinda_dem_utm25s.tif");

double minutesOf(const QString& clock)
{
    return clock.section(':', 0, 0).toInt() * 60.0 + clock.section(':', 1, 1).toInt();
}

// The ground of the file at path given to the window as the program gives it.
std::function<void(TForm1&)> withGround(const QString& path)
{
    return [path](TForm1& form) {
        form.groundRequest = ElevationRequest{path.toStdString(), {}, 1.0, {}};
        form.ground = loadElevationModel(*form.groundRequest);
    };
}

const QString kExamplePath = assetsFolder() + "/" + kExample;

} // namespace

class OwnGroundGLTest : public QObject {
    Q_OBJECT
private slots:
    // A version-2 path names the ground it was flown over, and playing it over another says so;
    // a version-1 path names none, so nothing is said (before the missing display stops both).
    void pathsSayOverWhichGroundTheyWereFlown()
    {
        QTemporaryDir folder;
        const struct {
            const char* name;
            const char* text;
            bool said;
        } paths[] = {{"v1.csv",
                      "frame,x,y,z,yaw_degrees,pitch_degrees,roll_degrees,day,hour\n0,60,8,220,-70,3,0,172,17\n",
                      false},
                     {"v2.csv",
                      "# terrain-viewer camera path, version 2; latitude 40; tilt 23; view 640x400; view distance 50\n",
                      true}};
        for (const auto& path : paths) {
            QFile file(folder.filePath(path.name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(path.text);
            if (path.said)
                file.write(QByteArray(kCameraPathHeaderV2) +
                           "\n0,60,8,220,-70,3,0,172,17,60,8,221,0,1,0,60,220,1,0,0,0.5,0.8,100000\n");
            file.close();
            const ProgramRun run = runViewer({"--heightmap", kExample, "--camera-path", file.fileName()},
                                             assetsFolder(),
                                             EnvironmentChange{{"DISPLAY", "WAYLAND_DISPLAY"},
                                                               {"QT_QPA_PLATFORM=xcb"}});
            QVERIFY2(run.err.contains("was flown over the built-in hills; this run shows olinda_dem_utm25s.tif") ==
                         path.said,
                     qPrintable(run.err));
        }
    }

    void describeTheExample()
    {
        const ProgramRun run = runViewer(
            {"--heightmap", kExample, "--describe", "--date", "2024-06-21", "--utc-offset", "-3"});
        QCOMPARE(run.status, 0);
        const QStringList lines = run.out.split('\n');
        for (const char* line :
             {"driver: GTiff", "raster: 111 x 111 cells, 1 band(s)", "lattice: 128 x 111", "nodata filled: 0 cells"})
            QVERIFY2(lines.contains(QString::fromLatin1(line)), qPrintable(run.out));
        // gdalinfo's pixel size, 89.994 m; 110 cells between the outer centres make 128
        // columns of 89.994 * sqrt(3)/2 north and 111 rows east.
        QVERIFY2(run.out.contains("cell size: 90.0 m") && run.out.contains("metres per world unit: 44.997"),
                 qPrintable(run.out));
        // Olinda, Pernambuco, lies at about 8.01 S, 34.86 W.
        const QRegularExpressionMatch centre = QRegularExpression("centre: (-?[0-9.]+), (-?[0-9.]+)").match(run.out);
        QVERIFY(centre.hasMatch());
        QVERIFY(std::fabs(centre.captured(1).toDouble() - -8.01) < 0.05);
        QVERIFY(std::fabs(centre.captured(2).toDouble() - -34.86) < 0.05);
        // Almanac times for Recife next door (8.05 S, 34.90 W) at the June solstice, UTC-3:
        // sunrise 05:32, sunset 17:12.
        const QRegularExpressionMatch sun =
            QRegularExpression("sunrise: (\\d\\d:\\d\\d), sunset: (\\d\\d:\\d\\d)").match(run.out);
        QVERIFY2(sun.hasMatch(), qPrintable(run.out));
        QVERIFY(std::fabs(minutesOf(sun.captured(1)) - minutesOf("05:32")) <= 3.0);
        QVERIFY(std::fabs(minutesOf(sun.captured(2)) - minutesOf("17:12")) <= 3.0);
    }

    void refusedBeforeAnythingIsDrawn_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << QStringList{"--heightmap", "nowhere.tif"} << "'nowhere.tif': no such file";
        QTest::newRow("--describe alone") << QStringList{"--describe"} << "--describe describes the file";
        QTest::newRow("a date that is not")
            << QStringList{"--heightmap", kExample, "--date", "2023-02-29"} << "--date needs a date";
        QTest::newRow("rows of a micrometre")
            << QStringList{"--heightmap", kExample, "--cell-metres", "0.000001"} << "--cell-metres needs a number";
        QTest::newRow("offset without a date") << QStringList{"--utc-offset", "2"} << "give --date or --sun real";
    }
    void refusedBeforeAnythingIsDrawn()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString picture = dir.filePath("shot.png");
        const ProgramRun run = runViewer(arguments + QStringList{"--screenshot", picture});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(!QFile::exists(picture));
    }

    void startClockFromTheGroundAndDate_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("realSun");
        QTest::addColumn<float>("latitude");
        QTest::addColumn<unsigned>("day");
        QTest::addColumn<float>("utcOffset");
        // The ground's latitude replaces 40; --latitude replaces the ground's; a date makes the
        // clock the real sun's, on day 172 of 2024's 366, at the longitude's zone unless given.
        QTest::newRow("designed, ground latitude") << QStringList{} << false << -7.995184f << 0u << 0.0f;
        QTest::newRow("designed, --latitude") << QStringList{"--latitude", "12"} << false << 12.0f << 0u << 0.0f;
        QTest::newRow("real, zone of the longitude")
            << QStringList{"--date", "2024-06-21"} << true << -7.995184f << 172u << -2.0f;
        QTest::newRow("real, --utc-offset")
            << QStringList{"--date", "2024-06-21", "--utc-offset", "-3"} << true << -7.995184f << 172u << -3.0f;
    }
    void startClockFromTheGroundAndDate()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, realSun);
        QFETCH(float, latitude);
        QFETCH(unsigned, day);
        QFETCH(float, utcOffset);
        ViewerOptions options;
        int status = -1;
        QVERIFY(
            parseCommandLine(QStringList{"terrain-viewer", "--heightmap", kExample} + arguments, &options, &status));
        const ElevationModel model = loadElevationModel({kExamplePath.toStdString(), {}, 1.0, {}});
        options.groundLatitude = model.centreLatitude;
        options.groundLongitude = model.centreLongitude;
        StartedForm started;
        TWorld& world = started.form->world;
        // Without --hour applyStartClock keeps whatever hour the start-up's ticks left.
        const float hourBefore = world.hour;
        applyStartClock(options, world);
        QCOMPARE(world.realSun, realSun);
        QVERIFY(std::fabs(world.latitude - latitude) < 1e-4f);
        QCOMPARE(world.day, day);
        QCOMPARE(world.hour, hourBefore);
        if (realSun) {
            QCOMPARE(world.daysPerYear, 366u);
            QCOMPARE(world.utcOffsetHours, utcOffset);
            QVERIFY(std::fabs(world.longitude - -34.871077f) < 1e-4f);
            // At 5 on the clock the June sun is still below Olinda's horizon, in the east.
            world.setHour(5.0f);
            QVERIFY(world.sunMatrix[5] < 0.0f && world.sunMatrix[6] > 0.0f);
        }
    }

    void windowOverTheExample()
    {
        StartedForm started({}, nullptr, withGround(kExamplePath));
        TForm1& form = *started.form;
        QVERIFY(form.landscapeBuilt);
        QCOMPARE(form.landscape.width, 128u);
        QCOMPARE(form.landscape.depth, 111u);
        // Above the middle, clear of the ground, facing north (+x) and a little down.
        const Camera& camera = form.camera;
        QVERIFY(std::fabs(camera.position.x - form.landscape.positions[55 * 128 + 64].x) < 1e-3);
        QVERIFY(camera.position.y > groundHeightAt(form.landscape, camera.position.x, camera.position.z) + 2.9);
        QCOMPARE(camera.yaw, 0.0);
        QVERIFY(camera.forward.x > 0.9);
        QVERIFY(form.modeLineText().contains("olinda_dem_utm25s.tif  7.9952 S, 34.8711 W  day 0"));

        // The bump leaves the real ground as it is.
        std::vector<float> before(form.landscape.vertexCount());
        for (std::size_t k = 0; k < before.size(); ++k)
            before[k] = form.landscape.positions[k].y;
        for (int frame = 0; frame < 30; ++frame)
            form.TimerForDrawingTimer();
        for (std::size_t k = 0; k < before.size(); ++k)
            QCOMPARE(form.landscape.positions[k].y, before[k]);

        // F orbits the ground where the view's centre meets it.
        const std::optional<Vec3d> hit = groundHit(form.landscape, camera.position, camera.forward, 200.0);
        QVERIFY(hit);
        QTest::keyClick(started.window(), Qt::Key_F);
        QVERIFY(camera.orbiting);
        QVERIFY(std::fabs(camera.target.x - hit->x) < 1e-9 && std::fabs(camera.target.z - hit->z) < 1e-9);
        QVERIFY(std::fabs(camera.target.y - double(groundHeightAt(form.landscape, hit->x, hit->z))) < 0.01);
        for (int frame = 0; frame < 5; ++frame)
            form.TimerForDrawingTimer();
        QVERIFY(camera.orbiting && std::fabs(camera.target.x - hit->x) < 1e-9);
        // Home: out of orbit, back above the middle.
        QTest::keyClick(started.window(), Qt::Key_Up);
        QTest::keyClick(started.window(), Qt::Key_Home);
        QVERIFY(!camera.orbiting);
        QCOMPARE(camera.yaw, 0.0);
        QVERIFY(std::fabs(camera.position.z - form.landscape.positions[55 * 128 + 64].z) < 1e-3);
    }

    void f5ReadsTheGroundAgain()
    {
        // A copy of its own that the test changes between presses of F5.
        QTemporaryDir dir;
        const QString path = dir.filePath("ground.tif");
        TestRaster raster;
        raster.elevation = [](double, double, int column, int) { return 10.0 * column; };
        writeTestRaster(path, "GTiff", raster);
        StartedForm started({}, nullptr, withGround(path));
        TForm1& form = *started.form;
        QCOMPARE(form.landscape.depth, 20u);

        // A file that now fails: the error names it, and the ground shown stays.
        QVERIFY(QFile::remove(path));
        QFile broken(path);
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("broken") == 6);
        broken.close();
        QTest::keyClick(started.window(), Qt::Key_F5);
        QCOMPARE(started.errors.size(), 1);
        QVERIFY2(started.errors.first().contains(path), qPrintable(started.errors.first()));
        QVERIFY(form.landscapeBuilt);
        QCOMPARE(form.landscape.depth, 20u);

        // Mended, and wider: F5 lays the new ground.
        QVERIFY(QFile::remove(path));
        raster.width = 30;
        writeTestRaster(path, "GTiff", raster);
        QTest::keyClick(started.window(), Qt::Key_F5);
        QCOMPARE(started.errors.size(), 1);
        QVERIFY(form.landscapeBuilt);
        QCOMPARE(form.landscape.depth, 30u);
        QVERIFY(form.landscape.textures[0] != 0);
    }
};

QTEST_MAIN(OwnGroundGLTest)
#include "OwnGroundGLTest.moc"
