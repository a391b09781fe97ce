#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "imported_marks.h"
#include "xml_stream.h"

// KML 2.0 to 2.2: every Placemark's Point, LineString, LinearRing, Polygon (its
// outer boundary) and Google Earth track (gx:Track, read as a line from its
// gx:coord values) becomes a mark; a MultiGeometry or gx:MultiTrack gives one mark
// per geometry, all with the placemark's name. Folders and Documents are flattened.
// Icons and colours come from the placemark's own Style and from the shared Style
// (or the "normal" style of a StyleMap) its styleUrl names. The address of every
// NetworkLink goes to onLink when one is given. Called with the stream on the root
// element "kml".
void ReadKml(TXmlStream& xml, TImportResult& result,
             const std::function<void(std::string_view href)>& onLink = {});

// A KML colour as the marks table keeps it. Our own exports write the table's value
// in hexadecimal (six digits for every ordinary colour); other writers give
// "aabbggrr", whose alpha the table has no place for, so eight digits keep the low
// 24 bits, which are the table's own blue-green-red order.
std::optional<std::int32_t> ParseKmlColor(std::string_view text);
