#pragma once

#include <string>
#include <unordered_set>

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

// The icon names a walk of AddKmlPlacemark adds to the state's list, gathered by a
// walk of their own: each distinct name goes into the list once, spelt as the
// first mark that carries it spells it, so the list's collation sees it only once.
class TKmlIconGatherer {
public:
    void Add(const TMarkView& mark);
    const TIconNameList& Names() const { return FNames; }

private:
    struct THash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_set<std::string, THash, std::equal_to<>> FSeen;
    TIconNameList FNames;
};

// The colour as KML writes it: upper-case hexadecimal of the unsigned value, at
// least six digits.
std::string KmlColor(std::int32_t color);
