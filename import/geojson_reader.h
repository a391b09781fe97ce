#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "imported_marks.h"
#include "json_stream.h"

// GeoJSON (RFC 7946, and the 2008 form before it): the root is a FeatureCollection,
// a Feature or a geometry. Every Point, LineString and Polygon (its outer ring)
// becomes a mark, every part of a MultiPoint, MultiLineString and MultiPolygon one
// mark, and every geometry of a GeometryCollection; a feature's marks all take its
// name ("name"), description ("descr", "description" or "desc"), icon ("icon") and
// colours ("color1", "color2" as "#rrggbb"). Members may come in any order.
void ReadGeoJson(TJsonStream& json, TImportResult& result);

// A "#rrggbb" colour as the marks table keeps it (blue, green, red from the high
// byte down); nothing for anything else.
std::optional<std::int32_t> ParseGeoJsonColor(std::string_view text);
