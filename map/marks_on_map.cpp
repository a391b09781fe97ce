#include "marks_on_map.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "code_page.h"

namespace {

// Writes the marks text already inside a JavaScript string literal: each character
// of the JSON text is escaped for the literal as it is written, so a category of
// 100,000 marks is built in one pass into one buffer.
class TLiteralWriter {
public:
    explicit TLiteralWriter(size_t estimate)
    {
        FOut.reserve(qsizetype(estimate));
        FOut += QLatin1Char('"');
    }

    QString Take()
    {
        FOut += QLatin1Char('"');
        return std::move(FOut);
    }

    // A character of the JSON text.
    void Put(char16_t u)
    {
        static const char hex[] = "0123456789abcdef";
        if (u == '"' || u == '\\') {
            FOut += QLatin1Char('\\');
            FOut += QChar(u);
        } else if (u < 0x20 || u == 0x2028 || u == 0x2029) {
            FOut += QLatin1String("\\u");
            for (const int shift : {12, 8, 4, 0})
                FOut += QLatin1Char(hex[(u >> shift) & 15]);
        } else {
            FOut += QChar(u);
        }
    }

    // JSON punctuation, numbers and other ASCII text that needs no JSON escape.
    void Ascii(std::string_view text)
    {
        for (const char c : text)
            Put(char16_t(c));
    }

    // A JSON string.
    void String(std::u16string_view text)
    {
        Put('"');
        for (const char16_t u : text) {
            if (u == '"' || u == '\\') {
                Put('\\');
                Put(u);
            } else if (u < 0x20) {
                static const char hex[] = "0123456789abcdef";
                const char escape[] = {'\\', 'u', '0', '0', hex[u >> 4], hex[u & 15]};
                Ascii({escape, sizeof escape});
            } else {
                Put(u);
            }
        }
        Put('"');
    }

    void Cp1251String(const std::string& text) { String(Cp1251ToUtf16(text)); }

    void Integer(long long value)
    {
        char buffer[24];
        Ascii({buffer, size_t(std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer)});
    }

    // A colour holding red in its low byte, as "#RRGGBB"; the top byte is not a colour.
    void Colour(std::int32_t colour)
    {
        static const char hex[] = "0123456789ABCDEF";
        const auto bgr = std::uint32_t(colour);
        char text[9] = {'"', '#'};
        for (int i = 0; i < 3; ++i) {
            text[2 + 2 * i] = hex[(bgr >> (8 * i + 4)) & 15];
            text[3 + 2 * i] = hex[(bgr >> (8 * i)) & 15];
        }
        text[8] = '"';
        Ascii({text, sizeof text});
    }

private:
    QString FOut;
};

// Degrees as a whole number of ten-millionths (about a centimetre, far below a
// pixel at the deepest zoom). Beyond 400 million degrees, where a sum of two such
// numbers stops being exact in the page, a value is held at that bound: a place
// that far off draws the same, off every copy of the world.
long long CoordinateUnits(double degrees)
{
    constexpr long double kLimit = 4e8L;
    return (long long)std::rint(std::clamp((long double)degrees, -kLimit, kLimit) * 1e7L);
}

bool Drawable(const TMarkData& mark)
{
    if (mark.points.empty())
        return false;
    for (const TMarkPoint& point : mark.points)
        if (!std::isfinite(double(point.Lat)) || !std::isfinite(double(point.Lon)))
            return false;
    return true;
}

QString PngDataUrl(const TIconPicture& picture)
{
    const QImage image(picture.Rgba.data(), picture.Width, picture.Height, picture.Width * 4,
                       QImage::Format_RGBA8888);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

} // namespace

QString MarksLiteral(const std::vector<TMarkData>& marks, const std::set<std::string>& iconNames,
                     const TFindIcon& findIcon)
{
    size_t estimate = 64;
    for (const TMarkData& mark : marks)
        estimate += 64 + mark.name.size() + mark.picname.size() + 20 * mark.points.size();
    TLiteralWriter out(estimate);
    out.Ascii("{\"icons\":{");
    bool first = true;
    for (const std::string& name : iconNames) {
        const TIconPicture* picture = findIcon ? findIcon(name) : nullptr;
        if (!picture || picture->Width <= 0 || picture->Height <= 0)
            continue;
        if (!first)
            out.Ascii(",");
        first = false;
        out.Cp1251String(name);
        out.Ascii(":{\"u\":");
        out.String(PngDataUrl(*picture).toStdU16String());
        out.Ascii(",\"w\":");
        out.Integer(picture->Width);
        out.Ascii(",\"h\":");
        out.Integer(picture->Height);
        out.Ascii("}");
    }
    out.Ascii("},\"marks\":[");
    first = true;
    for (size_t key = 0; key < marks.size(); ++key) {
        const TMarkData& mark = marks[key];
        if (!Drawable(mark))
            continue;
        if (!first)
            out.Ascii(",");
        first = false;
        const TMarkShape shape = ShapeOf(mark.points);
        out.Ascii("[");
        out.Integer((long long)key);
        out.Ascii(",");
        out.Cp1251String(mark.name);
        out.Ascii(",");
        out.Integer(int(shape));
        out.Ascii(",");
        out.Colour(mark.color1);
        out.Ascii(",");
        out.Colour(mark.color2);
        out.Ascii(",");
        out.Cp1251String(shape == msPoint ? mark.picname : std::string());
        out.Ascii(",[");
        const size_t count = shape == msPoint ? 1 : mark.points.size();
        long long lat = 0, lon = 0;
        for (size_t i = 0; i < count; ++i) {
            const long long pointLat = CoordinateUnits(double(mark.points[i].Lat));
            const long long pointLon = CoordinateUnits(double(mark.points[i].Lon));
            if (i > 0)
                out.Ascii(",");
            out.Integer(pointLat - lat);
            out.Ascii(",");
            out.Integer(pointLon - lon);
            lat = pointLat;
            lon = pointLon;
        }
        out.Ascii("]]");
    }
    out.Ascii("]}");
    return out.Take();
}

void TMarksOnMap::Show(TGMMap& map, const std::vector<TMarkData>& marks, const TFindIcon& findIcon)
{
    if (FPage != map.PageLoads()) {
        FPage = map.PageLoads();
        FIconsSent.clear();
    }
    std::set<std::string> icons;
    for (const TMarkData& mark : marks)
        if (!mark.picname.empty() && !FIconsSent.count(mark.picname) && Drawable(mark) &&
            ShapeOf(mark.points) == msPoint)
            icons.insert(mark.picname);
    map.ExecuteCall(QStringLiteral("MarksShow"), MarksLiteral(marks, icons, findIcon));
    FIconsSent.insert(icons.begin(), icons.end());
}
