#include "show_mark.h"

#include "code_page.h"

namespace {

void ShowLine(TBasePolyline& line, const TArrayExtended& points)
{
    std::vector<TGeoPoint> path;
    path.reserve(points.size());
    for (const TMarkPoint& p : points)
        path.push_back({double(p.Lat), double(p.Lon)});
    line.SetPath(path);
    line.SetVisible(true);
    line.ZoomToPoints();
}

} // namespace

void ShowMarkOnMap(const TMapOverlays& overlays, const TMarkData& mark)
{
    overlays.Marker.SetVisible(false);
    overlays.Polyline.SetVisible(false);
    overlays.Polygon.SetVisible(false);
    if (mark.points.empty())
        return;
    switch (ShapeOf(mark.points)) {
    case msPoint: {
        const TMarkPoint& p = mark.points.front();
        overlays.Map.SetCenter(double(p.Lat), double(p.Lon));
        overlays.Map.GetCenter(&overlays.Marker.Position);
        overlays.Marker.SetTitle(QString::fromStdU16String(Cp1251ToUtf16(mark.name)));
        overlays.Marker.SetVisible(true);
        break;
    }
    case msPolygon:
        ShowLine(overlays.Polygon, mark.points);
        break;
    case msLine:
        ShowLine(overlays.Polyline, mark.points);
        break;
    }
}
