#pragma once

#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "export_driver.h"
#include "mark_geometry.h"

// Polish MP: one POI, POLYLINE or POLYGON section per visible mark, with Garmin
// type codes from the icon type map.

extern const char* const kMpHeader;

// The icon type map of a window: entries "name=0xTYPE" in the order read, never
// emptied; a lookup returns the first entry of that name, letter case ignored.
class TIconTypes {
public:
    // Appends every section of the INI file ("Type" of each); a missing or
    // unreadable file adds nothing.
    void LoadIconTypes(const std::filesystem::path& iniPath);
    // "Type=" and the value found, or "Type=0x0b00" when there is none.
    std::string IconTypeLine(std::string_view key) const;
    const std::vector<std::string>& Entries() const { return FEntries; }

private:
    std::vector<std::string> FEntries;
    std::unordered_map<std::string, std::string> FFirst; // lower-case name to its first value
};

// Appends the section of a visible mark and counts it; an invisible mark, or one
// without points, is left out.
void AddMpObject(TExportState& state, const TMarkData& mark, const TIconTypes& types);
void AddMpObject(TExportState& state, const TMarkView& mark, const TIconTypes& types);
