#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "export_driver.h"
#include "mark_geometry.h"

// GeoJSON (RFC 7946): a FeatureCollection of one Feature per mark, a Point, a
// LineString or a Polygon, longitude first, with the properties id, name, descr,
// category, color1 and color2 ("#rrggbb") and icon. UTF-8, every text a JSON
// string whatever it holds.

extern const char* const kGeoJsonDocument;

// Appends the mark's feature and counts it; id is the mark's, category the name of
// its category (table text). A mark without points, or with a coordinate that is
// no number, is left out.
void AddGeoJsonFeature(TExportState& state, const TMarkView& mark, std::int64_t id, std::string_view category);

// The walk of a GeoJSON export: each mark with its id and its category's name.
void WalkGeoJson(TClientDataSet& cats, TClientDataSet& marks, TExportState& state, TExportScope scope,
                 const std::vector<TRowRef>& selectedRows);

// A colour of the table (blue, green, red from the high byte down) as "#rrggbb".
std::string GeoJsonColor(std::int32_t color);

// UTF-8 text as a JSON string, quotes included.
void AppendJsonString(std::string& out, std::string_view utf8);
