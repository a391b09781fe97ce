#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "imported_marks.h"

// Reading coordinates from outside files.

// A decimal number with optional surrounding white space and an optional "+";
// nothing when the text is anything else.
std::optional<double> ParseNumber(std::string_view text);

// Whether the point is finite and within -180..180 (longitude) and -90..90
// (latitude), the range of WGS 84 degrees the map application works in.
bool IsValidLonLat(const TLonLat& point);

// A KML coordinate list: tuples "lon,lat[,alt]" separated by white space. White
// space next to a comma stays inside the tuple, as some writers put it there.
// Nothing when a tuple is not two or three numbers or a point is out of range;
// an empty list for a text without tuples.
std::optional<std::vector<TLonLat>> ParseKmlCoordinates(std::string_view text);
