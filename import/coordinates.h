#pragma once

#include <cstddef>
#include <cstdint>
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

// A KML coordinate list read as its text streams in: tuples "lon,lat[,alt]"
// separated by white space. White space next to a comma stays inside the tuple, as
// some writers put it there. A tuple that is not two or three numbers, or a point
// out of range, is left out and counted, and the others are kept.
class TKmlCoordinates {
public:
    // Points beyond keep are read and checked but not stored (a Point keeps one).
    explicit TKmlCoordinates(std::size_t keep = SIZE_MAX) : FKeep(keep) {}

    void Feed(std::string_view piece);
    // Ends the list; the last tuple has no white space after it.
    void Finish();

    std::vector<TLonLat> Points;
    int Skipped = 0;

private:
    std::size_t FKeep;
    char FField[40] = {};
    std::size_t FFieldLength = 0;
    bool FFieldTooLong = false;
    double FValues[3] = {};
    int FCount = 0;
    bool FBad = false;
    bool FInTuple = false;    // a tuple has begun
    bool FInField = false;    // inside a number
    bool FAfterComma = false; // a comma was the tuple's last mark
    bool FAfterSpace = false; // white space followed the last number

    void EndField();
    void EndTuple();
};

// The text of a gx:coord element: "lon lat [alt]" separated by white space; nothing
// when it is anything else or the point is out of range.
std::optional<TLonLat> ParseGxCoord(std::string_view text);
