#include "geojson_writer.h"

#include <cmath>

#include "number_format.h"
#include "record_text.h"

const char* const kGeoJsonDocument = "{\"type\":\"FeatureCollection\",\"features\":[\r\n%s\r\n]}\r\n";

namespace {

// A linear ring has at least four positions; an area with fewer is written as the
// closed line it is.
constexpr std::size_t kMinRingPoints = 4;

// Twice the area the closed ring encloses, positive when it runs anticlockwise.
long double RingArea(const TPointsView& points)
{
    long double sum = 0;
    TMarkPoint previous = points.back();
    for (size_t i = 0; i < points.size(); ++i) {
        const TMarkPoint p = points[i];
        sum += (previous.Lon - p.Lon) * (previous.Lat + p.Lat);
        previous = p;
    }
    return sum;
}

// "[lon,lat]" of each point, in order or backwards; false, with nothing kept, at a
// coordinate that is no number.
bool AppendPositions(std::string& out, const TPointsView& points, bool backwards)
{
    const size_t count = points.size();
    for (size_t i = 0; i < count; ++i) {
        const TMarkPoint p = points[backwards ? count - 1 - i : i];
        if (!std::isfinite(p.Lon) || !std::isfinite(p.Lat))
            return false;
        out.append(i == 0 ? "[" : ",[");
        AppendFixed6(out, p.Lon);
        out.push_back(',');
        AppendFixed6(out, p.Lat);
        out.push_back(']');
    }
    return true;
}

bool AppendGeometry(std::string& out, const TPointsView& points)
{
    const TMarkShape shape = ShapeOfPoints(points);
    if (shape == msPoint) {
        out.append("{\"type\":\"Point\",\"coordinates\":");
        const TMarkPoint p = points.front();
        if (!std::isfinite(p.Lon) || !std::isfinite(p.Lat))
            return false;
        out.push_back('[');
        AppendFixed6(out, p.Lon);
        out.push_back(',');
        AppendFixed6(out, p.Lat);
        out.append("]}");
        return true;
    }
    if (shape == msPolygon && points.size() >= kMinRingPoints) {
        // An outer ring runs anticlockwise; one drawn the other way round is written
        // backwards, from the same first point.
        out.append("{\"type\":\"Polygon\",\"coordinates\":[[");
        if (!AppendPositions(out, points, RingArea(points) < 0))
            return false;
        out.append("]]}");
        return true;
    }
    out.append("{\"type\":\"LineString\",\"coordinates\":[");
    if (!AppendPositions(out, points, false))
        return false;
    out.append("]}");
    return true;
}

void AppendTableString(std::string& out, std::string_view cp1251)
{
    AppendJsonString(out, Utf8Of(cp1251));
}

} // namespace

std::string GeoJsonColor(std::int32_t color)
{
    static const char kDigits[] = "0123456789abcdef";
    const auto value = static_cast<std::uint32_t>(color);
    std::string out = "#";
    for (int shift : {0, 8, 16}) {
        const unsigned byte = (value >> shift) & 0xFF;
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 15]);
    }
    return out;
}

void AppendJsonString(std::string& out, std::string_view utf8)
{
    static const char kDigits[] = "0123456789abcdef";
    out.push_back('"');
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (u < 0x20) {
                out.append("\\u00");
                out.push_back(kDigits[u >> 4]);
                out.push_back(kDigits[u & 15]);
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
}

void AddGeoJsonFeature(TExportState& state, const TMarkView& mark, std::int64_t id, std::string_view category)
{
    if (mark.points.empty())
        return;
    std::string& out = state.FExportText;
    const size_t start = out.size();
    if (state.FExportCount > 0)
        out.append(",\r\n");
    out.append("{\"type\":\"Feature\",\"geometry\":");
    if (!AppendGeometry(out, mark.points)) {
        out.resize(start);
        return;
    }
    out.append(",\"properties\":{\"id\":");
    out.append(std::to_string(id));
    out.append(",\"name\":");
    AppendTableString(out, mark.name);
    out.append(",\"descr\":");
    AppendTableString(out, mark.descr);
    out.append(",\"category\":");
    AppendTableString(out, category);
    out.append(",\"color1\":\"").append(GeoJsonColor(mark.color1));
    out.append("\",\"color2\":\"").append(GeoJsonColor(mark.color2));
    out.append("\",\"icon\":");
    AppendTableString(out, mark.picname);
    out.append("}}");
    ++state.FExportCount;
}

void WalkGeoJson(TClientDataSet& cats, TClientDataSet& marks, TExportState& state, TExportScope scope,
                 const std::vector<TRowRef>& selectedRows)
{
    const TMarkReader mark(marks);
    TField& id = marks.FieldNamed("id");
    TField& category = cats.FieldNamed("name");
    WalkMarks(cats, marks, state, scope,
              [&] { AddGeoJsonFeature(state, mark.Read(), id.AsInt(), category.AsBytes()); }, selectedRows);
}
