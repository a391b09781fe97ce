#include "gpx_reader.h"

#include <vector>

#include "coordinates.h"

namespace {

bool IsGpxNamespace(std::string_view uri)
{
    return uri.empty() || uri.starts_with("http://www.topografix.com/GPX/");
}

// The points of one mark; broken when a point lacks valid coordinates.
struct TPart {
    std::vector<TLonLat> Points;
    bool Broken = false;
};

// A waypoint, route or track being read, with the marks it gives.
struct TFeature {
    std::string Name;
    std::string Descr;
    std::string Comment; // the description when there is no "desc"
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
            std::string name = IsGpxNamespace(FXml.NamespaceUri()) ? std::string(FXml.LocalName()) : std::string();
            const std::string parent = open.empty() ? "gpx" : open.back();
            if (Text(name, parent))
                continue;
            Start(name, parent);
            if (FXml.IsEmptyElement())
                End(name, parent);
            else
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
        if (!FInFeature || !IsFeature(parent) || (name != "name" && name != "desc" && name != "cmt"))
            return false;
        std::string text = FXml.ElementText();
        (name == "name" ? FFeature.Name : name == "desc" ? FFeature.Descr : FFeature.Comment) = std::move(text);
        return true;
    }

    void Start(const std::string& name, const std::string& parent)
    {
        if (IsFeature(name) && parent == "gpx") {
            FFeature = {};
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
        std::optional<std::string> lat = FXml.Attribute("lat");
        std::optional<std::string> lon = FXml.Attribute("lon");
        if (FFeature.Parts.empty())
            return; // a route point inside a track, say: part of no mark
        TPart& part = FFeature.Parts.back();
        std::optional<double> latValue, lonValue;
        if (lat && lon && (latValue = ParseNumber(*lat)) && (lonValue = ParseNumber(*lon))) {
            TLonLat point{*lonValue, *latValue};
            if (IsValidLonLat(point)) {
                part.Points.push_back(point);
                return;
            }
        }
        part.Broken = true;
    }

    void End(const std::string& name, const std::string& parent)
    {
        if (!IsFeature(name) || parent != "gpx" || !FInFeature)
            return;
        FInFeature = false;
        if (FFeature.Parts.empty())
            ++FResult.Skipped; // a track without segments
        for (TPart& part : FFeature.Parts) {
            if (part.Broken || part.Points.empty())
                ++FResult.Skipped;
            else
                Emit(std::move(part.Points));
        }
    }

    void Emit(std::vector<TLonLat> points)
    {
        TImportedMark mark;
        mark.Name = FFeature.Name;
        mark.Descr = FFeature.Descr.empty() ? FFeature.Comment : FFeature.Descr;
        mark.Points = std::move(points);
        FResult.Marks.push_back(std::move(mark));
    }
};

} // namespace

void ReadGpx(TXmlStream& xml, TImportResult& result)
{
    TGpxReader(xml, result).Run();
}
