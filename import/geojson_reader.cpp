#include "geojson_reader.h"

#include <charconv>
#include <functional>
#include <string>
#include <vector>

#include "coordinates.h"
#include "import_limits.h"

namespace {

using TToken = TJsonStream::TToken;

// How deep the positions of a geometry type lie in its coordinates; 0 for a type
// that has none.
int PositionDepth(std::string_view type)
{
    if (type == "Point")
        return 1;
    if (type == "LineString" || type == "MultiPoint")
        return 2;
    if (type == "Polygon" || type == "MultiLineString")
        return 3;
    if (type == "MultiPolygon")
        return 4;
    return 0;
}

// One mark a geometry gives, before the texts of its feature are known. A part
// without points and with bad points stands for a geometry that could not be read.
struct TPart {
    std::vector<TLonLat> Points;
    int BadPoints = 0;
    int Holes = 0;
    TImportedShape Shape = TImportedShape::Point;
};

// A coordinates member as read: the lists of positions (a line, a ring, the
// points of a MultiPoint) at the depth the positions lie.
struct TPositionList {
    std::vector<TLonLat> Points;
    int BadPoints = 0;
    bool FirstOfPolygon = true; // an outer ring, not a hole
};

struct TCoordinates {
    int Depth = 0;
    bool Unreadable = false;
    std::vector<TPositionList> Lists;
};

struct TProperties {
    std::string Name;
    std::string Descr;
    bool DescrCut = false;
    int DescrRank = 0; // which of the description's names gave it; lower wins
    std::string Icon;
    std::optional<std::int32_t> Color1;
    std::optional<std::int32_t> Color2;
};

// A GeoJSON object as read, whichever kind it turns out to be once its type is
// known (members come in any order).
struct TObject {
    std::string Type;
    std::optional<TCoordinates> Coordinates;
    std::vector<TPart> Geometries; // the parts of a GeometryCollection's members
    std::vector<TPart> Geometry;   // the parts of a Feature's geometry
    TProperties Properties;
};

class TGeoJsonReader {
public:
    TGeoJsonReader(TJsonStream& json, TImportResult& result) : FJson(json), FResult(result) {}

    void Run()
    {
        if (FJson.Next(kMaxShortTextBytes) != TToken::BeginObject)
            FJson.Fail("It is not a GeoJSON document.");
        TObject root = ReadObject();
        if (root.Type != "FeatureCollection" && root.Type != "Feature" && root.Type != "GeometryCollection" &&
            PositionDepth(root.Type) == 0)
            FJson.Fail("It is not a GeoJSON document.");
        Commit(root);
        if (FJson.Next(0) != TToken::End)
            FJson.Fail("the JSON text goes on after its value");
    }

private:
    TJsonStream& FJson;
    TImportResult& FResult;

    // The value of a member whose content is not read.
    void SkipMember() { FJson.SkipValue(FJson.Next(0)); }

    // Reads the members of an object whose "{" was read, up to its "}". The
    // features of a collection become marks as they are read.
    TObject ReadObject()
    {
        TObject object;
        while (FJson.Next(kMaxShortTextBytes) != TToken::EndObject) {
            const std::string name = FJson.Text();
            if (name == "type") {
                const TToken t = FJson.Next(kMaxShortTextBytes);
                if (t == TToken::String)
                    object.Type = FJson.Text();
                FJson.SkipValue(t);
            } else if (name == "coordinates") {
                object.Coordinates = ReadCoordinates(PositionDepth(object.Type));
            } else if (name == "geometry") {
                const TToken t = FJson.Next(0);
                if (t == TToken::BeginObject)
                    object.Geometry = PartsOf(ReadObject());
                else
                    FJson.SkipValue(t);
            } else if (name == "geometries") {
                ReadArrayOfObjects([&](TObject member) {
                    for (TPart& part : PartsOf(std::move(member)))
                        object.Geometries.push_back(std::move(part));
                });
            } else if (name == "features") {
                ReadArrayOfObjects([&](TObject feature) { Commit(feature); });
            } else if (name == "properties") {
                const TToken t = FJson.Next(0);
                if (t == TToken::BeginObject)
                    ReadProperties(object.Properties);
                else
                    FJson.SkipValue(t);
            } else {
                SkipMember();
            }
        }
        return object;
    }

    void ReadArrayOfObjects(const std::function<void(TObject)>& each)
    {
        TToken t = FJson.Next(0);
        if (t != TToken::BeginArray) {
            FJson.SkipValue(t);
            return;
        }
        while ((t = FJson.Next(0)) != TToken::EndArray) {
            if (t == TToken::BeginObject)
                each(ReadObject());
            else
                FJson.SkipValue(t);
        }
    }

    void ReadProperties(TProperties& properties)
    {
        struct TText {
            const char* Name;
            std::size_t Limit;
            int Rank; // of the description's names
        };
        static const TText kTexts[] = {{"name", kMaxNameBytes, 0},
                                       {"descr", kMaxDescriptionBytes, 1},
                                       {"description", kMaxDescriptionBytes, 2},
                                       {"desc", kMaxDescriptionBytes, 3},
                                       {"icon", kMaxShortTextBytes, 0},
                                       {"color1", kMaxShortTextBytes, 0},
                                       {"color2", kMaxShortTextBytes, 0}};
        while (FJson.Next(kMaxShortTextBytes) != TToken::EndObject) {
            const std::string name = FJson.Text();
            const TText* text = nullptr;
            for (const TText& t : kTexts)
                if (name == t.Name)
                    text = &t;
            if (!text) {
                SkipMember();
                continue;
            }
            const TToken t = FJson.Next(text->Limit);
            if (t != TToken::String) {
                FJson.SkipValue(t);
                continue;
            }
            if (name == "name") {
                properties.Name = FJson.Text();
            } else if (name == "icon") {
                properties.Icon = FJson.Text();
            } else if (name == "color1") {
                properties.Color1 = ParseGeoJsonColor(FJson.Text());
            } else if (name == "color2") {
                properties.Color2 = ParseGeoJsonColor(FJson.Text());
            } else if (properties.DescrRank == 0 || text->Rank < properties.DescrRank) {
                properties.Descr = FJson.Text();
                properties.DescrCut = FJson.Cut();
                properties.DescrRank = text->Rank;
            }
        }
    }

    // Reads the value of a coordinates member. The depth of its positions is that
    // of the type when the type came first, else the depth of its first number.
    TCoordinates ReadCoordinates(int typeDepth)
    {
        TCoordinates c;
        TToken t = FJson.Next(kMaxShortTextBytes);
        if (t != TToken::BeginArray) {
            c.Unreadable = t != TToken::Null;
            FJson.SkipValue(t);
            return c;
        }
        int open = 1;
        while ((t = FJson.Next(kMaxShortTextBytes)) == TToken::BeginArray)
            ++open;
        if (open == 1 && t == TToken::EndArray)
            return c; // an empty geometry
        c.Depth = t == TToken::Number || typeDepth == 0 ? open : typeDepth;
        if ((typeDepth != 0 && c.Depth != typeDepth) || open > c.Depth) {
            c.Unreadable = true;
            SkipOpen(open, t);
            return c;
        }
        bool newPolygon = true;
        auto enter = [&](int level) {
            if (level == c.Depth - 2)
                newPolygon = true;
            if (level == c.Depth - 1) {
                c.Lists.emplace_back().FirstOfPolygon = newPolygon;
                newPolygon = false;
            }
        };
        for (int level = 0; level <= open; ++level)
            enter(level);
        int level = open;
        // The position being read.
        double values[2] = {};
        int count = 0;
        bool bad = false;
        for (;; t = FJson.Next(kMaxShortTextBytes)) {
            if (level == c.Depth) {
                if (t == TToken::EndArray) {
                    EndPosition(c.Lists.back(), values, count, bad);
                    count = 0;
                    bad = false;
                    if (--level == 0)
                        return c;
                } else if (t == TToken::Number) {
                    const std::optional<double> value = ParseNumber(FJson.Text());
                    if (!value)
                        bad = true;
                    else if (count < 2)
                        values[count] = *value;
                    ++count;
                } else {
                    bad = true;
                    FJson.SkipValue(t);
                }
            } else if (t == TToken::BeginArray) {
                enter(++level);
            } else if (t == TToken::EndArray) {
                if (--level == 0)
                    return c;
            } else {
                // Anything but a list where a list of positions belongs.
                if (c.Lists.empty())
                    c.Unreadable = true;
                else
                    ++c.Lists.back().BadPoints;
                FJson.SkipValue(t);
            }
        }
    }

    void EndPosition(TPositionList& list, const double* values, int count, bool bad)
    {
        const TLonLat point{values[0], values[1]};
        if (bad || count < 2 || !IsValidLonLat(point)) {
            ++list.BadPoints;
            return;
        }
        CountImportedPoints(FJson, FResult, 1);
        list.Points.push_back(point);
    }

    // Reads to the end of open arrays, the first token inside being t.
    void SkipOpen(int open, TToken t)
    {
        for (;; t = FJson.Next(0)) {
            if (t == TToken::BeginArray || t == TToken::BeginObject)
                ++open;
            else if ((t == TToken::EndArray || t == TToken::EndObject) && --open == 0)
                return;
        }
    }

    static TPart Unreadable()
    {
        TPart part;
        part.BadPoints = 1;
        return part;
    }

    // The marks a geometry object gives.
    static std::vector<TPart> PartsOf(TObject object)
    {
        if (object.Type == "GeometryCollection")
            return std::move(object.Geometries);
        const int depth = PositionDepth(object.Type);
        if (depth == 0)
            return {Unreadable()};
        if (!object.Coordinates)
            return {};
        TCoordinates& c = *object.Coordinates;
        if (c.Unreadable || (!c.Lists.empty() && c.Depth != depth))
            return {Unreadable()};
        std::vector<TPart> parts;
        for (TPositionList& list : c.Lists) {
            if (object.Type == "MultiPoint") {
                for (const TLonLat& point : list.Points)
                    parts.push_back({{point}, 0, 0, TImportedShape::Point});
                for (int i = 0; i < list.BadPoints; ++i)
                    parts.push_back(Unreadable());
            } else if (depth >= 3 && object.Type != "MultiLineString" && !list.FirstOfPolygon) {
                if (!parts.empty())
                    ++parts.back().Holes;
            } else {
                const TImportedShape shape = object.Type == "Point" ? TImportedShape::Point
                                             : depth >= 3 && object.Type != "MultiLineString" ? TImportedShape::Area
                                                                                              : TImportedShape::Line;
                parts.push_back({std::move(list.Points), list.BadPoints, 0, shape});
            }
        }
        return parts;
    }

    // The marks of a feature, of a geometry standing alone, or of nothing (a
    // collection, whose features are in already).
    void Commit(TObject& object)
    {
        if (object.Type == "FeatureCollection")
            return;
        const bool feature = object.Type == "Feature";
        const TProperties p = feature ? std::move(object.Properties) : TProperties{};
        std::vector<TPart> parts = feature ? std::move(object.Geometry) : PartsOf(std::move(object));
        if (parts.empty()) {
            ++FResult.Skipped;
            return;
        }
        for (TPart& part : parts) {
            if (part.Points.empty()) {
                ++FResult.Skipped;
                FResult.SkippedUnreadable += part.BadPoints > 0;
                continue;
            }
            FResult.PointsSkipped += part.BadPoints;
            FResult.HolesDropped += part.Holes;
            AddImportedMark(FJson, FResult, p.Name, p.Descr, p.DescrCut, std::move(part.Points), part.Shape);
            TImportedMark& mark = FResult.Marks.back();
            mark.IconHref = p.Icon;
            mark.LineColor = p.Color1;
            mark.FillColor = p.Color2;
        }
    }
};

} // namespace

std::optional<std::int32_t> ParseGeoJsonColor(std::string_view text)
{
    if (text.size() != 7 || text[0] != '#')
        return std::nullopt;
    std::uint32_t rgb = 0;
    auto [end, error] = std::from_chars(text.data() + 1, text.data() + text.size(), rgb, 16);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return static_cast<std::int32_t>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}

void ReadGeoJson(TJsonStream& json, TImportResult& result)
{
    TGeoJsonReader(json, result).Run();
}
