// The exports of the sample project read back by the tools people use: xmllint and
// GDAL for KML, Python's zipfile and GDAL for KMZ, GPSBabel for OziExplorer waypoints,
// xmllint, GDAL and GPSBabel for GPX, GDAL for GeoJSON.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "client_dataset.h"
#include "file_io.h"
#include "geojson_writer.h"
#include "gpx_writer.h"
#include "kml_writer.h"
#include "kmz_package.h"
#include "marks_schema.h"
#include "number_format.h"
#include "test_helpers.h"
#include "wpt_writer.h"

namespace fs = std::filesystem;

namespace {

// Runs a command and returns what it printed; fails the test on a non-zero exit.
std::string RunTool(const std::string& command)
{
    TCommandResult r = RunCommandLine(command);
    EXPECT_EQ(r.Code, 0) << command << "\n" << r.Output;
    return r.Output;
}

std::string Fixed6(long double v)
{
    std::string s;
    AppendFixed6(s, v);
    return s;
}

// The numbers of a geometry as a tool prints it, in pairs: "(1 2,3 4)", "1,2 3,4".
std::vector<std::pair<double, double>> NumberPairs(const std::string& text)
{
    std::vector<std::pair<double, double>> pairs;
    std::regex number(R"(-?[0-9]+(\.[0-9]+)?(e[-+]?[0-9]+)?)");
    std::vector<double> values;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), number); it != std::sregex_iterator(); ++it)
        values.push_back(std::stod(it->str()));
    for (size_t i = 0; i + 1 < values.size(); i += 2)
        pairs.emplace_back(values[i], values[i + 1]);
    return pairs;
}

// The mark's points as written, longitude first, each rounded to the six decimals.
std::vector<std::pair<double, double>> WrittenPairs(const TMarkData& mark)
{
    std::vector<std::pair<double, double>> pairs;
    for (const TMarkPoint& p : mark.points)
        pairs.emplace_back(std::stod(Fixed6(p.Lon)), std::stod(Fixed6(p.Lat)));
    if (ShapeOf(mark.points) == msPoint)
        pairs.resize(1);
    return pairs;
}

struct TSampleExport : ::testing::Test {
    TClientDataSet Cats{CatsSchema()};
    TClientDataSet Marks{MarksSchema()};
    TExportState State;
    std::vector<TMarkData> Written;
    fs::path Dir = fs::temp_directory_path() /
                   ("marks-interop-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));

    void SetUp() override
    {
        Marks.SetMasterSource(&Cats, "id");
        Cats.LoadTableFile(fs::path(MARKS_SOURCE_DIR) / "sample" / "Categorymarks.sml");
        Marks.LoadTableFile(fs::path(MARKS_SOURCE_DIR) / "sample" / "marks.sml");
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    void Walk(const std::function<void(const TMarkData&)>& writer)
    {
        WalkMarks(Cats, Marks, State, esVisible, [&] {
            TMarkData mark = ReadCurrentMark(Marks);
            Written.push_back(mark);
            writer(mark);
        }, {});
    }
};

} // namespace

TEST_F(TSampleExport, KmlIsWellFormedAndGdalReadsEveryPlacemark)
{
    for (bool kmz : {false, true}) {
        State.FKmzMode = kmz;
        Written.clear();
        Walk([&](const TMarkData& m) { AddKmlPlacemark(State, m, "/opt/marks editor/MarksIcons/"); });
        const fs::path path = Dir / "marks.kml";
        SaveExportText(FillTemplate(kKmlDocument, State.FExportText), path);
        RunTool("xmllint --noout '" + path.string() + "'");

        const std::string summary = RunTool("ogrinfo -ro -so -al '" + path.string() + "'");
        EXPECT_NE(summary.find("Feature Count: " + std::to_string(State.FExportCount)), std::string::npos) << summary;
        ASSERT_EQ(static_cast<size_t>(State.FExportCount), Written.size());

        // Every geometry in placemark order, with the coordinates we wrote.
        const std::string features = RunTool("ogrinfo -ro -al -q '" + path.string() + "'");
        std::regex geometry(R"((POINT|LINESTRING|POLYGON) Z \(+([^)]*)\)+)");
        size_t i = 0;
        for (auto it = std::sregex_iterator(features.begin(), features.end(), geometry); it != std::sregex_iterator();
             ++it, ++i) {
            ASSERT_LT(i, Written.size());
            const TMarkData& mark = Written[i];
            const std::string kind = (*it)[1];
            EXPECT_EQ(kind, ShapeOf(mark.points) == msPoint ? "POINT" : (ShapeOf(mark.points) == msLine ? "LINESTRING" : "POLYGON"));
            std::istringstream coords(std::regex_replace((*it)[2].str(), std::regex(","), " "));
            for (const TMarkPoint& p : ShapeOf(mark.points) == msPoint ? TArrayExtended{mark.points[0]} : mark.points) {
                // GDAL drops trailing zeros; the values must be the six decimals we wrote.
                double lon = 0, lat = 0, z = 0;
                coords >> lon >> lat >> z;
                EXPECT_DOUBLE_EQ(lon, std::stod(Fixed6(p.Lon)));
                EXPECT_DOUBLE_EQ(lat, std::stod(Fixed6(p.Lat)));
            }
        }
        EXPECT_EQ(i, Written.size());
    }
}

TEST_F(TSampleExport, GpsBabelReadsTheWaypoints)
{
    Walk([&](const TMarkData& m) { AddWptWaypoint(State, m); });
    const fs::path path = Dir / "marks.wpt";
    SaveExportText(FillTemplate(kWptHeader, State.FExportText), path);
    const std::string csv = RunTool("gpsbabel -i ozi -f '" + path.string() + "' -o unicsv -F -");
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line); // column names
    size_t i = 0;
    std::regex row(R"(^\d+,(-?[0-9.]+),(-?[0-9.]+),"([^"]*)\")");
    while (std::getline(lines, line)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_search(line, m, row)) << line;
        ASSERT_LT(i, Written.size());
        EXPECT_EQ(m[1].str(), Fixed6(Written[i].points[0].Lat));
        EXPECT_EQ(m[2].str(), Fixed6(Written[i].points[0].Lon));
        const std::string& name = Written[i].name;
        if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            EXPECT_EQ(m[3].str(), NoCommas(name));
        }
        ++i;
    }
    EXPECT_EQ(i, Written.size());
    EXPECT_GT(i, 100u);
}

// Icons with Cyrillic names, on disk under their UTF-8 names: every href of the KML
// names an entry of the archive, as Python and GDAL decode the names.
TEST_F(TSampleExport, KmzIconEntriesMatchTheirReferences)
{
    const fs::path icons = Dir / "MarksIcons";
    const fs::path sample = fs::path(MARKS_SOURCE_DIR) / "sample" / "MarksIcons";
    fs::create_directories(icons);
    fs::copy_file(sample / "flag.png", icons / "flag.png");
    fs::copy_file(sample / "water.png", icons / "\xd0\xa0\xd0\xbe\xd0\xb4\xd0\xbd\xd0\xb8\xd0\xba.png");
    fs::copy_file(sample / "camp.png", icons / "\xd0\xa8.png");
    fs::copy_file(sample / "church.png", icons / "\xd0\x98 & \xd0\x98.png");
    State = {};
    State.FKmzMode = true;
    // flag.png, Rodnik.png (a spring), Sha.png, "I & I.png".
    for (const char* picname : {"flag.png", "\xd0\xee\xe4\xed\xe8\xea.png", "\xd8.png", "\xc8 & \xc8.png"}) {
        TMarkData mark;
        mark.name = picname;
        mark.picname = picname;
        mark.points.push_back({30, 60});
        AddKmlPlacemark(State, mark, {});
    }
    const fs::path kmz = Dir / "\xd0\x9a\xd0\xb0\xd1\x80\xd1\x82\xd0\xb0.kmz";
    ZipArchive zip;
    WriteKmzPackage(zip, kmz, FillTemplate(kKmlDocument, State.FExportText), State.FExportIcons, icons);

    WriteFileAtomically(Dir / "hrefs.py", "import re, sys, zipfile\n"
                                          "z = zipfile.ZipFile(sys.argv[1])\n"
                                          "names = z.namelist()\n"
                                          "print('entries: ' + '|'.join(names))\n"
                                          "kml = z.read(names[-1]).decode('utf-8')\n"
                                          "for href in re.findall('<href>(.*?)</href>', kml):\n"
                                          "    href = href.replace('&amp;', '&')\n"
                                          "    print(('found ' if href in names else 'missing ') + href)\n");
    const std::string listed =
        RunTool("PYTHONIOENCODING=utf-8 python3 '" + (Dir / "hrefs.py").string() + "' '" + kmz.string() + "'");
    EXPECT_EQ(listed, "entries: flag.png|\xd0\x98 & \xd0\x98.png|\xd0\xa0\xd0\xbe\xd0\xb4\xd0\xbd\xd0\xb8\xd0\xba.png|"
                      "\xd0\xa8.png|\xd0\x9a\xd0\xb0\xd1\x80\xd1\x82\xd0\xb0.kml\n"
                      "found flag.png\n"
                      "found \xd0\xa0\xd0\xbe\xd0\xb4\xd0\xbd\xd0\xb8\xd0\xba.png\n"
                      "found \xd0\xa8.png\n"
                      "found \xd0\x98 & \xd0\x98.png\n");

    // GDAL reads each placemark's icon reference and opens that picture inside the archive.
    const std::string features = RunTool("ogrinfo -ro -al '" + kmz.string() + "'");
    std::regex symbol(R"(SYMBOL\(id:"([^"]*)\"\))");
    size_t symbols = 0;
    for (auto it = std::sregex_iterator(features.begin(), features.end(), symbol); it != std::sregex_iterator(); ++it) {
        ++symbols;
        const std::string picture = RunTool("gdalinfo '/vsizip/" + kmz.string() + "/" + (*it)[1].str() + "'");
        EXPECT_NE(picture.find("Driver: PNG/Portable Network Graphics"), std::string::npos) << (*it)[1].str();
    }
    EXPECT_EQ(symbols, 4u) << features;
}

// GPX: every point a waypoint, every line and area a track of one segment, as GDAL
// and GPSBabel read them; GeoJSON: every mark a feature of its shape, as GDAL reads it.
TEST_F(TSampleExport, GpxAndGeoJsonReadByGdalAndGpsBabel)
{
    Walk([](const TMarkData&) {});
    std::vector<TMarkData> points, tracks;
    for (const TMarkData& m : Written)
        (ShapeOf(m.points) == msPoint ? points : tracks).push_back(m);
    ASSERT_GT(points.size(), 10u);
    ASSERT_GT(tracks.size(), 2u);

    WalkGpx(Cats, Marks, State, esVisible, {});
    EXPECT_EQ(static_cast<size_t>(State.FExportCount), Written.size());
    const fs::path gpx = Dir / "marks.gpx";
    SaveExportText(FillTemplate(kGpxDocument, State.FExportText), gpx);
    RunTool("xmllint --noout '" + gpx.string() + "'");
    for (auto [layer, marks] : {std::pair{"waypoints", &points}, std::pair{"tracks", &tracks}}) {
        const std::string features = RunTool("ogrinfo -ro -q '" + gpx.string() + "' " + layer);
        std::regex geometry(R"(\n  (POINT|MULTILINESTRING) (\([^\n]*\)))");
        size_t i = 0;
        for (auto it = std::sregex_iterator(features.begin(), features.end(), geometry); it != std::sregex_iterator();
             ++it, ++i) {
            ASSERT_LT(i, marks->size()) << layer;
            EXPECT_EQ(NumberPairs((*it)[2]), WrittenPairs((*marks)[i])) << layer << " " << i;
        }
        EXPECT_EQ(i, marks->size()) << layer;
    }
    // GPSBabel: the waypoints with their coordinates, and every point of the tracks.
    const std::string waypoints = RunTool("gpsbabel -i gpx -f '" + gpx.string() + "' -o unicsv -F -");
    std::regex row(R"(\n\d+,(-?[0-9.]+),(-?[0-9.]+))");
    size_t i = 0;
    for (auto it = std::sregex_iterator(waypoints.begin(), waypoints.end(), row); it != std::sregex_iterator(); ++it, ++i) {
        ASSERT_LT(i, points.size());
        EXPECT_EQ((*it)[1].str(), Fixed6(points[i].points[0].Lat));
        EXPECT_EQ((*it)[2].str(), Fixed6(points[i].points[0].Lon));
    }
    EXPECT_EQ(i, points.size());
    size_t trackPoints = 0;
    for (const TMarkData& m : tracks)
        trackPoints += m.points.size();
    const std::string track = RunTool("gpsbabel -t -i gpx -f '" + gpx.string() + "' -x nuketypes,waypoints -o unicsv -F -");
    EXPECT_EQ(static_cast<size_t>(std::count(track.begin(), track.end(), '\n')), trackPoints + 1) << track;

    WalkGeoJson(Cats, Marks, State, esVisible, {});
    const fs::path geojson = Dir / "marks.geojson";
    SaveExportText(FillTemplate(kGeoJsonDocument, State.FExportText), geojson);
    const std::string features = RunTool("ogrinfo -ro -al -q '" + geojson.string() + "'");
    std::regex geometry(R"(\n  (POINT|LINESTRING|POLYGON) (\([^\n]*\)))");
    i = 0;
    for (auto it = std::sregex_iterator(features.begin(), features.end(), geometry); it != std::sregex_iterator();
         ++it, ++i) {
        ASSERT_LT(i, Written.size());
        const TMarkShape shape = ShapeOf(Written[i].points);
        EXPECT_EQ((*it)[1].str(), shape == msPoint ? "POINT" : shape == msLine ? "LINESTRING" : "POLYGON");
        std::vector<std::pair<double, double>> expected = WrittenPairs(Written[i]);
        std::vector<std::pair<double, double>> read = NumberPairs((*it)[2]);
        // An outer ring drawn clockwise is written the other way round.
        if (shape == msPolygon && read != expected)
            std::reverse(read.begin(), read.end());
        EXPECT_EQ(read, expected) << i;
    }
    EXPECT_EQ(i, Written.size());
}
