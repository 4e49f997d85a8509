#pragma once

#include <QString>

struct ElevationModel;
struct ViewerOptions;

// What --describe prints for a loaded ground, one "name: value" line each: the driver and
// raster size, the coordinate system, the cell size, the height range, the nodata cells filled,
// "lattice: W x D", metres per world unit, "centre: LAT, LON" (decimal degrees, north and east
// positive), the sun in use and its sunrise and sunset hours on the chosen day, then the notes.
QString describeGround(const ElevationModel& model, const ViewerOptions& options);

// Sunrise and sunset of the sun options chooses (ViewerOptions' date, latitude, tilt), as
// "sunrise: HH:MM, sunset: HH:MM" or the polar day or night, for latitude and longitude.
QString sunriseAndSunset(const ViewerOptions& options, double latitudeDegrees, double longitudeDegrees);

// The window's one line about the ground: its file name, place and the day shown, e.g.
// "olinda_dem_utm25s.tif  8.0125 S, 34.8650 W  2024-06-21".
QString groundLine(const ElevationModel& model, const QString& dayText);
