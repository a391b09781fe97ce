#pragma once

#include <string>

#include "export_driver.h"
#include "mark_geometry.h"

// KML: one Placemark per mark, a point with its icon, a line or a closed area.

extern const char* const kKmlDocument;

// Appends the mark's placemark and counts it; adds its icon name to the list. In
// KMZ mode the icon reference is the file name alone, otherwise iconFolder (the
// executable's MarksIcons folder, UTF-8, ending in a separator) and the name. A
// mark without points is left out.
void AddKmlPlacemark(TExportState& state, const TMarkData& mark, const std::string& iconFolder);
void AddKmlPlacemark(TExportState& state, const TMarkView& mark, const std::string& iconFolder);

// The colour as KML writes it: upper-case hexadecimal of the unsigned value, at
// least six digits.
std::string KmlColor(std::int32_t color);
