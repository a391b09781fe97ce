#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client_dataset.h"

// The geometry of a mark: its lonlatarr blob of 24-byte records, each two x87
// 80-bit extended values (longitude, latitude) and four ignored bytes.

struct TMarkPoint {
    long double Lon = 0;
    long double Lat = 0;
};

using TArrayExtended = std::vector<TMarkPoint>;

enum TMarkShape { msPoint, msLine, msPolygon };

// The read-out of one mark, a copy of the current row of the marks table.
struct TMarkData {
    std::string name;
    std::string descr;
    std::string picname;
    std::int32_t color1 = 0;
    std::int32_t color2 = 0;
    bool visible = false;
    TArrayExtended points;
};

// One 24-byte record of a point (its last four bytes zero), as the map application
// stores it.
std::string PointRecord(long double lon, long double lat);

// Decodes one 80-bit extended value (10 bytes, little-endian) exactly.
long double DecodeExtended(const unsigned char* bytes);
// Whether the 10 bytes hold a NaN: exponent all ones, fraction bits below the
// integer bit not all zero (the integer bit and the sign are not looked at).
bool IsExtendedNaN(const unsigned char* bytes);

// The points of a blob, ending before the first record with a NaN in either
// coordinate; a remainder shorter than a record is ignored.
TArrayExtended DecodePoints(std::string_view blob);

// At most one point is a point; a last point equal to the first is an area;
// anything else is a line.
TMarkShape ShapeOf(const TArrayExtended& points);

// Reads the current row of the marks table; every null reads as empty, 0 or false.
TMarkData ReadCurrentMark(TClientDataSet& marks);
