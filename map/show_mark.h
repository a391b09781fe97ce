#pragma once

#include "gm_map.h"
#include "gm_marker.h"
#include "gm_polyline.h"
#include "mark_geometry.h"

// The map view of an editor window with its three overlay items: the marker for
// points, the line and the area.
struct TMapOverlays {
    TGMMap& Map;
    TMarker& Marker;
    TPolyline& Polyline;
    TPolygon& Polygon;
};

// Shows a mark on the map: hides the three items, then fills and shows the one of
// the mark's shape. A point centres the map and puts the marker at the centre the
// map reports; a line or area gets its whole path in one send, is shown, and the
// view is fitted to it. A mark without points only hides the items.
void ShowMarkOnMap(const TMapOverlays& overlays, const TMarkData& mark);
