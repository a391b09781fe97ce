#pragma once

#include <vector>

#include "export_driver.h"
#include "mark_geometry.h"

// GPX 1.1: a waypoint per point mark (name, description, and the icon's name
// without its extension as the symbol), a track of one segment per line or area
// (an area's last point repeats its first). UTF-8, well-formed whatever the texts
// hold. GPX keeps every waypoint before the first track, so the export walks the
// marks twice.

extern const char* const kGpxDocument;

// Appends the mark's waypoint and counts it when the mark is a point; anything
// else is left to AddGpxTrack.
void AddGpxWaypoint(TExportState& state, const TMarkView& mark);
// Appends the mark's track and counts it when the mark is a line or an area.
void AddGpxTrack(TExportState& state, const TMarkView& mark);

// The walk of a GPX export: the waypoints of the scope, then its tracks; the state
// holds the text (or the rest its sink has not taken) and the count of both.
void WalkGpx(TClientDataSet& cats, TClientDataSet& marks, TExportState& state, TExportScope scope,
             const std::vector<TRowRef>& selectedRows);

// The symbol a waypoint gets for an icon file name: the name without its extension.
std::string GpxSymbol(std::string_view picname);
