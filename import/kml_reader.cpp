#include "kml_reader.h"

#include <charconv>
#include <map>
#include <string>
#include <vector>

#include "coordinates.h"
#include "import_limits.h"

namespace {

std::string_view Trimmed(std::string_view text)
{
    const char* blanks = " \t\r\n";
    size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

// The name a reader goes by: a KML element's local name (also in files without a
// namespace), "gx:" and the local name for Google's extensions (also where the file
// never declares the "gx" prefix, as many writers leave it), and empty for anything
// else.
std::string ElementName(const TXmlStream& xml)
{
    const std::string_view uri = xml.NamespaceUri();
    const std::string_view prefix = xml.Prefix();
    if (uri == "http://www.google.com/kml/ext/2.2" || (uri.empty() && prefix == "gx"))
        return "gx:" + std::string(xml.LocalName());
    const bool kml = uri.empty() ? prefix.empty()
                                 : uri.starts_with("http://earth.google.com/kml/") ||
                                       uri.starts_with("http://www.opengis.net/kml/");
    return kml ? std::string(xml.LocalName()) : std::string();
}

struct TKmlStyle {
    std::optional<std::string> IconHref;
    std::optional<std::int32_t> LineColor;
    std::optional<std::int32_t> FillColor;

    // Values set here take the place of those of the base.
    void Over(const TKmlStyle& base)
    {
        if (!IconHref)
            IconHref = base.IconHref;
        if (!LineColor)
            LineColor = base.LineColor;
        if (!FillColor)
            FillColor = base.FillColor;
    }
};

// One geometry of a placemark: its points, and what was left out of it.
struct TGeometry {
    std::vector<TLonLat> Points;
    TImportedShape Shape = TImportedShape::Point;
    bool HasCoordinates = false; // the first list of a geometry counts
    int BadPoints = 0;
    int Holes = 0;
};

struct TPlacemark {
    std::string Name;
    std::string Descr;
    bool DescrCut = false;
    std::string StyleUrl;
    TKmlStyle Style;
    std::vector<TGeometry> Geometries;
};

// What a finished placemark leaves for the styles, which may come later in the file.
struct TStyledMarks {
    std::string StyleUrl;
    TKmlStyle Style;
    size_t First = 0;
    size_t End = 0;
};

class TKmlReader {
public:
    TKmlReader(TXmlStream& xml, TImportResult& result, const std::function<void(std::string_view)>& onLink)
        : FXml(xml), FResult(result), FOnLink(onLink)
    {
    }

    void Run()
    {
        FOpen = {"kml"};
        while (FXml.Read()) {
            if (FXml.IsEndElement()) {
                const std::string name = std::move(FOpen.back());
                FOpen.pop_back();
                if (FOpen.empty())
                    break;
                End(name);
                continue;
            }
            if (!FXml.IsStartElement())
                continue;
            std::string name = ElementName(FXml);
            if (Text(name))
                continue;
            Start(name);
            FOpen.push_back(std::move(name));
        }
        ResolveStyles();
    }

private:
    TXmlStream& FXml;
    TImportResult& FResult;
    const std::function<void(std::string_view)>& FOnLink;
    std::vector<std::string> FOpen; // the open KML elements, the root first

    std::optional<TPlacemark> FPlacemark;
    std::optional<TGeometry> FGeometry;
    size_t FGeometryDepth = 0;
    std::vector<TStyledMarks> FStyled;

    TKmlStyle* FStyle = nullptr; // the Style being read
    TKmlStyle FUnused;           // a Style that nothing can refer to
    std::map<std::string, TKmlStyle> FShared;
    std::map<std::string, std::string> FStyleMaps; // StyleMap id to the styleUrl of its normal pair
    std::string FStyleMapId;
    std::string FPairKey;
    std::string FPairUrl;

    const std::string& Parent(size_t up = 0) const
    {
        static const std::string none;
        return FOpen.size() > up ? FOpen[FOpen.size() - 1 - up] : none;
    }

    static bool IsGeometry(const std::string& name)
    {
        return name == "Point" || name == "LineString" || name == "LinearRing" || name == "Polygon" ||
               name == "gx:Track";
    }

    std::string ShortText() { return std::string(Trimmed(FXml.ElementText(kMaxShortTextBytes))); }

    // Elements whose text is all that matters; true when the element was read.
    bool Text(const std::string& name)
    {
        const std::string& parent = Parent();
        if (FPlacemark && parent == "Placemark" && name == "name") {
            FPlacemark->Name = FXml.ElementText(kMaxNameBytes);
        } else if (FPlacemark && parent == "Placemark" && name == "description") {
            FPlacemark->Descr = FXml.ElementText(kMaxDescriptionBytes, &FPlacemark->DescrCut);
        } else if (FPlacemark && parent == "Placemark" && name == "styleUrl") {
            FPlacemark->StyleUrl = ShortText();
        } else if (FStyle && name == "href" && parent == "Icon" && Parent(1) == "IconStyle") {
            FStyle->IconHref = ShortText();
        } else if (FStyle && name == "color" && (parent == "LineStyle" || parent == "PolyStyle")) {
            (parent == "LineStyle" ? FStyle->LineColor : FStyle->FillColor) = ParseKmlColor(ShortText());
        } else if (parent == "Pair" && (name == "key" || name == "styleUrl")) {
            (name == "key" ? FPairKey : FPairUrl) = ShortText();
        } else if (name == "href" && (parent == "Link" || parent == "Url") && Parent(1) == "NetworkLink") {
            const std::string href = ShortText();
            if (FOnLink)
                FOnLink(href);
        } else if (FGeometry && name == "coordinates" &&
                   (parent == "Point" || parent == "LineString" || parent == "LinearRing")) {
            Coordinates(parent);
        } else if (FGeometry && name == "gx:coord" && parent == "gx:Track") {
            const std::optional<TLonLat> point = ParseGxCoord(FXml.ElementText(kMaxShortTextBytes));
            if (point) {
                CountImportedPoints(FXml, FResult, 1);
                FGeometry->Points.push_back(*point);
            } else {
                ++FGeometry->BadPoints;
            }
        } else {
            return false;
        }
        return true;
    }

    // Reads the points as the text streams in, so a list of any length is never
    // held as text.
    void Coordinates(const std::string& parent)
    {
        TGeometry& geometry = *FGeometry;
        const bool hole = parent == "LinearRing" && Parent(1) == "innerBoundaryIs";
        if (hole || geometry.HasCoordinates) {
            // Holes have no place in a mark.
            geometry.Holes += hole;
            FXml.ReadText([](std::string_view) {});
            return;
        }
        geometry.HasCoordinates = true;
        TKmlCoordinates list(parent == "Point" ? 1 : SIZE_MAX);
        size_t counted = 0;
        auto count = [&] {
            CountImportedPoints(FXml, FResult, list.Points.size() - counted);
            counted = list.Points.size();
        };
        FXml.ReadText([&](std::string_view piece) {
            list.Feed(piece);
            count();
        });
        list.Finish();
        count();
        geometry.Points = std::move(list.Points);
        geometry.BadPoints = list.Skipped;
    }

    void Start(const std::string& name)
    {
        if (name == "Placemark") {
            if (!FPlacemark)
                FPlacemark.emplace();
        } else if (name == "Style") {
            std::optional<std::string> id = FXml.Attribute("id");
            if (FPlacemark && Parent() == "Placemark") {
                FStyle = &FPlacemark->Style;
            } else if (!FPlacemark && id) {
                CountSharedStyle();
                FStyle = &FShared[*id];
                *FStyle = {};
            } else {
                FUnused = {};
                FStyle = &FUnused;
            }
        } else if (name == "StyleMap") {
            FStyleMapId = FXml.Attribute("id").value_or("");
        } else if (name == "Pair") {
            FPairKey.clear();
            FPairUrl.clear();
        } else if (FPlacemark && !FGeometry && IsGeometry(name)) {
            FGeometry.emplace();
            FGeometry->Shape = name == "Point"                          ? TImportedShape::Point
                               : name == "Polygon" || name == "LinearRing" ? TImportedShape::Area
                                                                           : TImportedShape::Line;
            FGeometryDepth = FOpen.size();
        }
    }

    // Shared styles are few in any file people use; a file of nothing else must not
    // fill the memory with them.
    void CountSharedStyle()
    {
        if (FShared.size() + FStyleMaps.size() >= kMaxImportMarks)
            FXml.Fail("the file holds more than " + GroupedCount(kMaxImportMarks) +
                      " shared styles, the most one import reads");
    }

    void End(const std::string& name)
    {
        if (FGeometry && FOpen.size() == FGeometryDepth && IsGeometry(name)) {
            FPlacemark->Geometries.push_back(std::move(*FGeometry));
            FGeometry.reset();
        } else if (name == "Placemark" && FPlacemark && Parent() != "Placemark") {
            FinishPlacemark();
        } else if (name == "Style") {
            FStyle = nullptr;
        } else if (name == "Pair") {
            if (!FStyleMapId.empty() && FPairKey == "normal") {
                if (!FStyleMaps.contains(FStyleMapId))
                    CountSharedStyle();
                FStyleMaps[FStyleMapId] = FPairUrl;
            }
        } else if (name == "StyleMap") {
            FStyleMapId.clear();
        }
    }

    void FinishPlacemark()
    {
        TPlacemark& placemark = *FPlacemark;
        TStyledMarks styled{placemark.StyleUrl, placemark.Style, FResult.Marks.size(), 0};
        if (placemark.Geometries.empty())
            ++FResult.Skipped;
        for (TGeometry& geometry : placemark.Geometries) {
            if (geometry.Points.empty()) {
                ++FResult.Skipped;
                FResult.SkippedUnreadable += geometry.BadPoints > 0;
                continue;
            }
            FResult.PointsSkipped += geometry.BadPoints;
            FResult.HolesDropped += geometry.Holes;
            AddImportedMark(FXml, FResult, placemark.Name, placemark.Descr, placemark.DescrCut,
                            std::move(geometry.Points), geometry.Shape);
        }
        styled.End = FResult.Marks.size();
        if (styled.End > styled.First)
            FStyled.push_back(std::move(styled));
        FPlacemark.reset();
        FGeometry.reset();
    }

    // A style reference within this document ("#id"); references to other files
    // are not followed.
    const TKmlStyle* SharedStyle(std::string_view url, int hops = 0) const
    {
        url = Trimmed(url);
        if (url.size() < 2 || url[0] != '#')
            return nullptr;
        const std::string id(url.substr(1));
        if (auto style = FShared.find(id); style != FShared.end())
            return &style->second;
        if (auto map = FStyleMaps.find(id); map != FStyleMaps.end() && hops < 4)
            return SharedStyle(map->second, hops + 1);
        return nullptr;
    }

    void ResolveStyles()
    {
        for (TStyledMarks& styled : FStyled) {
            TKmlStyle style = styled.Style;
            if (const TKmlStyle* shared = SharedStyle(styled.StyleUrl))
                style.Over(*shared);
            for (size_t i = styled.First; i < styled.End; ++i) {
                TImportedMark& mark = FResult.Marks[i];
                mark.IconHref = style.IconHref.value_or("");
                mark.LineColor = style.LineColor;
                mark.FillColor = style.FillColor;
            }
        }
    }
};

} // namespace

std::optional<std::int32_t> ParseKmlColor(std::string_view text)
{
    text = Trimmed(text);
    if (text.starts_with('#'))
        text.remove_prefix(1);
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || text.size() > 8 || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (text.size() > 6)
        value &= 0xFFFFFF;
    return static_cast<std::int32_t>(value);
}

void ReadKml(TXmlStream& xml, TImportResult& result, const std::function<void(std::string_view href)>& onLink)
{
    TKmlReader(xml, result, onLink).Run();
}
