#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a GPX, KML or KMZ file holds for the marks table, read whole before any row
// is inserted. Texts are UTF-8 as the file gave them; the conversion to the table's
// code page and widths happens when the rows are made.

struct TLonLat {
    double Lon = 0;
    double Lat = 0;
};

struct TImportedMark {
    std::string Name;
    std::string Descr;
    std::vector<TLonLat> Points; // in file order; an area's last point repeats its first
    std::string IconHref;        // the KML icon reference, empty when there is none
    std::optional<std::int32_t> LineColor;
    std::optional<std::int32_t> FillColor;
};

struct TImportResult {
    std::vector<TImportedMark> Marks;
    // Features left out: no coordinates, or a coordinate that is not finite or lies
    // outside -180 to 180 (longitude) or -90 to 90 (latitude).
    int Skipped = 0;
};
