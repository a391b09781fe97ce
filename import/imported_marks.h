#pragma once

#include <cstddef>
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
    // Features left out: without coordinates, or without a single point that can be
    // read and lies within -180 to 180 (longitude) and -90 to 90 (latitude).
    int Skipped = 0;
    // Of those, the features that had coordinates, none of them usable.
    int SkippedUnreadable = 0;
    // Points left out of the marks that were kept, for the same reasons.
    int PointsSkipped = 0;
    // Lines whose last point is their first: the marks table holds them as areas.
    int ClosedLines = 0;
    // Inner boundaries of polygons, which a mark has no place for.
    int HolesDropped = 0;
    // Descriptions longer than an import keeps.
    int DescriptionsCut = 0;
    // KML documents of a KMZ archive that neither come first nor are linked from one
    // that was read.
    int DocumentsNotRead = 0;

    // What the import has taken so far, against its limits.
    std::size_t Points = 0;
    std::uint64_t TextBytes = 0;
};
