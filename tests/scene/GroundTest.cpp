// A ground of the user's own, without GL: rasters written through GDAL, read by
// loadElevationModel and laid as the terrain build lays them. Planes of known slope show the
// ground's orientation (north +x, east +z), scale, normals, layers and real-sun lighting.

#include "ElevationModel.h"
#include "Landscape.h"
#include "TerrainBuild.h"
#include "TestRasters.h"
#include "ViewerError.h"
#include "World.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <limits>

namespace {

constexpr double kColumnFactor = 0.8660254037844386; // sqrt(3)/2

// A change to the default test raster, for a table's row.
using RasterChange = std::function<void(TestRaster&)>;

float heightAt(const ElevationModel& model, std::uint32_t i, std::uint32_t j)
{
    return model.heightsUnits[std::size_t(j) * model.latticeWidth + i];
}

// A plane rising eastRise metres per metre east and northRise per metre north, at 100 m where
// x and y are 0 (x, y in the raster's own metres).
std::function<double(double, double, int, int)> plane(double eastRise, double northRise)
{
    return [eastRise, northRise](double x, double y, int, int) {
        return 100.0 + eastRise * (x - 500000.0) + northRise * (y - 4500000.0);
    };
}

// The sun's share on a unit normal: the diffuse factor max(0, N . L) of light 0.
double lit(const float3& normal, const TWorld& world)
{
    const double dot = double(normal.x) * world.sunMatrix[4] + double(normal.y) * world.sunMatrix[5] +
                       double(normal.z) * world.sunMatrix[6];
    return std::max(0.0, dot);
}

} // namespace

Q_DECLARE_METATYPE(RasterChange)

class GroundTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(dir_.isValid()); }

    void planesAreLaidNorthUp_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QVector<double>>("geoTransform");
        QTest::addColumn<int>("epsg");
        QTest::addColumn<double>("eastRise");
        QTest::addColumn<double>("northRise");
        QTest::addColumn<double>("cellMetres"); // 0: the raster's own
        QTest::addColumn<double>("exaggeration");
        const QVector<double> northUp{500000.0, 90.0, 0.0, 4500000.0, 0.0, -90.0};
        // Columns running north and rows running east: a raster turned a quarter turn.
        const QVector<double> quarterTurn{500000.0, 0.0, 90.0, 4500000.0, 90.0, 0.0};
        // Turned 30 degrees: a column step goes 90 m along (cos 30, sin 30) east and north.
        const double c = 90.0 * std::cos(M_PI / 6.0);
        const double s = 90.0 * std::sin(M_PI / 6.0);
        const QVector<double> turned{500000.0, c, s, 4500000.0, s, -c};
        QTest::newRow("quarter turn, rising north") << "GTiff" << quarterTurn << 32633 << 0.0 << 0.1 << 0.0 << 1.0;
        QTest::newRow("turned 30, rising east") << "GTiff" << turned << 32633 << 0.15 << -0.05 << 0.0 << 1.0;
        QTest::newRow("ESRI grid, no CRS") << "AAIGrid" << northUp << 0 << 0.05 << 0.1 << 0.0 << 1.0;
        QTest::newRow("exaggerated 3 times") << "GTiff" << northUp << 32633 << 0.1 << 0.0 << 0.0 << 3.0;
        QTest::newRow("45 m rows") << "GTiff" << northUp << 32633 << 0.0 << 0.1 << 45.0 << 1.0;
    }
    void planesAreLaidNorthUp()
    {
        QFETCH(QString, driver);
        QFETCH(QVector<double>, geoTransform);
        QFETCH(int, epsg);
        QFETCH(double, eastRise);
        QFETCH(double, northRise);
        QFETCH(double, cellMetres);
        QFETCH(double, exaggeration);
        TestRaster raster;
        raster.geoTransform = std::vector<double>(geoTransform.begin(), geoTransform.end());
        raster.epsg = epsg;
        raster.elevation = plane(eastRise, northRise);
        ElevationRequest request{{}, {}, exaggeration, {}};
        if (cellMetres > 0.0)
            request.cellMetres = cellMetres;
        const ElevationModel model = load(QStringLiteral("plane.") + (driver == "GTiff" ? "tif" : "asc"), raster,
                                          driver.toLatin1().constData(), request);

        const double row = cellMetres > 0.0 ? cellMetres : 90.0;
        QVERIFY(std::fabs(model.rasterCellMetres - 90.0) < 1e-6);
        QVERIFY(std::fabs(model.rowMetres - row) < 1e-6);
        QVERIFY(std::fabs(model.metresPerUnit - row / 2.0) < 1e-6);
        // North-up, the ground is 19 cells of 90 m across each way between outer centres.
        if (geoTransform[2] == 0.0 && geoTransform[4] == 0.0) {
            QCOMPARE(model.latticeWidth, std::uint32_t(std::floor(19 * 90.0 / (row * kColumnFactor) + 1e-9)) + 1);
            QCOMPARE(model.latticeDepth, std::uint32_t(std::floor(19 * 90.0 / row + 1e-9)) + 1);
        }
        // Two columns on is sqrt(3) rows north, one row on is one row east; inside the raster
        // the bilinear resampling of a plane is the plane.
        const double metresPerUnit = model.metresPerUnit;
        const std::uint32_t i = model.latticeWidth / 2 - 1;
        const std::uint32_t j = model.latticeDepth / 2 - 1;
        const double northStep = (heightAt(model, i + 2, j) - heightAt(model, i, j)) * metresPerUnit / exaggeration;
        const double eastStep = (heightAt(model, i, j + 1) - heightAt(model, i, j)) * metresPerUnit / exaggeration;
        QVERIFY2(std::fabs(northStep - northRise * row * 2.0 * kColumnFactor) < 1e-3,
                 qPrintable(QStringLiteral("north step %1").arg(northStep)));
        QVERIFY2(std::fabs(eastStep - eastRise * row) < 1e-3, qPrintable(QStringLiteral("east step %1").arg(eastStep)));
    }

    void normalsAndLayersOfSlopes_data()
    {
        QTest::addColumn<double>("slope");
        QTest::addColumn<unsigned>("layer");
        // The normal leans atan(slope) from vertical: y = 1 / sqrt(1 + slope^2), and the layer
        // is 4 - (y - 0.75) * 16 truncated, clamped to 0..3.
        QTest::newRow("gentle, y 0.995") << 0.1 << 0u;
        QTest::newRow("y 0.928") << 0.4 << 1u;
        QTest::newRow("y 0.857") << 0.6 << 2u;
        QTest::newRow("steep, y 0.707") << 1.0 << 3u;
    }
    void normalsAndLayersOfSlopes()
    {
        QFETCH(double, slope);
        QFETCH(unsigned, layer);
        TLandscape land;
        const std::size_t k = layPlane(land, 0.0, slope); // rising north: the ground faces south, -x
        const double length = std::sqrt(1.0 + slope * slope);
        QVERIFY(std::fabs(land.normals[k].y - 1.0 / length) < 1e-4);
        QVERIFY(std::fabs(land.normals[k].x - -slope / length) < 1e-4);
        QVERIFY(std::fabs(land.normals[k].z) < 1e-4);
        QCOMPARE(land.layers[k], layer);
    }

    void realSunLightsTheRightSlopes_data()
    {
        QTest::addColumn<double>("eastRise");
        QTest::addColumn<double>("northRise");
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("earlyHour");
        QTest::addColumn<double>("lateHour");
        // East-facing ground is lit more in the morning; at noon the slope facing the equator.
        QTest::newRow("east-facing, 8 over 16") << -0.5 << 0.0 << 40.0 << 8.0 << 16.0;
        QTest::newRow("south-facing at 40, noon over north-facing") << 0.0 << 0.5 << 40.0 << 12.0 << -1.0;
        QTest::newRow("north-facing at -30, noon over south-facing") << 0.0 << -0.5 << -30.0 << 12.0 << -1.0;
    }
    void realSunLightsTheRightSlopes()
    {
        QFETCH(double, eastRise);
        QFETCH(double, northRise);
        QFETCH(double, latitude);
        QFETCH(double, earlyHour);
        QFETCH(double, lateHour);
        const auto centreNormal = [this](double e, double n) {
            TLandscape land;
            const std::size_t centre = layPlane(land, e, n); // before land.normals is read
            return land.normals[centre];
        };
        const float3 normal = centreNormal(eastRise, northRise);
        TWorld world;
        world.realSun = true;
        world.calendarYear = 2024;
        world.daysPerYear = 366;
        world.day = dayOfYear(CalendarDate{2024, 4, 15});
        world.latitude = float(latitude);
        world.longitude = 0.0f;
        world.utcOffsetHours = 0.0f;
        world.setHour(float(earlyHour));
        const double first = lit(normal, world);
        double second = 0.0;
        if (lateHour >= 0.0) {
            world.setHour(float(lateHour));
            second = lit(normal, world);
        } else {
            // The same hour on the opposite slope.
            second = lit(centreNormal(-eastRise, -northRise), world);
        }
        QVERIFY2(first > second + 0.05, qPrintable(QStringLiteral("%1 against %2").arg(first).arg(second)));
    }

    void nodataAndNanCellsAreFilled()
    {
        TestRaster raster;
        raster.nodata = -9999.0;
        raster.elevation = [](double x, double y, int column, int row) {
            if (column >= 8 && column < 11 && row >= 8 && row < 11)
                return -9999.0;
            if (column == 3 && row == 15)
                return std::numeric_limits<double>::quiet_NaN();
            return plane(0.0, 0.1)(x, y, column, row);
        };
        const ElevationModel model = load(QStringLiteral("holes.tif"), raster);
        QCOMPARE(model.nodataFilled, std::uint64_t(10));
        // The plane's cell centres lie 45 to 1755 m south of its origin: heights 95.5 m down to
        // -75.5 m. A filled cell takes the mean of its neighbours, within the same range.
        QVERIFY(std::fabs(model.minHeightMetres - -75.5) < 1e-3 && std::fabs(model.maxHeightMetres - 95.5) < 1e-3);
        for (const float h : model.heightsUnits) {
            const double metres = double(h) * model.metresPerUnit;
            QVERIFY(std::isfinite(metres) && metres > -75.6 && metres < 95.6);
        }
    }

    void geographicAndProjectedGiveTheSameCell()
    {
        // 0.001-degree cells near 45 N, 9 E in degrees and in UTM 32N metres, the latter sized
        // by projecting the cell's corners with GDAL's own transformation.
        OGRSpatialReferenceH wgs84 = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(wgs84, 4326);
        OSRSetAxisMappingStrategy(wgs84, OAMS_TRADITIONAL_GIS_ORDER);
        OGRSpatialReferenceH utm = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(utm, 32632);
        OSRSetAxisMappingStrategy(utm, OAMS_TRADITIONAL_GIS_ORDER);
        OGRCoordinateTransformationH project = OCTNewCoordinateTransformation(wgs84, utm);
        double x[3] = {9.0, 9.001, 9.0};
        double y[3] = {45.0, 45.0, 45.001};
        QVERIFY(OCTTransform(project, 3, x, y, nullptr));
        OCTDestroyCoordinateTransformation(project);
        OSRDestroySpatialReference(wgs84);
        OSRDestroySpatialReference(utm);
        const double eastCell = std::hypot(x[1] - x[0], y[1] - y[0]);
        const double northCell = std::hypot(x[2] - x[0], y[2] - y[0]);

        TestRaster geographic;
        geographic.epsg = 4326;
        geographic.geoTransform = std::vector<double>{8.99, 0.001, 0.0, 45.01, 0.0, -0.001};
        TestRaster projected;
        projected.epsg = 32632;
        projected.geoTransform = std::vector<double>{x[0], eastCell, 0.0, y[0], 0.0, -northCell};
        const ElevationModel fromDegrees = load(QStringLiteral("degrees.tif"), geographic);
        const ElevationModel fromMetres = load(QStringLiteral("metres.tif"), projected);
        // UTM's scale factor (0.9996 and the distance from the central meridian) differs from
        // the ground by under 0.1 % here.
        QVERIFY2(std::fabs(fromDegrees.rasterCellMetres / fromMetres.rasterCellMetres - 1.0) < 0.002,
                 qPrintable(QStringLiteral("%1 m against %2 m")
                                .arg(fromDegrees.rasterCellMetres)
                                .arg(fromMetres.rasterCellMetres)));
        QVERIFY(fromDegrees.centreLatitude && std::fabs(*fromDegrees.centreLatitude - 45.0) < 0.02);
        QVERIFY(fromMetres.centreLongitude && std::fabs(*fromMetres.centreLongitude - 9.0) < 0.02);
    }

    void largeRastersAreReadDecimated()
    {
        // 10000 cells of 1 m east: the lattice would need 10000 rows, so its rows grow to
        // 9999 / 4095 m, and GDAL reads every second cell's block averaged.
        TestRaster raster;
        raster.width = 10000;
        raster.height = 4;
        raster.geoTransform = std::vector<double>{500000.0, 1.0, 0.0, 4500000.0, 0.0, -1.0};
        raster.elevation = plane(0.01, 0.0);
        const ElevationModel model = load(QStringLiteral("long.tif"), raster);
        QVERIFY(model.cappedToMaxLattice);
        QCOMPARE(model.latticeDepth, kMaxLatticeSide);
        QVERIFY(std::fabs(model.rowMetres - 9999.0 / 4095.0) < 1e-3);
        QVERIFY(std::fabs(model.readCellMetres - 1.5) < 0.6); // 2 along the raster, 4/3 across
        QVERIFY(!model.notes.empty() && QString::fromStdString(model.notes.back()).contains("2.442 m"));
    }

    void plainPicturesTakeTheDefaults_data()
    {
        QTest::addColumn<double>("heightRange");
        QTest::addColumn<double>("cellMetres");
        QTest::newRow("defaults: 10 m cells, white 1000 m") << 0.0 << 0.0;
        QTest::newRow("250 m range, 5 m cells") << 250.0 << 5.0;
    }
    void plainPicturesTakeTheDefaults()
    {
        QFETCH(double, heightRange);
        QFETCH(double, cellMetres);
        TestRaster raster;
        raster.geoTransform.reset();
        raster.type = GDT_UInt16;
        raster.elevation = [](double, double, int column, int) { return column == 0 ? 0.0 : 65535.0; };
        ElevationRequest request;
        if (heightRange > 0.0)
            request.heightRangeMetres = heightRange;
        if (cellMetres > 0.0)
            request.cellMetres = cellMetres;
        const ElevationModel model = load(QStringLiteral("grey.png"), raster, "PNG", request);
        QVERIFY(!model.georeferenced && !model.centreLatitude);
        QCOMPARE(model.driver, std::string("PNG"));
        QCOMPARE(model.rasterCellMetres, cellMetres > 0.0 ? cellMetres : kDefaultPlainCellMetres);
        QCOMPARE(model.minHeightMetres, 0.0);
        QCOMPARE(model.maxHeightMetres, heightRange > 0.0 ? heightRange : kDefaultPlainHeightRangeMetres);
    }

    void placeUnknownIsSaid()
    {
        TestRaster raster;
        raster.wkt = QStringLiteral(
            "LOCAL_CS[\"site grid\",UNIT[\"metre\",1],AXIS[\"Easting\",EAST],"
            "AXIS[\"Northing\",NORTH]]");
        const ElevationModel model = load(QStringLiteral("local.tif"), raster);
        QVERIFY(!model.centreLatitude);
        QVERIFY(!model.placeProblem.empty());
        QVERIFY(QString::fromStdString(model.notes.back()).contains("default latitude"));
    }

    void badInputsAreRefused_data()
    {
        // A row without a raster change writes no raster: the file is missing, a folder or text.
        QTest::addColumn<QString>("name");
        QTest::addColumn<RasterChange>("change");
        QTest::addColumn<QString>("why");
        QTest::newRow("missing") << "absent.tif" << RasterChange() << "no such file";
        QTest::newRow("a folder") << "folder.tif" << RasterChange() << "folder";
        QTest::newRow("not a raster") << "notes.tif" << RasterChange() << "cannot read it as a raster";
        QTest::newRow("2 x 2 cells") << "tiny.tif" << RasterChange([](TestRaster& r) { r.width = r.height = 2; })
                                     << "at least 3 x 3";
        QTest::newRow("every cell nodata") << "empty.tif" << RasterChange([](TestRaster& r) {
            r.nodata = -1.0;
            r.elevation = [](double, double, int, int) { return -1.0; };
        }) << "every cell is nodata";
        QTest::newRow("30000 m high") << "high.tif" << RasterChange([](TestRaster& r) {
            r.elevation = [](double, double, int column, int) { return column == 5 ? 30000.0 : 10.0; };
        }) << "within +-20000 m";
        QTest::newRow("0.1 mm cells") << "specks.tif" << RasterChange([](TestRaster& r) {
            r.geoTransform = std::vector<double>{500000.0, 0.0001, 0.0, 4500000.0, 0.0, -0.0001};
        }) << "between 0.01 m and 100000 m";
    }
    void badInputsAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(RasterChange, change);
        QFETCH(QString, why);
        const QString path = dir_.filePath(name);
        if (name == "folder.tif") {
            QVERIFY(QDir(dir_.path()).mkdir(name));
        } else if (name == "notes.tif") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not an elevation model\n");
        } else if (change) {
            TestRaster raster;
            change(raster);
            writeTestRaster(path, "GTiff", raster);
        }
        try {
            loadElevationModel({path.toStdString(), {}, 1.0, {}});
            QFAIL("accepted");
        } catch (const ViewerError& error) {
            const QString message = QString::fromUtf8(error.what());
            QVERIFY2(message.contains(path) && message.contains(why), qPrintable(message));
        }
    }

private:
    // raster written as name into the test's folder and read back as the viewer reads it.
    ElevationModel load(const QString& name, const TestRaster& raster, const char* driver = "GTiff",
                        ElevationRequest request = {})
    {
        request.path = dir_.filePath(name).toStdString();
        writeTestRaster(dir_.filePath(name), driver, raster);
        return loadElevationModel(request);
    }

    // The plane laid on land as buildLandscape lays a ground, without textures; its centre's index.
    std::size_t layPlane(TLandscape& land, double eastRise, double northRise)
    {
        TestRaster raster;
        raster.elevation = plane(eastRise, northRise);
        const ElevationModel model = load(QStringLiteral("plane-%1-%2.tif").arg(eastRise).arg(northRise), raster);
        land.create(model.latticeWidth, model.latticeDepth, float(kLatticeRowUnits), 4);
        setModelHeights(land, model);
        land.computeNormals(0, land.width, 0, land.depth);
        setColoursAndLayers(land);
        return std::size_t(land.depth / 2) * land.width + land.width / 2;
    }

    QTemporaryDir dir_;
};

QTEST_APPLESS_MAIN(GroundTest)
#include "GroundTest.moc"
