#include "gpx_writer.h"

#include <cmath>

#include "number_format.h"
#include "record_text.h"

const char* const kGpxDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<gpx version=\"1.1\" creator=\"Vexa.Terrun Marks Editor\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\r\n"
    "%s</gpx>";

namespace {

bool IsFinite(const TMarkPoint& p)
{
    return std::isfinite(p.Lon) && std::isfinite(p.Lat);
}

// ' lat="..." lon="..."'
void AppendLatLon(std::string& out, const TMarkPoint& p)
{
    out.append(" lat=\"");
    AppendFixed6(out, p.Lat);
    out.append("\" lon=\"");
    AppendFixed6(out, p.Lon);
    out.push_back('"');
}

// An element with the table text, when there is any.
void AppendTextElement(std::string& out, const char* indent, const char* name, std::string_view cp1251)
{
    if (cp1251.empty())
        return;
    out.append(indent).append("<").append(name).append(">");
    AppendXmlText(out, Utf8Of(cp1251));
    out.append("</").append(name).append(">\r\n");
}

} // namespace

std::string GpxSymbol(std::string_view picname)
{
    const size_t dot = picname.rfind('.');
    return std::string(dot == std::string_view::npos || dot == 0 ? picname : picname.substr(0, dot));
}

void AddGpxWaypoint(TExportState& state, const TMarkView& mark)
{
    // A coordinate that is no number (a damaged blob) has no place in a GPX file:
    // such a mark is left out, as one without points is.
    if (mark.points.empty() || ShapeOfPoints(mark.points) != msPoint || !IsFinite(mark.points.front()))
        return;
    ++state.FExportCount;
    std::string& out = state.FExportText;
    out.append("<wpt");
    AppendLatLon(out, mark.points.front());
    out.append(">\r\n");
    AppendTextElement(out, "  ", "name", mark.name);
    AppendTextElement(out, "  ", "desc", mark.descr);
    AppendTextElement(out, "  ", "sym", GpxSymbol(mark.picname));
    out.append("</wpt>\r\n");
}

void AddGpxTrack(TExportState& state, const TMarkView& mark)
{
    if (mark.points.empty() || ShapeOfPoints(mark.points) == msPoint)
        return;
    std::string& out = state.FExportText;
    const size_t start = out.size();
    out.append("<trk>\r\n");
    AppendTextElement(out, "  ", "name", mark.name);
    AppendTextElement(out, "  ", "desc", mark.descr);
    out.append("  <trkseg>\r\n");
    for (size_t i = 0; i < mark.points.size(); ++i) {
        const TMarkPoint p = mark.points[i];
        if (!IsFinite(p)) {
            out.resize(start);
            return;
        }
        out.append("    <trkpt");
        AppendLatLon(out, p);
        out.append("/>\r\n");
    }
    out.append("  </trkseg>\r\n</trk>\r\n");
    ++state.FExportCount;
}

void WalkGpx(TClientDataSet& cats, TClientDataSet& marks, TExportState& state, TExportScope scope,
             const std::vector<TRowRef>& selectedRows)
{
    const TMarkReader mark(marks);
    WalkMarks(cats, marks, state, scope, [&] { AddGpxWaypoint(state, mark.Read()); }, selectedRows);
    // The second walk starts from an empty text: the waypoints it has not yet
    // handed on go to the file first, or wait in front of the tracks.
    std::string waypoints;
    if (state.FExportSink)
        state.FExportSink(state.FExportText);
    else
        waypoints = std::move(state.FExportText);
    const std::int32_t count = state.FExportCount;
    WalkMarks(cats, marks, state, scope, [&] { AddGpxTrack(state, mark.Read()); }, selectedRows);
    state.FExportCount += count;
    state.FExportText.insert(0, waypoints);
}
