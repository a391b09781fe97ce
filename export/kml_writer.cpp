#include "kml_writer.h"

#include <cstdio>

#include "number_format.h"
#include "record_text.h"

const char* const kKmlDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<kml xmlns=\"http://earth.google.com/kml/2.0\">\r\n"
    "<Document>\r\n"
    "%s</Document>\r\n"
    "</kml>";

namespace {

// The opening lines every placemark shares, around the name and the description.
constexpr const char* kPlacemarkStart = "\t\t<Placemark>\r\n\t\t\t<name>";
constexpr const char* kNameToDescription = "</name>\r\n     <description>\r\n       <![CDATA[";
constexpr const char* kDescriptionEnd = "]]>\r\n     </description>\r\n\t    <Style>\r\n";

constexpr const char* kPointIconStart = "    \t\t<IconStyle>\r\n    \t  \t<Icon>\r\n\t\t        <href>";
constexpr const char* kPointIconEnd =
    "</href>\r\n\t      \t</Icon>\r\n\t     \t</IconStyle>\r\n\t    </Style>\r\n     <Point>\r\n      <coordinates>";
constexpr const char* kPointEnd = ",0 </coordinates>\r\n     </Point>\r\n  </Placemark>\r\n";

constexpr const char* kLineStyleStart = "    \t\t<LineStyle>\r\n\t\t      <color>";
constexpr const char* kLineStyleWidth = "</color>\r\n\t\t\t    <width>3</width>\r\n";
constexpr const char* kLineStyleEnd =
    "\t       \t</LineStyle>\r\n\t    </Style>\r\n\t\t  <LineString>\r\n\t\t\t  <tessellate>1</tessellate>\r\n"
    "\t\t\t  <coordinates>";
constexpr const char* kLineEnd = "\t\t\t  </coordinates>\r\n\t\t\t</LineString>\r\n\t\t</Placemark>\r\n";

constexpr const char* kAreaLineStyleEnd = "\t     \t</LineStyle>\r\n    \t\t<PolyStyle>\r\n      \t\t<color>";
constexpr const char* kAreaPolyStyleEnd =
    "</color>\r\n    \t\t</PolyStyle>\r\n\t    </Style>\r\n     <Polygon><outerBoundaryIs>\r\n\t\t    <LinearRing>\r\n"
    "\t\t\t    <tessellate>1</tessellate>\r\n\t\t\t      <coordinates>";
constexpr const char* kAreaEnd =
    "\t\t\t  </coordinates>\r\n\t\t\t</LinearRing>\r\n    </outerBoundaryIs></Polygon>\r\n\t\t</Placemark>\r\n";

// CDATA text: "]]>" would end the section early, so it is split across two sections.
void AppendCdataText(std::string& out, std::string_view utf8)
{
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8.compare(i, 3, "]]>") == 0) {
            out.append("]]]]><![CDATA[>");
            i += 2;
        } else if (!IsForbiddenInXml(utf8[i])) {
            out.push_back(utf8[i]);
        }
    }
}

void AppendCoordinates(std::string& out, const TPointsView& points)
{
    for (size_t i = 0; i < points.size(); ++i) {
        const TMarkPoint p = points[i];
        AppendFixed6(out, p.Lon);
        out.push_back(',');
        AppendFixed6(out, p.Lat);
        out.append(",0 ");
    }
}

} // namespace

std::string KmlColor(std::int32_t color)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06X", static_cast<unsigned>(static_cast<std::uint32_t>(color)));
    return buf;
}

void TKmlIconGatherer::Add(const TMarkView& mark)
{
    if (mark.points.empty() || FSeen.contains(mark.picname))
        return;
    FSeen.emplace(mark.picname);
    FNames.emplace(mark.picname);
}

void AddKmlPlacemark(TExportState& state, const TMarkData& mark, const std::string& iconFolder)
{
    AddKmlPlacemark(state, MarkViewOf(mark), iconFolder);
}

void AddKmlPlacemark(TExportState& state, const TMarkView& mark, const std::string& iconFolder)
{
    if (mark.points.empty())
        return;
    ++state.FExportCount;
    state.FExportIcons.emplace(mark.picname);
    std::string& out = state.FExportText;
    out.append(kPlacemarkStart);
    AppendXmlText(out, Utf8Of(mark.name));
    out.append(kNameToDescription);
    AppendCdataText(out, Utf8Of(mark.descr));
    out.append(kDescriptionEnd);
    switch (ShapeOfPoints(mark.points)) {
    case msPoint:
        out.append(kPointIconStart);
        // The reference is a path in a UTF-8 document, so the icon name is converted too.
        if (!state.FKmzMode)
            AppendXmlText(out, iconFolder);
        AppendXmlText(out, Utf8Of(mark.picname));
        out.append(kPointIconEnd);
        AppendFixed6(out, mark.points.front().Lon);
        out.push_back(',');
        AppendFixed6(out, mark.points.front().Lat);
        out.append(kPointEnd);
        break;
    case msLine:
        out.append(kLineStyleStart);
        out.append(KmlColor(mark.color1));
        out.append(kLineStyleWidth);
        out.append(kLineStyleEnd);
        AppendCoordinates(out, mark.points);
        out.append(kLineEnd);
        break;
    case msPolygon:
        out.append(kLineStyleStart);
        out.append(KmlColor(mark.color1));
        out.append(kLineStyleWidth);
        out.append(kAreaLineStyleEnd);
        out.append(KmlColor(mark.color2));
        out.append(kAreaPolyStyleEnd);
        AppendCoordinates(out, mark.points);
        out.append(kAreaEnd);
        break;
    }
}
