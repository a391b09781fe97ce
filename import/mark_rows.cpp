#include "mark_rows.h"

#include <algorithm>

#include "code_page.h"
#include "import_limits.h"
#include "mark_geometry.h"
#include "url_text.h"

namespace {

// What an imported mark gets where the file says nothing, taken from the marks the
// map application writes (those of the sample): they carry scale1 from 0 to 3 and
// scale2 24, so 0 to 24 shows an imported mark at every scale at which any of them
// shows; lines are drawn in red (0x0000FF, the table's blue-green-red order), points
// and areas in 0x2060C0, and areas filled with 0x40A040.
constexpr std::int64_t kDefaultScale1 = 0;
constexpr std::int64_t kDefaultScale2 = 24;
constexpr std::int64_t kDefaultLineColor = 0x0000FF;
constexpr std::int64_t kDefaultOutlineColor = 0x2060C0;
constexpr std::int64_t kDefaultFillColor = 0x40A040;

// Memo text keeps the line breaks of the platform the map application runs on.
std::string WithCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out.append("\r\n");
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The field objects of the marks table that an imported row sets, looked up once.
struct TMarkFields {
    explicit TMarkFields(TClientDataSet& marks)
        : name(marks.FieldNamed("name")), descr(marks.FieldNamed("descr")), scale1(marks.FieldNamed("scale1")),
          scale2(marks.FieldNamed("scale2")), lonlatarr(marks.FieldNamed("lonlatarr")), lonL(marks.FieldNamed("lonL")),
          latT(marks.FieldNamed("latT")), LonR(marks.FieldNamed("LonR")), LatB(marks.FieldNamed("LatB")),
          color1(marks.FieldNamed("color1")), color2(marks.FieldNamed("color2")), visible(marks.FieldNamed("visible")),
          picname(marks.FieldNamed("picname"))
    {
    }
    TField &name, &descr, &scale1, &scale2, &lonlatarr, &lonL, &latT, &LonR, &LatB, &color1, &color2, &visible,
        &picname;
};

void SetRow(TMarkFields& f, const TImportedMark& mark, const TIconCache& icons, TRowNotes& notes)
{
    const std::string name = ImportedText(mark.Name, &notes.CharactersReplaced);
    notes.NamesCut += name.size() > static_cast<size_t>(f.name.Size());
    f.name.SetAsText(name);
    f.descr.SetAsText(WithCrLf(ImportedText(mark.Descr, &notes.CharactersReplaced)));
    f.scale1.SetAsValue(kDefaultScale1);
    f.scale2.SetAsValue(kDefaultScale2);
    std::string blob;
    blob.reserve(mark.Points.size() * 24);
    double lonL = mark.Points[0].Lon, lonR = lonL, latT = mark.Points[0].Lat, latB = latT;
    for (const TLonLat& p : mark.Points) {
        blob += PointRecord(p.Lon, p.Lat);
        lonL = std::min(lonL, p.Lon);
        lonR = std::max(lonR, p.Lon);
        latB = std::min(latB, p.Lat);
        latT = std::max(latT, p.Lat);
    }
    f.lonlatarr.SetAsValue(std::move(blob));
    f.lonL.SetAsValue(lonL);
    f.latT.SetAsValue(latT);
    f.LonR.SetAsValue(lonR);
    f.LatB.SetAsValue(latB);
    const bool line = mark.Points.size() > 1 && (mark.Points.back().Lon != mark.Points.front().Lon ||
                                                 mark.Points.back().Lat != mark.Points.front().Lat);
    f.color1.SetAsValue(mark.LineColor ? std::int64_t{*mark.LineColor} : line ? kDefaultLineColor : kDefaultOutlineColor);
    f.color2.SetAsValue(mark.FillColor ? std::int64_t{*mark.FillColor} : kDefaultFillColor);
    f.visible.SetAsValue(true);
    // No icon is an empty name, as the map application writes it.
    f.picname.SetAsText(ImportedIconName(mark.IconHref, icons, f.picname.Size()));
}

} // namespace

std::string ImportedText(std::string_view utf8, int* replaced)
{
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(utf8);
    // Each character the code page lacks adds one "?" to those of the text itself.
    auto countReplaced = [&](const std::string& text) {
        if (replaced)
            *replaced += static_cast<int>(std::count(text.begin(), text.end(), '?') -
                                          std::count(utf8.begin(), utf8.end(), '?'));
        return text;
    };
    if (!IsWellFormedUtf8(utf8))
        return countReplaced(Utf8ToCp1251(utf8));
    // Through UTF-16, whose conversion gives one "?" per missing character, also for
    // those outside the Basic Multilingual Plane.
    std::u16string wide;
    wide.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        auto b = static_cast<unsigned char>(utf8[i]);
        int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? b : b & (0x7F >> length);
        for (int k = 1; k < length; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]) & 0x3F);
        i += static_cast<size_t>(length);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            wide.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            wide.push_back(static_cast<char16_t>(cp));
        }
    }
    return countReplaced(Utf16ToCp1251(wide));
}

std::string ImportedIconName(std::string_view href, const TIconCache& icons, int width)
{
    // The last part of a path or URL, in either separator.
    size_t slash = href.find_last_of("/\\");
    std::string_view file = slash == std::string_view::npos ? href : href.substr(slash + 1);
    const TIconEntry* icon = file.empty() ? nullptr : FindIcon(icons, file);
    if (!icon && !file.empty())
        icon = FindIcon(icons, PercentDecoded(file));
    // A GPX symbol names the icon without its extension.
    if (!icon && !file.empty())
        icon = FindIcon(icons, std::string(file) + ".png");
    if (!icon)
        return {};
    std::string name = ImportedText(icon->Name);
    return name.size() <= static_cast<size_t>(width) ? name : std::string();
}

int InsertImportedMarks(TClientDataSet& marks, const TImportResult& imported, const TIconCache& icons,
                        TRowNotes* notes)
{
    TSuspendedViews suspended(marks);
    TBulkInsert bulk(marks);
    TMarkFields fields(marks);
    TRowNotes counted;
    counted.NameWidth = fields.name.Size();
    for (const TImportedMark& mark : imported.Marks) {
        marks.BeginInsert();
        SetRow(fields, mark, icons, counted);
        marks.PostRow();
    }
    bulk.Commit();
    if (notes)
        *notes = counted;
    return static_cast<int>(imported.Marks.size());
}

namespace {

std::string Count(int n, const char* one, const char* many)
{
    return GroupedCount(static_cast<std::uint64_t>(n)) + " " + (n == 1 ? one : many);
}

} // namespace

std::string ImportReportText(int imported, const TImportResult& read, const TRowNotes& rows)
{
    std::string text = "Imported " + Count(imported, "mark", "marks") + ".";
    auto line = [&](int n, const char* before, const char* one, const char* many, const std::string& after) {
        if (n > 0)
            text += "\n" + std::string(before) + Count(n, one, many) + after + ".";
    };
    const int unreadable = read.SkippedUnreadable;
    line(read.Skipped - unreadable, "Skipped ", "feature", "features", " without coordinates");
    line(unreadable, "Skipped ", "feature whose coordinates are", "features whose coordinates are",
         " unreadable or out of range");
    line(read.PointsSkipped, "Left out ", "point that is", "points that are", " unreadable or out of range");
    line(read.ClosedLines, "Stored ", "closed line as an area", "closed lines as areas", "");
    line(read.HolesDropped, "Dropped ", "polygon hole", "polygon holes", "");
    line(rows.CharactersReplaced, "Replaced ", "character", "characters", " outside Windows-1251 by \"?\"");
    line(rows.NamesCut, "Cut ", "name", "names", " to " + std::to_string(rows.NameWidth) + " bytes, the width of the field");
    line(read.DescriptionsCut, "Cut ", "description", "descriptions",
         " to " + std::to_string(kMaxDescriptionBytes / 1024) + " KB");
    line(read.DocumentsNotRead, "Did not read ", "further KML document", "further KML documents", " of the KMZ archive");
    return text;
}
