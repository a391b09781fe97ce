#include "mark_geometry.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

static_assert(LDBL_MANT_DIG == 64, "points are held in the x87 80-bit extended format");

namespace {

std::uint64_t Significand(const unsigned char* b)
{
    std::uint64_t m = 0;
    for (int i = 7; i >= 0; --i)
        m = (m << 8) | b[i];
    return m;
}

unsigned SignAndExponent(const unsigned char* b)
{
    return unsigned(b[8]) | (unsigned(b[9]) << 8);
}

} // namespace

std::string PointRecord(long double lon, long double lat)
{
    std::string record(24, '\0');
    std::memcpy(record.data(), &lon, 10);
    std::memcpy(record.data() + 10, &lat, 10);
    return record;
}

bool IsExtendedNaN(const unsigned char* bytes)
{
    return (SignAndExponent(bytes) & 0x7FFF) == 0x7FFF && (Significand(bytes) & 0x7FFFFFFFFFFFFFFFull) != 0;
}

long double DecodeExtended(const unsigned char* bytes)
{
    const std::uint64_t m = Significand(bytes);
    const unsigned se = SignAndExponent(bytes);
    const int exponent = static_cast<int>(se & 0x7FFF);
    const bool negative = (se & 0x8000) != 0;
    // Normal values and true denormals are the machine's own long double format.
    const bool integerBit = (m >> 63) != 0;
    if (exponent != 0x7FFF && integerBit == (exponent != 0)) {
        long double native = 0;
        std::memcpy(&native, bytes, 10);
        return native;
    }
    long double value;
    if (exponent == 0x7FFF)
        value = (m & 0x7FFFFFFFFFFFFFFFull) ? std::numeric_limits<long double>::quiet_NaN()
                                            : std::numeric_limits<long double>::infinity();
    else
        // value = significand * 2^(exponent - bias - 63); denormals use the exponent
        // of 1. The significand converts exactly: long double holds 64 bits.
        value = std::ldexp(static_cast<long double>(m), (exponent == 0 ? 1 : exponent) - 16383 - 63);
    return negative ? -value : value;
}

TArrayExtended DecodePoints(std::string_view blob)
{
    const size_t n = blob.size() / 24;
    TArrayExtended points;
    points.reserve(n);
    const auto* bytes = reinterpret_cast<const unsigned char*>(blob.data());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char* record = bytes + 24 * i;
        if (IsExtendedNaN(record) || IsExtendedNaN(record + 10))
            break;
        points.push_back({DecodeExtended(record), DecodeExtended(record + 10)});
    }
    return points;
}

TMarkShape ShapeOf(const TArrayExtended& points)
{
    if (points.size() <= 1)
        return msPoint;
    const TMarkPoint& first = points.front();
    const TMarkPoint& last = points.back();
    return first.Lon == last.Lon && first.Lat == last.Lat ? msPolygon : msLine;
}

bool TPointsView::EndsAt(std::size_t record) const
{
    return record >= FRecordCount || IsExtendedNaN(FRecords + 24 * record) || IsExtendedNaN(FRecords + 24 * record + 10);
}

std::size_t TPointsView::size() const
{
    if (FCount == kUncounted) {
        std::size_t count = 0;
        while (!EndsAt(count))
            ++count;
        FCount = count;
    }
    return FCount;
}

bool TPointsView::empty() const
{
    return FCount == kUncounted ? EndsAt(0) : FCount == 0;
}

TMarkPoint TPointsView::operator[](std::size_t i) const
{
    if (FDecoded)
        return FDecoded[i];
    const unsigned char* record = FRecords + 24 * i;
    return {DecodeExtended(record), DecodeExtended(record + 10)};
}

TMarkShape ShapeOfPoints(const TPointsView& points)
{
    if (points.size() <= 1)
        return msPoint;
    const TMarkPoint first = points.front();
    const TMarkPoint last = points.back();
    return first.Lon == last.Lon && first.Lat == last.Lat ? msPolygon : msLine;
}

TMarkView MarkViewOf(const TMarkData& mark)
{
    return {mark.name, mark.descr, mark.picname, mark.color1, mark.color2, mark.visible, TPointsView(mark.points)};
}

TMarkReader::TMarkReader(TClientDataSet& marks)
    : FName(marks.FieldNamed("name")), FColor1(marks.FieldNamed("color1")), FColor2(marks.FieldNamed("color2")),
      FPicname(marks.FieldNamed("picname")), FDescr(marks.FieldNamed("descr")), FVisible(marks.FieldNamed("visible")),
      FPoints(marks.FieldNamed("lonlatarr"))
{
}

TMarkView TMarkReader::Read() const
{
    return {FName.AsBytes(),
            FDescr.AsBytes(),
            FPicname.AsBytes(),
            static_cast<std::int32_t>(FColor1.AsInt()),
            static_cast<std::int32_t>(FColor2.AsInt()),
            FVisible.AsFlag(),
            TPointsView(FPoints.AsBytes())};
}

TMarkData ReadCurrentMark(TClientDataSet& marks)
{
    TMarkData mark;
    mark.name = marks.FieldNamed("name").AsText();
    mark.color1 = static_cast<std::int32_t>(marks.FieldNamed("color1").AsInt());
    mark.color2 = static_cast<std::int32_t>(marks.FieldNamed("color2").AsInt());
    mark.picname = marks.FieldNamed("picname").AsText();
    mark.descr = marks.FieldNamed("descr").AsText();
    mark.visible = marks.FieldNamed("visible").AsFlag();
    std::string blob;
    marks.FieldNamed("lonlatarr").WriteBlobTo(blob);
    mark.points = DecodePoints(blob);
    return mark;
}
