#include "kml_reader.h"

#include <charconv>
#include <map>
#include <string>
#include <vector>

#include "coordinates.h"

namespace {

std::string_view Trimmed(std::string_view text)
{
    const char* blanks = " \t\r\n";
    size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

bool IsKmlNamespace(std::string_view uri)
{
    return uri.empty() || uri.starts_with("http://earth.google.com/kml/") || uri.starts_with("http://www.opengis.net/kml/");
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

// One geometry of a placemark: its points, or broken when its coordinates are bad.
struct TGeometry {
    std::vector<TLonLat> Points;
    bool Area = false;
    bool Broken = false;
};

struct TPlacemark {
    std::string Name;
    std::string Descr;
    std::string StyleUrl;
    TKmlStyle Style;
    std::vector<TGeometry> Geometries;
    size_t FirstMark = 0; // its marks in the result, from here on
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
    TKmlReader(TXmlStream& xml, TImportResult& result) : FXml(xml), FResult(result) {}

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
            std::string name = IsKmlNamespace(FXml.NamespaceUri()) ? std::string(FXml.LocalName()) : std::string();
            if (Text(name))
                continue;
            Start(name);
            if (FXml.IsEmptyElement())
                End(name);
            else
                FOpen.push_back(std::move(name));
        }
        ResolveStyles();
    }

private:
    TXmlStream& FXml;
    TImportResult& FResult;
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
        return name == "Point" || name == "LineString" || name == "LinearRing" || name == "Polygon";
    }

    // Elements whose text is all that matters; true when the element was read.
    bool Text(const std::string& name)
    {
        const std::string& parent = Parent();
        if (FPlacemark && parent == "Placemark" && (name == "name" || name == "description" || name == "styleUrl")) {
            std::string text = FXml.ElementText();
            (name == "name" ? FPlacemark->Name : name == "description" ? FPlacemark->Descr : FPlacemark->StyleUrl) =
                std::move(text);
        } else if (FStyle && name == "href" && parent == "Icon" && Parent(1) == "IconStyle") {
            FStyle->IconHref = std::string(Trimmed(FXml.ElementText()));
        } else if (FStyle && name == "color" && (parent == "LineStyle" || parent == "PolyStyle")) {
            (parent == "LineStyle" ? FStyle->LineColor : FStyle->FillColor) = ParseKmlColor(FXml.ElementText());
        } else if (parent == "Pair" && (name == "key" || name == "styleUrl")) {
            (name == "key" ? FPairKey : FPairUrl) = std::string(Trimmed(FXml.ElementText()));
        } else if (FGeometry && name == "coordinates" &&
                   (parent == "Point" || parent == "LineString" || parent == "LinearRing")) {
            std::string text = FXml.ElementText();
            if (parent == "LinearRing" && Parent(1) == "innerBoundaryIs")
                return true; // holes have no place in a mark
            Coordinates(text, parent == "Point");
        } else {
            return false;
        }
        return true;
    }

    void Coordinates(std::string_view text, bool point)
    {
        if (FGeometry->Broken || !FGeometry->Points.empty())
            return; // the first list of a geometry counts
        std::optional<std::vector<TLonLat>> points = ParseKmlCoordinates(text);
        if (!points) {
            FGeometry->Broken = true;
            return;
        }
        if (point && points->size() > 1)
            points->resize(1);
        FGeometry->Points = std::move(*points);
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
            FGeometry->Area = name == "Polygon" || name == "LinearRing";
            FGeometryDepth = FOpen.size();
        }
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
            if (!FStyleMapId.empty() && FPairKey == "normal")
                FStyleMaps[FStyleMapId] = FPairUrl;
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
            if (geometry.Broken || geometry.Points.empty()) {
                ++FResult.Skipped;
                continue;
            }
            std::vector<TLonLat>& points = geometry.Points;
            // The shape of a mark is an area when its last point repeats its first.
            if (geometry.Area && points.size() > 1 &&
                (points.back().Lon != points.front().Lon || points.back().Lat != points.front().Lat))
                points.push_back(points.front());
            TImportedMark mark;
            mark.Name = placemark.Name;
            mark.Descr = placemark.Descr;
            mark.Points = std::move(points);
            FResult.Marks.push_back(std::move(mark));
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

void ReadKml(TXmlStream& xml, TImportResult& result)
{
    TKmlReader(xml, result).Run();
}
