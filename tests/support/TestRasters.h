#pragma once

// Small rasters written in a test through GDAL's own drivers: the heights of each cell from a
// function of its centre's ground coordinates (east, north in the raster's CRS).

#include <gdal.h>
#include <ogr_srs_api.h>

#include <QString>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

struct TestRaster {
    int width = 20;
    int height = 20;
    // GDAL's geotransform; empty: no georeference.
    std::optional<std::vector<double>> geoTransform = std::vector<double>{500000.0, 90.0, 0.0, 4500000.0, 0.0, -90.0};
    int epsg = 32633; // 0: no coordinate system
    QString wkt;      // used instead of epsg when not empty
    GDALDataType type = GDT_Float32;
    std::optional<double> nodata;
    int bands = 1;
    // Height of the cell whose centre lies at (x, y) in the raster's coordinates (for a raster
    // without georeference: column and row + 0.5).
    std::function<double(double x, double y, int column, int row)> elevation = [](double, double, int, int) {
        return 0.0;
    };
};

// Writes raster to path with the named driver ("GTiff", "AAIGrid", "PNG" ...); drivers that
// only copy are written from an in-memory raster. Throws std::runtime_error when GDAL fails.
inline void writeTestRaster(const QString& path, const char* driverName, const TestRaster& raster)
{
    GDALAllRegister();
    GDALDriverH memory = GDALGetDriverByName("MEM");
    GDALDatasetH dataset = GDALCreate(memory, "", raster.width, raster.height, raster.bands, raster.type, nullptr);
    if (!dataset)
        throw std::runtime_error("MEM raster not created");
    std::vector<double> gt = raster.geoTransform.value_or(std::vector<double>{0, 1, 0, 0, 0, 1});
    if (raster.geoTransform)
        GDALSetGeoTransform(dataset, gt.data());
    if (!raster.wkt.isEmpty()) {
        GDALSetProjection(dataset, raster.wkt.toUtf8().constData());
    } else if (raster.epsg != 0 && raster.geoTransform) {
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(srs, raster.epsg);
        GDALSetSpatialRef(dataset, srs);
        OSRDestroySpatialReference(srs);
    }
    std::vector<double> values(std::size_t(raster.width) * raster.height);
    for (int r = 0; r < raster.height; ++r)
        for (int c = 0; c < raster.width; ++c) {
            const double x = gt[0] + (c + 0.5) * gt[1] + (r + 0.5) * gt[2];
            const double y = gt[3] + (c + 0.5) * gt[4] + (r + 0.5) * gt[5];
            values[std::size_t(r) * raster.width + c] = raster.elevation(x, y, c, r);
        }
    for (int b = 1; b <= raster.bands; ++b) {
        GDALRasterBandH band = GDALGetRasterBand(dataset, b);
        if (raster.nodata)
            GDALSetRasterNoDataValue(band, *raster.nodata);
        if (GDALRasterIO(band, GF_Write, 0, 0, raster.width, raster.height, values.data(), raster.width, raster.height,
                         GDT_Float64, 0, 0) != CE_None)
            throw std::runtime_error("MEM raster not written");
    }
    GDALDatasetH copy = GDALCreateCopy(GDALGetDriverByName(driverName), path.toUtf8().constData(), dataset, FALSE,
                                       nullptr, nullptr, nullptr);
    GDALClose(dataset);
    if (!copy)
        throw std::runtime_error(std::string("GDAL could not write ") + driverName);
    GDALClose(copy);
}
