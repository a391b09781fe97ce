// Imports of files that our exports, GPSBabel and GDAL wrote: the round trips of
// the sample project (KML, KMZ, GPX, GeoJSON) and the tools' own GPX and KML.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <regex>

#include "client_dataset.h"
#include "code_page.h"
#include "geojson_writer.h"
#include "gpx_writer.h"
#include "icon_cache.h"
#include "import_file.h"
#include "kml_writer.h"
#include "kmz_package.h"
#include "mark_rows.h"
#include "marks_schema.h"
#include "number_format.h"
#include "test_helpers.h"
#include "wpt_writer.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSample = fs::path(MARKS_SOURCE_DIR) / "sample";

void RunTool(const std::string& command)
{
    TCommandResult r = RunCommandLine(command);
    ASSERT_EQ(r.Code, 0) << command << "\n" << r.Output;
}

std::string Fixed6(long double v)
{
    std::string s;
    AppendFixed6(s, v);
    return s;
}

// A pair of tables holding the sample project, and a second pair with one empty,
// shown category that imports go into.
struct TInterop : ::testing::Test {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};
    TClientDataSet NewCats{CatsSchema()};
    TClientDataSet NewMarks{MarksSchema()};
    TIconCache Icons;
    fs::path Dir = fs::temp_directory_path() /
                   ("marks-import-interop-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));

    void SetUp() override
    {
        Marks.SetMasterSource(&Cats, "id");
        Cats.LoadTableFile(kSample / "Categorymarks.sml");
        Marks.LoadTableFile(kSample / "marks.sml");
        LoadIcons(kSample, Icons);
        NewMarks.SetMasterSource(&NewCats, "id");
        NewCats.SetPacketText(WriteXmlPacket(EmptyCatsPacket()));
        NewMarks.SetPacketText(WriteXmlPacket(EmptyMarksPacket()));
        NewCats.BeginInsert();
        NewCats.FieldNamed("name").SetAsText("Imported");
        NewCats.FieldNamed("visible").SetAsValue(true);
        NewCats.PostRow();
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    // The export text of every visible mark, and the marks written.
    std::string Export(TClientDataSet& cats, TClientDataSet& marks, bool kmz, std::vector<TMarkData>* written = nullptr)
    {
        TExportState state;
        state.FKmzMode = kmz;
        WalkMarks(cats, marks, state, esVisible, [&] {
            TMarkData mark = ReadCurrentMark(marks);
            if (written && !mark.points.empty())
                written->push_back(mark);
            AddKmlPlacemark(state, mark, "/opt/marks editor/MarksIcons/");
        }, {});
        return state.FExportText;
    }

    int Import(const fs::path& path, int expectedSkipped = 0)
    {
        TImportResult result = ReadImportFile(path);
        EXPECT_EQ(result.Skipped, expectedSkipped) << path;
        return InsertImportedMarks(NewMarks, result, Icons);
    }
};

// The placemarks of an export text, in a fixed order.
std::vector<std::string> Placemarks(const std::string& text)
{
    std::vector<std::string> out;
    const std::string start = "\t\t<Placemark>";
    for (size_t at = text.find(start); at != std::string::npos;) {
        size_t next = text.find(start, at + 1);
        out.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST_F(TInterop, KmlAndKmzExportsOfTheSampleComeBackTheSame)
{
    for (bool kmz : {false, true}) {
        NewMarks.SetPacketText(WriteXmlPacket(EmptyMarksPacket()));
        NewCats.GoFirst();
        const std::string original = Export(Cats, Marks, kmz);
        const fs::path path = Dir / (kmz ? "sample.kmz" : "sample.kml");
        const std::string document = FillTemplate(kKmlDocument, original);
        if (kmz) {
            ZipArchive zip;
            TIconNameList icons;
            WriteKmzPackage(zip, path, document, icons, kSample / "MarksIcons");
        } else {
            SaveExportText(document, path);
        }
        const int imported = Import(path);
        EXPECT_GT(imported, 100);
        // Names, descriptions, icons, colours and coordinates to six decimals: the
        // placemarks written from the imported rows are the ones read.
        const std::vector<std::string> before = Placemarks(original);
        const std::vector<std::string> after = Placemarks(Export(NewCats, NewMarks, kmz));
        EXPECT_EQ(before.size(), static_cast<size_t>(imported));
        ASSERT_EQ(before.size(), after.size());
        for (size_t i = 0; i < before.size(); ++i)
            ASSERT_EQ(before[i], after[i]) << (kmz ? "KMZ" : "KML");
    }
}

// The pieces of an export text each ending at end, sorted; the GeoJSON features
// without the id and the category, which an import gives anew.
std::vector<std::string> Pieces(std::string text, const std::regex& end)
{
    text = std::regex_replace(text, std::regex(R"("id":\d+,|"category":"[^"]*",|,\r\n(?=\{))"), "");
    std::vector<std::string> out;
    std::smatch m;
    for (std::string rest = text; std::regex_search(rest, m, end); rest = m.suffix())
        out.push_back(m.prefix().str() + m.str());
    std::sort(out.begin(), out.end());
    return out;
}

TEST_F(TInterop, GpxAndGeoJsonExportsOfTheSampleComeBackTheSame)
{
    // GPX keeps names, descriptions, icons and coordinates; GeoJSON colours too.
    struct TFormat {
        const char* File;
        const char* Document;
        std::function<void(TClientDataSet&, TClientDataSet&, TExportState&)> Walk;
        std::regex End;
    };
    const TFormat formats[] = {
        {"sample.gpx", kGpxDocument, [](auto& c, auto& m, auto& s) { WalkGpx(c, m, s, esVisible, {}); },
         std::regex("</(wpt|trk)>\r\n")},
        {"sample.geojson", kGeoJsonDocument, [](auto& c, auto& m, auto& s) { WalkGeoJson(c, m, s, esVisible, {}); },
         std::regex("\\}\\}")},
    };
    for (const TFormat& format : formats) {
        NewMarks.SetPacketText(WriteXmlPacket(EmptyMarksPacket()));
        NewCats.GoFirst();
        TExportState original;
        format.Walk(Cats, Marks, original);
        SaveExportText(FillTemplate(format.Document, original.FExportText), Dir / format.File);
        EXPECT_EQ(Import(Dir / format.File), original.FExportCount) << format.File;
        TExportState again;
        format.Walk(NewCats, NewMarks, again);
        const std::vector<std::string> before = Pieces(original.FExportText, format.End);
        const std::vector<std::string> after = Pieces(again.FExportText, format.End);
        ASSERT_EQ(before.size(), static_cast<size_t>(original.FExportCount)) << format.File;
        ASSERT_EQ(before.size(), after.size()) << format.File;
        for (size_t i = 0; i < before.size(); ++i)
            ASSERT_EQ(before[i], after[i]) << format.File;
    }
}

TEST_F(TInterop, GpsBabelGpxFromOurWaypointsImportsTheSamePoints)
{
    TExportState state;
    std::vector<TMarkData> written;
    WalkMarks(Cats, Marks, state, esVisible, [&] {
        TMarkData mark = ReadCurrentMark(Marks);
        if (!mark.points.empty())
            written.push_back(mark);
        AddWptWaypoint(state, mark);
    }, {});
    const fs::path wpt = Dir / "marks.wpt";
    const fs::path gpx = Dir / "marks.gpx";
    SaveExportText(FillTemplate(kWptHeader, state.FExportText), wpt);
    RunTool("gpsbabel -i ozi -f '" + wpt.string() + "' -o gpx -F '" + gpx.string() + "'");

    TImportResult result = ReadImportFile(gpx);
    EXPECT_EQ(result.Skipped, 0);
    ASSERT_EQ(result.Marks.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
        const TImportedMark& mark = result.Marks[i];
        ASSERT_EQ(mark.Points.size(), 1u);
        EXPECT_EQ(Fixed6(mark.Points[0].Lon), Fixed6(written[i].points[0].Lon));
        EXPECT_EQ(Fixed6(mark.Points[0].Lat), Fixed6(written[i].points[0].Lat));
        const std::string& name = written[i].name;
        if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            EXPECT_EQ(mark.Name, NoCommas(name));
        }
    }
}

TEST_F(TInterop, TracksAndRoutesOfGpsBabelAndKmlOfGdal)
{
    TExportState state;
    size_t points = 0;
    WalkMarks(Cats, Marks, state, esVisible, [&] {
        TMarkData mark = ReadCurrentMark(Marks);
        points += mark.points.empty() ? 0 : 1;
        AddWptWaypoint(state, mark);
    }, {});
    const fs::path wpt = Dir / "marks.wpt";
    const fs::path gpx = Dir / "all.gpx";
    const fs::path kml = Dir / "gdal.kml";
    SaveExportText(FillTemplate(kWptHeader, state.FExportText), wpt);
    // The waypoints, a route and a track through all of them.
    RunTool("gpsbabel -i ozi -f '" + wpt.string() + "' -x transform,rte=wpt -x transform,trk=wpt -o gpx -F '" +
            gpx.string() + "'");
    RunTool("ogr2ogr -f KML '" + kml.string() + "' '" + gpx.string() + "' waypoints routes tracks");

    for (const fs::path& path : {gpx, kml}) {
        TImportResult result = ReadImportFile(path);
        EXPECT_EQ(result.Skipped, 0) << path;
        ASSERT_EQ(result.Marks.size(), points + 2) << path;
        const TImportedMark& route = result.Marks[points];
        const TImportedMark& track = result.Marks[points + 1];
        EXPECT_EQ(route.Points.size(), points);
        EXPECT_EQ(track.Points.size(), points);
        for (size_t i = 0; i < points; ++i) {
            EXPECT_EQ(Fixed6(route.Points[i].Lon), Fixed6(result.Marks[i].Points[0].Lon));
            EXPECT_EQ(Fixed6(track.Points[i].Lat), Fixed6(result.Marks[i].Points[0].Lat));
        }
        if (path == kml) {
            EXPECT_EQ(route.LineColor, 0x0000FF); // GDAL's "ff0000ff"
        }
    }
}

// Files the tools made from test_data/tools_source.gpx (two waypoints, a route, a
// track of two segments):
//   ogr2ogr -f LIBKML gdal_libkml.kmz tools_source.gpx waypoints routes tracks
//     (GDAL 3.6: a doc.kml holding only network links to layers/*.kml)
//   gpsbabel -i gpx -f tools_source.gpx -o kml,track=1,points=0 -F gpsbabel_track.kml
//     (GPSBabel 1.8: the track as a gx:Track of gx:coord values)
TEST_F(TInterop, LinkedLayersOfGdalAndGoogleEarthTracksOfGpsBabel)
{
    const fs::path data = fs::path(MARKS_SOURCE_DIR) / "import" / "test_data";
    const TImportResult source = ReadImportFile(data / "tools_source.gpx");
    ASSERT_EQ(source.Marks.size(), 5u);
    auto samePoints = [](const std::vector<TLonLat>& a, const std::vector<TLonLat>& b) {
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(Fixed6(a[i].Lon), Fixed6(b[i].Lon));
            EXPECT_EQ(Fixed6(a[i].Lat), Fixed6(b[i].Lat));
        }
    };
    const TImportResult layers = ReadImportFile(data / "gdal_libkml.kmz");
    ASSERT_EQ(layers.Marks.size(), source.Marks.size());
    for (size_t i = 0; i < source.Marks.size(); ++i) {
        EXPECT_EQ(layers.Marks[i].Name, source.Marks[i].Name);
        samePoints(layers.Marks[i].Points, source.Marks[i].Points);
    }
    EXPECT_EQ(layers.DocumentsNotRead, 0);

    // The track is one line of all its points, as GDAL reads it.
    const TImportResult tracks = ReadImportFile(data / "gpsbabel_track.kml");
    auto walk = std::find_if(tracks.Marks.begin(), tracks.Marks.end(),
                             [](const TImportedMark& mark) { return mark.Name == "Walk"; });
    ASSERT_NE(walk, tracks.Marks.end());
    std::vector<TLonLat> joined = source.Marks[3].Points;
    joined.insert(joined.end(), source.Marks[4].Points.begin(), source.Marks[4].Points.end());
    samePoints(walk->Points, joined);
    EXPECT_EQ(tracks.PointsSkipped, 0);
}

TEST_F(TInterop, CoordinateListsOfMoreThanTenMegabytes)
{
    // Our own KML export of a mark of 500,000 points.
    TMarkData mark;
    mark.name = "Long";
    for (int i = 0; i < 500000; ++i)
        mark.points.push_back({10 + i * 1e-5L, 40 + i * 2e-6L});
    TExportState state;
    AddKmlPlacemark(state, mark, {});
    const fs::path ours = Dir / "ours.kml";
    SaveExportText(FillTemplate(kKmlDocument, state.FExportText), ours);
    TImportResult r = ReadImportFile(ours);
    ASSERT_EQ(r.Marks.size(), 1u);
    ASSERT_EQ(r.Marks[0].Points.size(), mark.points.size());
    for (size_t i = 0; i < mark.points.size(); i += 4999) {
        EXPECT_EQ(Fixed6(r.Marks[0].Points[i].Lon), Fixed6(mark.points[i].Lon));
        EXPECT_EQ(Fixed6(r.Marks[0].Points[i].Lat), Fixed6(mark.points[i].Lat));
    }

    // GPSBabel's KML of a track of 400,000 points with elevations.
    std::string gpx = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
                      "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><name>Long</name><trkseg>\n";
    for (int i = 0; i < 400000; ++i) {
        gpx += "<trkpt lat=\"" + Fixed6(40 + i * 1e-5L) + "\" lon=\"" + Fixed6(10 + i * 2e-5L) + "\"><ele>";
        gpx += std::to_string(100 + i % 1000) + ".5</ele></trkpt>\n";
    }
    SaveExportText(gpx + "</trkseg></trk></gpx>\n", Dir / "long.gpx");
    RunTool("gpsbabel -i gpx -f '" + (Dir / "long.gpx").string() + "' -o kml,points=0 -F '" +
            (Dir / "long.kml").string() + "'");
    r = ReadImportFile(Dir / "long.kml");
    ASSERT_EQ(r.Marks.size(), 1u);
    EXPECT_EQ(r.Marks[0].Points.size(), 400000u);
    EXPECT_EQ(Fixed6(r.Marks[0].Points.back().Lat), Fixed6(40 + 399999 * 1e-5L));
}
