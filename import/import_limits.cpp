#include "import_limits.h"

std::string GroupedCount(std::uint64_t n)
{
    std::string digits = std::to_string(n);
    for (size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return digits;
}

void AddImportedMark(const TImportStream& xml, TImportResult& result, const std::string& name, const std::string& descr,
                     bool descrCut, std::vector<TLonLat> points, TImportedShape shape)
{
    if (result.Marks.size() >= kMaxImportMarks)
        xml.Fail("the import would take more than " + GroupedCount(kMaxImportMarks) +
                 " marks, the most one import adds");
    const std::uint64_t text = name.size() + descr.size();
    if (result.TextBytes + text > kMaxImportTextBytes)
        xml.Fail("the names and descriptions would take more than " + GroupedCount(kMaxImportTextBytes >> 20) +
                 " MB, the most one import keeps");
    result.TextBytes += text;
    const bool closed = points.size() > 1 && points.back().Lon == points.front().Lon &&
                        points.back().Lat == points.front().Lat;
    if (shape == TImportedShape::Area && points.size() > 1 && !closed) {
        CountImportedPoints(xml, result, 1);
        points.push_back(points.front());
    }
    if (shape == TImportedShape::Line && closed)
        ++result.ClosedLines;
    if (descrCut)
        ++result.DescriptionsCut;
    TImportedMark& mark = result.Marks.emplace_back();
    mark.Name = name;
    mark.Descr = descr;
    mark.Points = std::move(points);
}

void CountImportedPoints(const TImportStream& xml, TImportResult& result, std::size_t points)
{
    result.Points += points;
    if (result.Points > kMaxImportPoints)
        xml.Fail("the import would take more than " + GroupedCount(kMaxImportPoints) +
                 " points, the most one import adds");
}
