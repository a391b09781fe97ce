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

// The points of a blob read where the blob is kept (or of decoded points): a point
// is decoded only when asked for, and the points are counted only when their count
// is asked for (a waypoint needs the first point alone). As DecodePoints, the
// points end before the first record with a NaN.
class TPointsView {
public:
    TPointsView() = default;
    explicit TPointsView(std::string_view blob)
        : FRecords(reinterpret_cast<const unsigned char*>(blob.data())), FRecordCount(blob.size() / 24), FCount(kUncounted)
    {
    }
    explicit TPointsView(const TArrayExtended& points)
        : FDecoded(points.data()), FRecordCount(points.size()), FCount(points.size())
    {
    }

    std::size_t size() const;
    bool empty() const;
    TMarkPoint operator[](std::size_t i) const;
    TMarkPoint front() const { return (*this)[0]; }
    TMarkPoint back() const { return (*this)[size() - 1]; }

private:
    static constexpr std::size_t kUncounted = static_cast<std::size_t>(-1);
    const unsigned char* FRecords = nullptr;
    const TMarkPoint* FDecoded = nullptr;
    std::size_t FRecordCount = 0;
    mutable std::size_t FCount = 0;

    bool EndsAt(std::size_t record) const;
};

TMarkShape ShapeOfPoints(const TPointsView& points);

// One mark read without copies: views of the marks table's current row (or of a
// TMarkData), valid while that row or data stays as it is.
struct TMarkView {
    std::string_view name;
    std::string_view descr;
    std::string_view picname;
    std::int32_t color1 = 0;
    std::int32_t color2 = 0;
    bool visible = false;
    TPointsView points;
};

TMarkView MarkViewOf(const TMarkData& mark);

// Reads the current mark of a marks table as a view; the fields are looked up once.
class TMarkReader {
public:
    explicit TMarkReader(TClientDataSet& marks);
    TMarkView Read() const;

private:
    TField& FName;
    TField& FColor1;
    TField& FColor2;
    TField& FPicname;
    TField& FDescr;
    TField& FVisible;
    TField& FPoints;
};
