#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// An elevation model read through GDAL and resampled onto the viewer's triangular lattice,
// without a GL call.
//
// The ground is laid north-up: the raster's north goes to the world's +x (lattice columns) and
// its east to +z (lattice rows), through its geotransform, rotated or sheared ones included.
// One lattice row (kLatticeRowUnits world units) is `rowMetres` on the ground; heights are
// metres on the same scale times the exaggeration. Vertex (i, j) lies at
// x = i * rowUnits * sqrt(3)/2 (north), z = (j - 0.5 * (i mod 2)) * rowUnits (east), and takes
// the raster's height there by bilinear interpolation between cell centres.

// World units between lattice rows (the terrain build's spacing).
constexpr double kLatticeRowUnits = 2.0;
// The largest lattice side, in vertices.
constexpr std::uint32_t kMaxLatticeSide = 4096;
// Heights beyond this many metres above or below sea level are refused as no real ground.
constexpr double kMaxHeightMetres = 20000.0;
// Defaults for a raster that carries no georeference (a PNG from a terrain generator).
constexpr double kDefaultPlainCellMetres = 10.0;
constexpr double kDefaultPlainHeightRangeMetres = 1000.0;

// What the user asks of the file.
struct ElevationRequest {
    std::string path;
    std::optional<double> cellMetres; // lattice row size on the ground, metres (0.01..100000)
    double exaggeration = 1.0;        // heights times this (0.01..100)
    // For a raster without georeference: its cell size (cellMetres when given, else
    // kDefaultPlainCellMetres) and, for 8- and 16-bit unsigned values, the metres the type's
    // full range (0..255, 0..65535) spans.
    std::optional<double> heightRangeMetres;
};

// The model as the viewer lays it.
struct ElevationModel {
    std::string path;
    std::string driver; // GDAL's short driver name ("GTiff", "SRTMHGT", "AAIGrid" ...)
    std::uint32_t rasterWidth = 0;
    std::uint32_t rasterHeight = 0;
    std::uint32_t bandCount = 0;  // the first band is used
    std::string coordinateSystem; // the CRS's name, or "none"
    bool georeferenced = false;
    double rasterCellMetres = 0.0; // the raster's own cell size on the ground (mean of both axes)
    double readCellMetres = 0.0;   // the cell of the grid actually read (larger after a decimated read)
    double rowMetres = 0.0;        // one lattice row on the ground
    double metresPerUnit = 0.0;    // rowMetres / kLatticeRowUnits
    double exaggeration = 1.0;
    double minHeightMetres = 0.0;
    double maxHeightMetres = 0.0;
    std::uint64_t nodataFilled = 0;  // cells of the grid read that were nodata, NaN or infinite
    bool cappedToMaxLattice = false; // rowMetres was enlarged so the lattice fits kMaxLatticeSide
    std::uint32_t latticeWidth = 0;  // vertices along x (north)
    std::uint32_t latticeDepth = 0;  // vertices along z (east)
    // Lattice heights in world units, index j * latticeWidth + i.
    std::vector<float> heightsUnits;
    // The centre of the raster in WGS 84 (degrees, north and east positive), when its
    // coordinate system can be turned into it; otherwise why not.
    std::optional<double> centreLatitude;
    std::optional<double> centreLongitude;
    std::string placeProblem;
    // Notes a user should read once (more than one band, the place unknown, a capped lattice).
    std::vector<std::string> notes;

    // The file's name without its folder: how the window names the ground.
    std::string groundName() const;
};

// Opens path through GDAL, checks it and lays it. Throws ViewerError naming the file for a
// missing file, a folder, a file GDAL cannot read as a raster, fewer than 3 x 3 cells, every
// cell nodata, heights beyond +-kMaxHeightMetres, and a cell size that is not finite or lies
// outside 0.01 m .. 100 km. NaN and infinite heights count as nodata; nodata cells are filled
// from their nearest valid neighbours.
ElevationModel loadElevationModel(const ElevationRequest& request);

// The lattice dimensions (north x east vertices) for a ground extentNorth x extentEast metres
// with rows rowMetres apart: as many vertices as fit inside, at least 2 each way.
struct LatticeSize {
    std::uint32_t width = 2;
    std::uint32_t depth = 2;
};
LatticeSize latticeSizeFor(double extentNorthMetres, double extentEastMetres, double rowMetres);

// Fills the cells of grid (width x height, row-major) whose valid flag is false with the mean of
// their already valid or filled 8-neighbours, outward from the valid cells (breadth first), and
// returns how many it filled. Needs at least one valid cell.
std::uint64_t fillNodata(std::vector<float>& grid, std::vector<std::uint8_t>& valid, std::uint32_t width,
                         std::uint32_t height);
