#include "gpx_reader.h"

#include <vector>

#include "coordinates.h"
#include "import_limits.h"

namespace {

// GPX elements, also in files without a namespace; an element whose prefix no
// namespace declares is none of them.
bool IsGpxElement(std::string_view uri, std::string_view prefix)
{
    return uri.empty() ? prefix.empty() : uri.starts_with("http://www.topografix.com/GPX/");
}

// The points of one mark, and the points left out of it.
struct TPart {
    std::vector<TLonLat> Points;
    int BadPoints = 0;
};

// A waypoint, route or track being read, with the marks it gives.
struct TFeature {
    bool Waypoint = false;
    std::string Name;
    std::string Descr;
    std::string Comment; // the description when there is no "desc"
    std::string Symbol;  // a waypoint's symbol, the name of its icon
    bool DescrCut = false;
    bool CommentCut = false;
    std::vector<TPart> Parts; // one for a waypoint or route, one per segment of a track
};

class TGpxReader {
public:
    TGpxReader(TXmlStream& xml, TImportResult& result) : FXml(xml), FResult(result) {}

    void Run()
    {
        std::vector<std::string> open; // names of the open GPX elements below the root
        while (FXml.Read()) {
            if (FXml.IsEndElement()) {
                if (open.empty())
                    break; // the root's end
                const std::string name = std::move(open.back());
                open.pop_back();
                End(name, open.empty() ? "gpx" : open.back());
                continue;
            }
            if (!FXml.IsStartElement())
                continue;
            std::string name =
                IsGpxElement(FXml.NamespaceUri(), FXml.Prefix()) ? std::string(FXml.LocalName()) : std::string();
            const std::string parent = open.empty() ? "gpx" : open.back();
            if (Text(name, parent))
                continue;
            Start(name, parent);
            open.push_back(std::move(name));
        }
    }

private:
    TXmlStream& FXml;
    TImportResult& FResult;
    TFeature FFeature;
    bool FInFeature = false;

    static bool IsFeature(const std::string& name) { return name == "wpt" || name == "rte" || name == "trk"; }

    // Name, description and comment of a feature; true when the element was read.
    bool Text(const std::string& name, const std::string& parent)
    {
        if (!FInFeature || !IsFeature(parent))
            return false;
        if (name == "name")
            FFeature.Name = FXml.ElementText(kMaxNameBytes);
        else if (name == "desc")
            FFeature.Descr = FXml.ElementText(kMaxDescriptionBytes, &FFeature.DescrCut);
        else if (name == "cmt")
            FFeature.Comment = FXml.ElementText(kMaxDescriptionBytes, &FFeature.CommentCut);
        else if (name == "sym" && FFeature.Waypoint)
            FFeature.Symbol = FXml.ElementText(kMaxShortTextBytes);
        else
            return false;
        return true;
    }

    void Start(const std::string& name, const std::string& parent)
    {
        if (IsFeature(name) && parent == "gpx") {
            FFeature = {};
            FFeature.Waypoint = name == "wpt";
            FInFeature = true;
            if (name != "trk")
                FFeature.Parts.emplace_back();
            if (name == "wpt")
                AddPoint();
        } else if (!FInFeature) {
            return;
        } else if (name == "trkseg" && parent == "trk") {
            FFeature.Parts.emplace_back();
        } else if ((name == "rtept" && parent == "rte") || (name == "trkpt" && parent == "trkseg")) {
            AddPoint();
        }
    }

    void AddPoint()
    {
        if (FFeature.Parts.empty())
            return; // a route point inside a track, say: part of no mark
        TPart& part = FFeature.Parts.back();
        std::optional<std::string> lat = FXml.Attribute("lat");
        std::optional<std::string> lon = FXml.Attribute("lon");
        std::optional<double> latValue, lonValue;
        if (lat && lon && (latValue = ParseNumber(*lat)) && (lonValue = ParseNumber(*lon))) {
            TLonLat point{*lonValue, *latValue};
            if (IsValidLonLat(point)) {
                CountImportedPoints(FXml, FResult, 1);
                part.Points.push_back(point);
                return;
            }
        }
        ++part.BadPoints;
    }

    void End(const std::string& name, const std::string& parent)
    {
        if (!IsFeature(name) || parent != "gpx" || !FInFeature)
            return;
        FInFeature = false;
        if (FFeature.Parts.empty())
            ++FResult.Skipped; // a track without segments
        const bool useComment = FFeature.Descr.empty();
        const std::string& descr = useComment ? FFeature.Comment : FFeature.Descr;
        const bool cut = useComment ? FFeature.CommentCut : FFeature.DescrCut;
        for (TPart& part : FFeature.Parts) {
            if (part.Points.empty()) {
                ++FResult.Skipped;
                FResult.SkippedUnreadable += part.BadPoints > 0;
                continue;
            }
            FResult.PointsSkipped += part.BadPoints;
            AddImportedMark(FXml, FResult, FFeature.Name, descr, cut, std::move(part.Points),
                            FFeature.Waypoint ? TImportedShape::Point : TImportedShape::Line);
            FResult.Marks.back().IconHref = FFeature.Symbol;
        }
    }
};

} // namespace

void ReadGpx(TXmlStream& xml, TImportResult& result)
{
    TGpxReader(xml, result).Run();
}
