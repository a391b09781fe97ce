// Helper of bench/cold_start.sh:
//   cold_start_tool make DIR     writes the two table files of the 100,000-mark
//                                benchmark database into DIR/bin (every category and
//                                mark visible) and the same marks as DIR/marks.gpx;
//   cold_start_tool deflate FILE deflates the file at level 9 in one pass, as the
//                                KMZ export does, for zlib's own time on its KML.
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "code_page.h"
#include "file_io.h"
#include "mark_geometry.h"
#include "marks_generator.h"
#include "number_format.h"

namespace fs = std::filesystem;

namespace {

void AppendXmlText(std::string& out, std::string_view cp1251)
{
    for (char c : Cp1251ToUtf8(cp1251)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out.push_back(c);
        }
    }
}

void AppendPoint(std::string& out, const char* tag, const TMarkPoint& p)
{
    out += '<';
    out += tag;
    out += " lat=\"";
    AppendFixed6(out, p.Lat);
    out += "\" lon=\"";
    AppendFixed6(out, p.Lon);
    out += '"';
}

// Each mark as a waypoint at its first point, and a mark of several points also as
// a track through all of them: what a GPX of the same marks holds.
std::string MarksGpx(const TPacketContent& marks)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<gpx version=\"1.1\" creator=\"cold_start_tool\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    std::string tracks;
    for (const TStoredRow& row : marks.Rows) {
        const TArrayExtended points = DecodePoints(std::get<std::string>(row.Values[5]));
        if (points.empty())
            continue;
        const std::string& name = std::get<std::string>(row.Values[1]);
        AppendPoint(out, "wpt", points[0]);
        out += "><name>";
        AppendXmlText(out, name);
        out += "</name>";
        if (const auto* descr = std::get_if<std::string>(&row.Values[2])) {
            out += "<desc>";
            AppendXmlText(out, *descr);
            out += "</desc>";
        }
        out += "</wpt>\n";
        if (points.size() > 1) {
            tracks += "<trk><name>";
            AppendXmlText(tracks, name);
            tracks += "</name><trkseg>";
            for (const TMarkPoint& p : points) {
                AppendPoint(tracks, "trkpt", p);
                tracks += "/>";
            }
            tracks += "</trkseg></trk>\n";
        }
    }
    return out + tracks + "</gpx>\n";
}

int Make(const fs::path& dir)
{
    fs::create_directories(dir / "bin");
    TPacketContent cats = GenerateVisibleCategories({});
    TPacketContent marks = GenerateMarks({});
    for (TStoredRow& row : marks.Rows)
        row.Values[12] = true;
    WriteFileAtomically(dir / "bin" / "Categorymarks.sml", WriteXmlPacket(cats));
    WriteFileAtomically(dir / "bin" / "marks.sml", WriteXmlPacket(marks));
    WriteFileAtomically(dir / "marks.gpx", MarksGpx(marks));
    return 0;
}

int Deflate(const fs::path& file)
{
    const std::string bytes = ReadWholeFile(file);
    std::string out(compressBound(static_cast<uLong>(bytes.size())), '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int result = deflate(&z, Z_FINISH);
    deflateEnd(&z);
    return result == Z_STREAM_END ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 3 ? argv[1] : "";
    if (mode == "make")
        return Make(argv[2]);
    if (mode == "deflate")
        return Deflate(argv[2]);
    std::fprintf(stderr, "usage: cold_start_tool make DIR | deflate FILE\n");
    return 2;
}
