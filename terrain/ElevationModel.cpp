#include "ElevationModel.h"

#include "HugePages.h"
#include "MathConstants.h"
#include "ViewerError.h"

#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <limits>
#include <memory>

namespace {

// sqrt(3)/2: the column distance in units of the row spacing.
constexpr double kColumnFactor = 0.8660254037844386;
// WGS 84 ellipsoid.
constexpr double kSemiMajorMetres = 6378137.0;
constexpr double kEccentricitySquared = 0.00669437999014;
constexpr double kMinCellMetres = 0.01;
constexpr double kMaxCellMetres = 100000.0;

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

[[noreturn]] void refuse(const std::string& path, const std::string& why)
{
    throw ViewerError("cannot use the elevation model " + quoted(path) + ": " + why);
}

struct DatasetCloser {
    void operator()(void* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

struct SpatialRefReleaser {
    void operator()(void* srs) const { OSRDestroySpatialReference(srs); }
};
struct TransformReleaser {
    void operator()(void* transform) const { OCTDestroyCoordinateTransformation(transform); }
};

// GDAL's own messages go to the error stream by default; here they are collected instead and
// the last one is quoted in the viewer's message.
struct QuietGdal {
    QuietGdal()
    {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~QuietGdal() { CPLPopErrorHandler(); }
    QuietGdal(const QuietGdal&) = delete;
    QuietGdal& operator=(const QuietGdal&) = delete;
};

std::string lastGdalMessage()
{
    const char* message = CPLGetLastErrorMsg();
    return message && *message ? std::string(" (") + message + ")" : std::string();
}

// Metres per degree of latitude and of longitude on the WGS 84 ellipsoid at a latitude: the
// meridian radius of curvature M = a (1 - e^2) / (1 - e^2 sin^2 phi)^(3/2) and the parallel's
// radius N cos phi, N = a / sqrt(1 - e^2 sin^2 phi), each times pi/180.
void metresPerDegree(double latitudeDegrees, double* northMetres, double* eastMetres)
{
    const double s = std::sin(latitudeDegrees * kDegreesToRadians);
    const double w = 1.0 - kEccentricitySquared * s * s;
    *northMetres = kDegreesToRadians * kSemiMajorMetres * (1.0 - kEccentricitySquared) / (w * std::sqrt(w));
    *eastMetres = kDegreesToRadians * kSemiMajorMetres * std::cos(latitudeDegrees * kDegreesToRadians) / std::sqrt(w);
}

// A 2 x 2 linear map from raster (column, row) steps to ground (east, north) metres.
struct GroundAxes {
    double eastPerColumn, northPerColumn, eastPerRow, northPerRow;
};

// What the georeference says: the ground axes of one raster cell, the place, the CRS's name.
struct Georeference {
    bool georeferenced = false;
    GroundAxes axes{1.0, 0.0, 0.0, -1.0};
    std::string name = "none";
    std::optional<double> latitude;
    std::optional<double> longitude;
    std::string placeProblem;
};

Georeference readGeoreference(GDALDatasetH dataset, const ElevationRequest& request)
{
    Georeference g;
    double gt[6] = {0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
    const bool hasTransform = GDALGetGeoTransform(dataset, gt) == CE_None &&
                              !(gt[0] == 0.0 && gt[1] == 1.0 && gt[2] == 0.0 && gt[3] == 0.0 && gt[4] == 0.0 &&
                                gt[5] == 1.0);
    const int w = GDALGetRasterXSize(dataset);
    const int h = GDALGetRasterYSize(dataset);
    if (!hasTransform) {
        // A picture without a place: square cells of the asked or default size, top row north.
        const double cell = request.cellMetres.value_or(kDefaultPlainCellMetres);
        g.axes = {cell, 0.0, 0.0, -cell};
        g.placeProblem = "the raster has no georeference";
        return g;
    }
    g.georeferenced = true;
    // The geotransform maps a cell corner (column c, row r) to X = gt0 + c gt1 + r gt2,
    // Y = gt3 + c gt4 + r gt5; the raster's centre is at (w/2, h/2).
    const double centreX = gt[0] + 0.5 * w * gt[1] + 0.5 * h * gt[2];
    const double centreY = gt[3] + 0.5 * w * gt[4] + 0.5 * h * gt[5];
    OGRSpatialReferenceH source = GDALGetSpatialRef(dataset);
    if (!source) {
        // Cells in metres is all that can be assumed (an ESRI grid without its .prj).
        g.axes = {gt[1], gt[4], gt[2], gt[5]};
        g.placeProblem = "the raster has no coordinate system";
        return g;
    }
    const char* name = OSRGetName(source);
    g.name = name && *name ? name : "unnamed";

    std::unique_ptr<void, SpatialRefReleaser> wgs84(OSRNewSpatialReference(nullptr));
    OSRSetWellKnownGeogCS(wgs84.get(), "WGS84");
    OSRSetAxisMappingStrategy(wgs84.get(), OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<void, SpatialRefReleaser> sourceCopy(OSRClone(source));
    OSRSetAxisMappingStrategy(sourceCopy.get(), OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<void, TransformReleaser> toWgs84(OCTNewCoordinateTransformation(sourceCopy.get(), wgs84.get()));
    double x = centreX;
    double y = centreY;
    if (toWgs84 && OCTTransform(toWgs84.get(), 1, &x, &y, nullptr) && std::isfinite(x) && std::isfinite(y) &&
        std::fabs(y) <= 90.0) {
        g.longitude = x;
        g.latitude = y;
    } else {
        g.placeProblem = "GDAL cannot turn its coordinate system '" + g.name + "' into latitude" + lastGdalMessage();
    }

    if (OSRIsGeographic(source)) {
        // Degrees: metres along the meridian and the parallel at the raster's centre.
        const double centreLatitude = g.latitude.value_or(centreY);
        double northMetres = 0.0;
        double eastMetres = 0.0;
        metresPerDegree(centreLatitude, &northMetres, &eastMetres);
        g.axes = {gt[1] * eastMetres, gt[4] * northMetres, gt[2] * eastMetres, gt[5] * northMetres};
    } else {
        const double unitMetres = OSRGetLinearUnits(source, nullptr);
        const double k = unitMetres > 0.0 ? unitMetres : 1.0;
        g.axes = {gt[1] * k, gt[4] * k, gt[2] * k, gt[5] * k};
    }
    return g;
}

double axisLength(double a, double b)
{
    return std::sqrt(a * a + b * b);
}

} // namespace

std::string ElevationModel::groundName() const
{
    return std::filesystem::path(path).filename().string();
}

LatticeSize latticeSizeFor(double extentNorthMetres, double extentEastMetres, double rowMetres)
{
    const auto count = [](double extent, double step) {
        // A ground that is a whole number of rows long keeps its last row despite rounding.
        const double n = std::floor(extent / step * (1.0 + 1e-9)) + 1.0;
        return std::uint32_t(std::max(2.0, std::min(n, 1e9)));
    };
    return {count(extentNorthMetres, rowMetres * kColumnFactor), count(extentEastMetres, rowMetres)};
}

std::uint64_t fillNodata(std::vector<float>& grid, std::vector<std::uint8_t>& valid, std::uint32_t width,
                         std::uint32_t height)
{
    // Breadth first from the valid cells: each hole cell is filled, in the order the front
    // reaches it, with the mean of the neighbours known at that moment, so a hole takes the
    // heights of its rim and blends them inward. Every cell is queued once.
    std::deque<std::size_t> front;
    const auto index = [width](std::uint32_t c, std::uint32_t r) { return std::size_t(r) * width + c; };
    if (std::find(valid.begin(), valid.end(), std::uint8_t(0)) == valid.end())
        return 0;
    // The front starts at the valid cells on the rim of a hole (those with a hole neighbour):
    // the rest of a large ground is never queued.
    std::vector<std::uint8_t> queued(valid);
    const auto besideHole = [&](std::uint32_t c, std::uint32_t r) {
        for (std::uint32_t nr = r > 0 ? r - 1 : 0; nr <= r + 1 && nr < height; ++nr)
            for (std::uint32_t nc = c > 0 ? c - 1 : 0; nc <= c + 1 && nc < width; ++nc)
                if (!valid[index(nc, nr)])
                    return true;
        return false;
    };
    for (std::uint32_t r = 0; r < height; ++r)
        for (std::uint32_t c = 0; c < width; ++c)
            if (valid[index(c, r)] && besideHole(c, r))
                front.push_back(index(c, r));
    std::uint64_t filled = 0;
    while (!front.empty()) {
        const std::size_t k = front.front();
        front.pop_front();
        const auto c = std::int64_t(k % width);
        const auto r = std::int64_t(k / width);
        double sum = 0.0;
        int count = 0;
        for (std::int64_t dr = -1; dr <= 1; ++dr) {
            for (std::int64_t dc = -1; dc <= 1; ++dc) {
                const std::int64_t nc = c + dc;
                const std::int64_t nr = r + dr;
                if ((dc == 0 && dr == 0) || nc < 0 || nr < 0 || nc >= width || nr >= height)
                    continue;
                const std::size_t n = index(std::uint32_t(nc), std::uint32_t(nr));
                if (valid[n]) {
                    sum += grid[n];
                    ++count;
                } else if (!queued[n]) {
                    queued[n] = 1;
                    front.push_back(n);
                }
            }
        }
        if (!valid[k]) {
            grid[k] = float(sum / count); // reached from a valid neighbour: count >= 1
            valid[k] = 1;
            ++filled;
        }
    }
    return filled;
}

ElevationModel loadElevationModel(const ElevationRequest& request)
{
    const std::string& path = request.path;
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        refuse(path, "no such file");
    if (std::filesystem::is_directory(path, error))
        refuse(path, "it is a folder, not a raster file");
    if (request.cellMetres && !(*request.cellMetres >= kMinCellMetres && *request.cellMetres <= kMaxCellMetres))
        refuse(path, "a cell of " + std::to_string(*request.cellMetres) + " m is outside 0.01 m .. 100000 m");

    GDALAllRegister();
    const QuietGdal quiet;
    Dataset dataset(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!dataset)
        refuse(path, "GDAL cannot read it as a raster" + lastGdalMessage());

    ElevationModel model;
    model.path = path;
    GDALDriverH driver = GDALGetDatasetDriver(dataset.get());
    model.driver = driver ? GDALGetDriverShortName(driver) : "unknown";
    const int w = GDALGetRasterXSize(dataset.get());
    const int h = GDALGetRasterYSize(dataset.get());
    const int bands = GDALGetRasterCount(dataset.get());
    if (bands < 1)
        refuse(path, "it has no raster band");
    if (w < 3 || h < 3)
        refuse(path, "it has " + std::to_string(w) + " x " + std::to_string(h) + " cells; at least 3 x 3 are needed");
    model.rasterWidth = std::uint32_t(w);
    model.rasterHeight = std::uint32_t(h);
    model.bandCount = std::uint32_t(bands);
    if (bands > 1)
        model.notes.push_back("the raster has " + std::to_string(bands) + " bands: the first is used");

    const Georeference geo = readGeoreference(dataset.get(), request);
    model.georeferenced = geo.georeferenced;
    model.coordinateSystem = geo.name;
    model.centreLatitude = geo.latitude;
    model.centreLongitude = geo.longitude;
    model.placeProblem = geo.placeProblem;
    const GroundAxes& axes = geo.axes;
    const double columnMetres = axisLength(axes.eastPerColumn, axes.northPerColumn);
    const double rowMetresRaster = axisLength(axes.eastPerRow, axes.northPerRow);
    const double determinant = axes.eastPerColumn * axes.northPerRow - axes.eastPerRow * axes.northPerColumn;
    model.rasterCellMetres = 0.5 * (columnMetres + rowMetresRaster);
    if (!(model.rasterCellMetres >= kMinCellMetres && model.rasterCellMetres <= kMaxCellMetres) ||
        !(std::fabs(determinant) > 1e-12 * model.rasterCellMetres * model.rasterCellMetres))
        refuse(path, "its cells measure " + std::to_string(columnMetres) + " x " + std::to_string(rowMetresRaster) +
                         " m; a cell must lie between 0.01 m and 100000 m");

    // The ground's bounding box, north and east, over the cell centres (where the heights are
    // known), relative to the raster's corner (0, 0).
    double northMin = std::numeric_limits<double>::max();
    double northMax = -northMin;
    double eastMin = northMin;
    double eastMax = -northMin;
    for (const double c : {0.5, w - 0.5}) {
        for (const double r : {0.5, h - 0.5}) {
            const double east = c * axes.eastPerColumn + r * axes.eastPerRow;
            const double north = c * axes.northPerColumn + r * axes.northPerRow;
            northMin = std::min(northMin, north);
            northMax = std::max(northMax, north);
            eastMin = std::min(eastMin, east);
            eastMax = std::max(eastMax, east);
        }
    }
    const double extentNorth = northMax - northMin;
    const double extentEast = eastMax - eastMin;

    // The lattice row: asked for, or one raster cell; enlarged until the lattice fits.
    double rowMetres = geo.georeferenced ? request.cellMetres.value_or(model.rasterCellMetres) : model.rasterCellMetres;
    const double fitting = std::max(extentNorth / ((kMaxLatticeSide - 1) * kColumnFactor),
                                    extentEast / double(kMaxLatticeSide - 1));
    if (rowMetres < fitting) {
        rowMetres = fitting;
        model.cappedToMaxLattice = true;
        char text[160];
        std::snprintf(text, sizeof text, "the lattice is limited to %u x %u vertices: cells of %.3f m are used",
                      kMaxLatticeSide, kMaxLatticeSide, rowMetres);
        model.notes.emplace_back(text);
    }
    model.rowMetres = rowMetres;
    model.metresPerUnit = rowMetres / kLatticeRowUnits;
    model.exaggeration = request.exaggeration;
    const LatticeSize size = latticeSizeFor(extentNorth, extentEast, rowMetres);
    model.latticeWidth = std::min(size.width, kMaxLatticeSide);
    model.latticeDepth = std::min(size.depth, kMaxLatticeSide);

    // A lattice much coarser than the raster needs no more cells than it has vertices: GDAL
    // averages whole blocks of cells as it reads (from overviews where the file has them), so
    // a raster of any size is never read whole.
    const int factor = int(std::max(1.0, std::floor(rowMetres / model.rasterCellMetres)));
    const int readWidth = std::max(3, (w + factor - 1) / factor);
    const int readHeight = std::max(3, (h + factor - 1) / factor);
    const double columnScale = double(w) / readWidth;
    const double rowScale = double(h) / readHeight;
    model.readCellMetres = model.rasterCellMetres * 0.5 * (columnScale + rowScale);

    GDALRasterBandH band = GDALGetRasterBand(dataset.get(), 1);
    std::vector<float> grid;
    try {
        grid.reserve(std::size_t(readWidth) * std::size_t(readHeight));
        adviseHugePages(grid.data(), grid.capacity() * sizeof(float));
        grid.resize(std::size_t(readWidth) * std::size_t(readHeight));
    } catch (const std::bad_alloc&) {
        refuse(path, "there is not enough memory to read it");
    }
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = factor > 1 ? GRIORA_Average : GRIORA_NearestNeighbour;
    if (GDALRasterIOEx(band, GF_Read, 0, 0, w, h, grid.data(), readWidth, readHeight, GDT_Float32, 0, 0, &extra) !=
        CE_None)
        refuse(path, "GDAL cannot read its heights" + lastGdalMessage());

    // Which cells hold a height: not the band's nodata value, not NaN or infinite.
    int hasNodata = 0;
    const double nodata = GDALGetRasterNoDataValue(band, &hasNodata);
    const float nodataValue = float(nodata);
    // A plain picture's 8- or 16-bit grey spans the height range; any other raster holds metres.
    const GDALDataType type = GDALGetRasterDataType(band);
    double scale = 1.0;
    if (!geo.georeferenced && (type == GDT_Byte || type == GDT_UInt16))
        scale = request.heightRangeMetres.value_or(kDefaultPlainHeightRangeMetres) /
                (type == GDT_Byte ? 255.0 : 65535.0);
    std::vector<std::uint8_t> valid(grid.size());
    std::size_t validCount = 0;
    double low = std::numeric_limits<double>::max();
    double high = -low;
    for (std::size_t k = 0; k < grid.size(); ++k) {
        const float v = grid[k];
        const bool ok = std::isfinite(v) && !(hasNodata && v == nodataValue);
        valid[k] = ok ? 1 : 0;
        if (!ok)
            continue;
        grid[k] = float(double(v) * scale);
        ++validCount;
        low = std::min(low, double(grid[k]));
        high = std::max(high, double(grid[k]));
    }
    if (validCount == 0)
        refuse(path, "every cell is nodata");
    if (low < -kMaxHeightMetres || high > kMaxHeightMetres) {
        char text[200];
        std::snprintf(text, sizeof text, "its heights run from %.1f m to %.1f m; real ground lies within +-%.0f m", low,
                      high, kMaxHeightMetres);
        refuse(path, text);
    }
    model.minHeightMetres = low;
    model.maxHeightMetres = high;
    model.nodataFilled = fillNodata(grid, valid, std::uint32_t(readWidth), std::uint32_t(readHeight));
    std::vector<std::uint8_t>().swap(valid);

    // Each lattice vertex: its ground point (north, east), into the read grid's (column, row)
    // by the inverse of the cell axes, then bilinear between the four surrounding cell centres
    // (clamped to the grid: a rotated raster's box corners take the nearest edge).
    const double ec = axes.eastPerColumn * columnScale;
    const double nc = axes.northPerColumn * columnScale;
    const double er = axes.eastPerRow * rowScale;
    const double nr = axes.northPerRow * rowScale;
    const double det = ec * nr - er * nc;
    const double toUnits = model.exaggeration / model.metresPerUnit;
    const std::uint32_t lw = model.latticeWidth;
    const std::uint32_t ld = model.latticeDepth;
    model.heightsUnits.reserve(std::size_t(lw) * ld);
    adviseHugePages(model.heightsUnits.data(), model.heightsUnits.capacity() * sizeof(float));
    model.heightsUnits.resize(std::size_t(lw) * ld);
    for (std::uint32_t j = 0; j < ld; ++j) {
        for (std::uint32_t i = 0; i < lw; ++i) {
            const double north = northMin + i * rowMetres * kColumnFactor;
            const double east = eastMin + (double(j) - 0.5 * (i % 2)) * rowMetres;
            const double column = (east * nr - north * er) / det - 0.5;
            const double row = (north * ec - east * nc) / det - 0.5;
            const double cx = std::clamp(column, 0.0, double(readWidth - 1));
            const double ry = std::clamp(row, 0.0, double(readHeight - 1));
            const int c0 = std::min(int(cx), readWidth - 2);
            const int r0 = std::min(int(ry), readHeight - 2);
            const double fx = cx - c0;
            const double fy = ry - r0;
            const float* top = &grid[std::size_t(r0) * readWidth + c0];
            const float* bottom = top + readWidth;
            const double value = (1.0 - fy) * ((1.0 - fx) * top[0] + fx * top[1]) +
                                 fy * ((1.0 - fx) * bottom[0] + fx * bottom[1]);
            model.heightsUnits[std::size_t(j) * lw + i] = float(value * toUnits);
        }
    }
    if (!geo.placeProblem.empty())
        model.notes.push_back("the place is unknown (" + geo.placeProblem + "): the default latitude is used");
    return model;
}
