#pragma once

#include "export_driver.h"
#include "mark_geometry.h"

// OziExplorer waypoints: one line per mark at its first point.

extern const char* const kWptHeader;

// Appends the mark's waypoint and counts it. A mark without points is left out.
void AddWptWaypoint(TExportState& state, const TMarkData& mark);
void AddWptWaypoint(TExportState& state, const TMarkView& mark);

// The text with every "," replaced by a space.
std::string NoCommas(std::string_view text);
