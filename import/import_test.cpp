// The GPX, KML, KMZ and GeoJSON readers and the rows they become, on small files written
// here for each case.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <random>
#include <filesystem>
#include <fstream>

#include "client_dataset.h"
#include "code_page.h"
#include "coordinates.h"
#include "geojson_reader.h"
#include "import_file.h"
#include "kml_reader.h"
#include "mark_geometry.h"
#include "mark_rows.h"
#include "marks_schema.h"
#include "test_helpers.h"
#include "zip_archive.h"

namespace fs = std::filesystem;

namespace {

struct TImportTest : ::testing::Test {
    fs::path Dir = fs::temp_directory_path() /
                   ("marks-import-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));

    void SetUp() override
    {
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    fs::path Write(const std::string& name, const std::string& bytes)
    {
        fs::path path = Dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    TImportResult Read(const std::string& name, const std::string& bytes) { return ReadImportFile(Write(name, bytes)); }
};

std::string Gpx(const std::string& body, const std::string& ns = "http://www.topografix.com/GPX/1/1")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"test\" xmlns=\"" + ns + "\">\n" +
           body + "</gpx>\n";
}

std::string Kml(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n" +
           body + "</Document>\n</kml>\n";
}

} // namespace

TEST_F(TImportTest, GpxWaypointsRoutesAndTrackSegments)
{
    for (const char* ns : {"http://www.topografix.com/GPX/1/1", "http://www.topografix.com/GPX/1/0"}) {
        TImportResult r = Read("a.gpx", Gpx(R"(
<wpt lat="55.7558" lon="37.6173"><name>Well</name><cmt>comment</cmt><sym>Flag</sym></wpt>
<wpt lat="-1.5" lon="+2.25"><name>Two</name><desc>described</desc><cmt>not this</cmt>
  <extensions><x:name xmlns:x="urn:other">not the name</x:name></extensions></wpt>
<rte><name>Road</name><rtept lat="1" lon="2"><name>turn</name></rtept><rtept lat="3" lon="4"/></rte>
<trk><name>Walk</name><desc>two parts</desc>
  <trkseg><trkpt lat="10" lon="20"><ele>5</ele></trkpt><trkpt lat="11" lon="21"/></trkseg>
  <trkseg><trkpt lat="12" lon="22"/></trkseg>
</trk>
)", ns));
        ASSERT_EQ(r.Marks.size(), 5u) << ns;
        EXPECT_EQ(r.Skipped, 0);
        EXPECT_EQ(r.Marks[0].Name, "Well");
        EXPECT_EQ(r.Marks[0].Descr, "comment"); // the comment when there is no description
        EXPECT_EQ(r.Marks[0].IconHref, "Flag");
        EXPECT_DOUBLE_EQ(r.Marks[0].Points[0].Lon, 37.6173);
        EXPECT_DOUBLE_EQ(r.Marks[0].Points[0].Lat, 55.7558);
        EXPECT_EQ(r.Marks[1].Name, "Two");
        EXPECT_EQ(r.Marks[1].Descr, "described");
        EXPECT_DOUBLE_EQ(r.Marks[1].Points[0].Lon, 2.25);
        EXPECT_EQ(r.Marks[2].Name, "Road");
        ASSERT_EQ(r.Marks[2].Points.size(), 2u);
        EXPECT_DOUBLE_EQ(r.Marks[2].Points[1].Lat, 3);
        EXPECT_EQ(r.Marks[3].Name, "Walk");
        EXPECT_EQ(r.Marks[3].Points.size(), 2u);
        EXPECT_EQ(r.Marks[4].Name, "Walk");
        EXPECT_EQ(r.Marks[4].Descr, "two parts");
        EXPECT_EQ(r.Marks[4].Points.size(), 1u);
    }
}

// Every geometry type, members in any order, the properties the export writes and
// the common other names, and coordinates that cannot be used.
TEST_F(TImportTest, GeoJsonGeometriesAndProperties)
{
    TImportResult r = Read("a.json", "\xEF\xBB\xBF" R"( {"features":[
{"properties":{"descr":"first","description":"second","name":"Well \u0418\ud83d\ude00","icon":"flag.png",
  "color1":"#ff0000","color2":"#00ff0g","id":3},"type":"Feature","geometry":{"coordinates":[37.5,55.25,120],"type":"Point"}},
{"type":"Feature","properties":null,"geometry":{"type":"LineString","coordinates":[[1,2],[3,4],[500,1],[5,"6"]]}},
{"type":"Feature","properties":{"desc":"d","description":"ds"},"geometry":{"type":"Polygon",
  "coordinates":[[[0,0],[1,0],[1,1],[0,0]],[[0.1,0.1],[0.2,0.1],[0.2,0.2],[0.1,0.1]]]}},
{"type":"Feature","properties":{"name":"multi"},"geometry":{"type":"GeometryCollection","geometries":[
  {"type":"MultiPoint","coordinates":[[1,1],[2,2]]},{"type":"MultiLineString","coordinates":[[[1,1],[2,2]]]},
  {"type":"MultiPolygon","coordinates":[[[[5,5],[6,5],[6,6],[5,5]]]]}]}},
{"type":"Feature","properties":{"name":"none"},"geometry":null},
{"type":"Feature","geometry":{"type":"Point","coordinates":[200,1]}},
{"type":"Feature","geometry":{"type":"Circle","coordinates":[1,1]}},
{"type":"Feature","geometry":{"type":"LineString","coordinates":[1,1]}}],
"type":"FeatureCollection","bbox":[0,0,1,1]} )");
    ASSERT_EQ(r.Marks.size(), 7u);
    const TImportedMark& well = r.Marks[0];
    EXPECT_EQ(well.Name, "Well \xd0\x98\xf0\x9f\x98\x80");
    EXPECT_EQ(well.Descr, "first");
    EXPECT_EQ(well.IconHref, "flag.png");
    EXPECT_EQ(well.LineColor, 0x0000FF);
    EXPECT_FALSE(well.FillColor);
    ASSERT_EQ(well.Points.size(), 1u);
    EXPECT_DOUBLE_EQ(well.Points[0].Lon, 37.5);
    EXPECT_DOUBLE_EQ(well.Points[0].Lat, 55.25);
    EXPECT_EQ(r.Marks[1].Points.size(), 2u);
    EXPECT_EQ(r.Marks[2].Descr, "ds");
    EXPECT_EQ(r.Marks[2].Points.size(), 4u);
    for (size_t i = 3; i < 7; ++i)
        EXPECT_EQ(r.Marks[i].Name, "multi");
    EXPECT_EQ(r.Marks[6].Points.size(), 4u);
    EXPECT_EQ(r.Skipped, 4);
    EXPECT_EQ(r.SkippedUnreadable, 3);
    EXPECT_EQ(r.PointsSkipped, 2);
    EXPECT_EQ(r.HolesDropped, 1);

    // A geometry alone is a document too.
    r = Read("line.geojson", R"({"coordinates":[[1,2],[3,4]],"type":"LineString"})");
    ASSERT_EQ(r.Marks.size(), 1u);
    EXPECT_EQ(r.Marks[0].Points.size(), 2u);
    EXPECT_EQ(ParseGeoJsonColor("#a0b0c0"), 0xC0B0A0);
    EXPECT_FALSE(ParseGeoJsonColor("a0b0c0"));
}

TEST_F(TImportTest, FeaturesWithoutValidCoordinatesAreSkippedAndCounted)
{
    TImportResult r = Read("bad.gpx", Gpx(R"(
<wpt lat="1" lon="2"><name>good</name></wpt>
<wpt lat="1"><name>no longitude</name></wpt>
<wpt lat="91" lon="2"/><wpt lat="1" lon="-180.5"/><wpt lat="nan" lon="2"/><wpt lat="1" lon="inf"/>
<wpt lat="1,5" lon="2"/><wpt lat="" lon="2"/><wpt lat="-90" lon="180"><name>edge</name></wpt>
<rte><name>empty route</name></rte>
<rte><name>r</name><rtept lat="1" lon="2"/><rtept lat="200" lon="2"/><rtept lat="x" lon="2"/><rtept lat="3" lon="4"/></rte>
<trk><name>t</name><trkseg><trkpt lat="1" lon="2"/><trkpt lat="100" lon="2"/></trkseg>
  <trkseg><trkpt lat="1" lon="2"/></trkseg><trkseg/></trk>
<trk><name>no segments</name></trk>
)"));
    // One bad point leaves its line, one point shorter.
    ASSERT_EQ(r.Marks.size(), 5u);
    EXPECT_EQ(r.Marks[0].Name, "good");
    EXPECT_EQ(r.Marks[1].Name, "edge");
    EXPECT_EQ(r.Marks[2].Name, "r");
    ASSERT_EQ(r.Marks[2].Points.size(), 2u);
    EXPECT_DOUBLE_EQ(r.Marks[2].Points[1].Lat, 3);
    EXPECT_EQ(r.Marks[3].Name, "t");
    EXPECT_EQ(r.Marks[3].Points.size(), 1u);
    EXPECT_EQ(r.Skipped, 7 + 1 + 1 + 1);
    EXPECT_EQ(r.SkippedUnreadable, 7);
    EXPECT_EQ(r.PointsSkipped, 3);

    r = Read("bad.kml", Kml(R"(
<Placemark><name>no geometry</name></Placemark>
<Placemark><Point><coordinates></coordinates></Point></Placemark>
<Placemark><Point><coordinates>200,10</coordinates></Point></Placemark>
<Placemark><LineString><coordinates>1,2 3,4,5,6</coordinates></LineString></Placemark>
<Placemark><LineString><coordinates>1,2 x,4</coordinates></LineString></Placemark>
<Placemark><name>fine</name><LineString><coordinates>1, 2, 0
  3 ,4</coordinates></LineString></Placemark>
<Placemark><name>mixed</name><LineString><coordinates>1,2 200,10 x,4 1,2,3,4 ,5 3 , 4 7,,8 5,6,</coordinates></LineString></Placemark>
)"));
    ASSERT_EQ(r.Marks.size(), 4u);
    EXPECT_EQ(r.Marks[0].Points.size(), 1u);
    EXPECT_EQ(r.Marks[2].Name, "fine");
    EXPECT_EQ(r.Marks[2].Points.size(), 2u);
    EXPECT_DOUBLE_EQ(r.Marks[2].Points[1].Lat, 4);
    ASSERT_EQ(r.Marks[3].Points.size(), 2u);
    EXPECT_DOUBLE_EQ(r.Marks[3].Points[1].Lon, 3);
    EXPECT_EQ(r.Skipped, 3);
    EXPECT_EQ(r.SkippedUnreadable, 1);
    EXPECT_EQ(r.PointsSkipped, 2 + 5);
}

TEST_F(TImportTest, KmlMultiGeometryNestedFoldersAndStyles)
{
    TImportResult r = Read("a.kml", Kml(R"(
<Style id="red"><LineStyle><color>ff0000ff</color><width>2</width></LineStyle>
  <PolyStyle><color>7f00ff00</color></PolyStyle><IconStyle><Icon><href>http://x/y/Flag.png</href></Icon></IconStyle></Style>
<StyleMap id="map"><Pair><key>highlight</key><styleUrl>#nothing</styleUrl></Pair>
  <Pair><key>normal</key><styleUrl>#red</styleUrl></Pair></StyleMap>
<Folder><name>outer</name><description>folder text</description>
  <Folder><name>inner</name>
    <Placemark><name>Many</name><description><![CDATA[<b>rich</b> & text]]></description><styleUrl>#map</styleUrl>
      <MultiGeometry>
        <Point><coordinates>1,2,0</coordinates></Point>
        <MultiGeometry><LineString><coordinates>1,2 3,4</coordinates></LineString></MultiGeometry>
        <Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 1,0 1,1</coordinates></LinearRing></outerBoundaryIs>
          <innerBoundaryIs><LinearRing><coordinates>0.2,0.2 0.3,0.2 0.2,0.2</coordinates></LinearRing></innerBoundaryIs></Polygon>
        <Point><coordinates>500,2</coordinates></Point>
      </MultiGeometry>
    </Placemark>
  </Folder>
  <Placemark><name>Own</name><styleUrl>#red</styleUrl>
    <Style><LineStyle><color>00FF00</color></LineStyle></Style>
    <gx:Track><gx:coord>1 2 3</gx:coord></gx:Track>
    <LineString><coordinates>5,6 7,8</coordinates></LineString></Placemark>
  <Placemark><name>Plain</name><Point><coordinates> 9.5,8.5 </coordinates></Point></Placemark>
</Folder>
)"));
    ASSERT_EQ(r.Marks.size(), 6u);
    EXPECT_EQ(r.Skipped, 1);
    EXPECT_EQ(r.HolesDropped, 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r.Marks[i].Name, "Many");
        EXPECT_EQ(r.Marks[i].Descr, "<b>rich</b> & text");
        EXPECT_EQ(r.Marks[i].IconHref, "http://x/y/Flag.png");
        EXPECT_EQ(r.Marks[i].LineColor, 0x0000FF);
        EXPECT_EQ(r.Marks[i].FillColor, 0x00FF00);
    }
    EXPECT_EQ(r.Marks[0].Points.size(), 1u);
    EXPECT_EQ(r.Marks[1].Points.size(), 2u);
    // The open ring is closed, the hole left out.
    ASSERT_EQ(r.Marks[2].Points.size(), 4u);
    EXPECT_EQ(r.Marks[2].Points[3].Lon, 0);
    // The track, its "gx" prefix undeclared as many writers leave it, and the line.
    EXPECT_EQ(r.Marks[3].Name, "Own");
    ASSERT_EQ(r.Marks[3].Points.size(), 1u);
    EXPECT_DOUBLE_EQ(r.Marks[3].Points[0].Lat, 2);
    EXPECT_EQ(r.Marks[4].Name, "Own");
    EXPECT_EQ(r.Marks[4].LineColor, 0x00FF00);
    EXPECT_EQ(r.Marks[4].FillColor, 0x00FF00); // from the shared style
    EXPECT_EQ(r.Marks[5].Name, "Plain");
    EXPECT_FALSE(r.Marks[5].LineColor);
    EXPECT_EQ(r.Marks[5].IconHref, "");
    EXPECT_DOUBLE_EQ(r.Marks[5].Points[0].Lon, 9.5);
}

TEST_F(TImportTest, GoogleEarthMultiTracksGiveALinePerTrack)
{
    TImportResult r = Read("tracks.kml", R"(<kml xmlns="http://www.opengis.net/kml/2.2"
 xmlns:gx="http://www.google.com/kml/ext/2.2"><Placemark><name>Day</name><gx:MultiTrack>
<gx:Track><when>2024-05-01T10:00:00Z</when><gx:coord>7.5 46.1 500</gx:coord><gx:coord>7.6 x</gx:coord>
  <gx:coord> 7.7  46.3 </gx:coord></gx:Track>
<gx:Track><gx:coord>1 2</gx:coord><gx:coord>3 4</gx:coord><gx:coord>1 2</gx:coord></gx:Track>
<gx:Track><gx:coord>200 2</gx:coord></gx:Track>
</gx:MultiTrack></Placemark></kml>)");
    ASSERT_EQ(r.Marks.size(), 2u);
    EXPECT_EQ(r.Marks[0].Name, "Day");
    ASSERT_EQ(r.Marks[0].Points.size(), 2u);
    EXPECT_DOUBLE_EQ(r.Marks[0].Points[1].Lon, 7.7);
    EXPECT_DOUBLE_EQ(r.Marks[0].Points[1].Lat, 46.3);
    EXPECT_EQ(r.Marks[1].Points.size(), 3u);
    EXPECT_EQ(r.ClosedLines, 1); // held as an area
    EXPECT_EQ(r.PointsSkipped, 1);
    EXPECT_EQ(r.SkippedUnreadable, 1);
}

TEST_F(TImportTest, TextInTheEncodingTheFileDeclares)
{
    const std::string body = "<gpx><wpt lat=\"1\" lon=\"2\"><name>Ёлки Ω</name></wpt></gpx>";
    const std::string cp1251 = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><gpx><wpt lat=\"1\" lon=\"2\">"
                               "<name>\xA8\xEB\xEA\xE8 &#937;</name></wpt></gpx>";
    std::u16string utf16 = u"\uFEFF<gpx><wpt lat=\"1\" lon=\"2\"><name>Ёлки Ω</name></wpt></gpx>";
    const std::string utf16Bytes(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2);
    for (const std::string& bytes : {body, "\xEF\xBB\xBF" + body, cp1251, utf16Bytes}) {
        TImportResult r = Read("enc.gpx", bytes);
        ASSERT_EQ(r.Marks.size(), 1u);
        EXPECT_EQ(r.Marks[0].Name, "Ёлки Ω");
    }
}

TEST(TCoordinates, NumbersReadAsTheGeneralConversionReadsThem)
{
    std::mt19937_64 random(7);
    std::vector<std::string> texts = {"0", "-0", "180", "-180.000000", "1.", ".5", "1e2", "-1.5E-3", "12345678901234567",
                                      "0.1234567890123456", "99999999999999.9", "inf", "-nan", "1.2.3", "--1", "1x"};
    for (int i = 0; i < 20000; ++i) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(random() % 16),
                      std::ldexp(static_cast<double>(random() % (1ull << 53)), -static_cast<int>(random() % 60)) *
                          (random() % 2 ? -1 : 1));
        texts.push_back(buffer);
    }
    for (const std::string& text : texts) {
        double expected = 0;
        const char* begin = text.data();
        auto [end, error] = std::from_chars(begin, begin + text.size(), expected);
        std::optional<double> value = ParseNumber(text);
        if (error != std::errc() || end != begin + text.size()) {
            EXPECT_FALSE(value) << text;
        } else {
            ASSERT_TRUE(value) << text;
            EXPECT_EQ(std::bit_cast<std::uint64_t>(*value), std::bit_cast<std::uint64_t>(expected)) << text;
        }
    }
    EXPECT_EQ(ParseNumber(" +2.5 "), 2.5);
}

TEST_F(TImportTest, KmlColours)
{
    EXPECT_EQ(ParseKmlColor("0000FF"), 255);
    EXPECT_EQ(ParseKmlColor(" 2060c0\n"), 0x2060C0);
    EXPECT_EQ(ParseKmlColor("ff0000ff"), 255);
    EXPECT_EQ(ParseKmlColor("#00ff00"), 0x00FF00);
    EXPECT_FALSE(ParseKmlColor(""));
    EXPECT_FALSE(ParseKmlColor("-1"));
    EXPECT_FALSE(ParseKmlColor("123456789"));
    EXPECT_FALSE(ParseKmlColor("12 34"));
}

TEST_F(TImportTest, MalformedFilesNameTheFileLineAndReason)
{
    fs::path path = Write("cut.gpx", Gpx("<wpt lat=\"1\" lon=\"2\"><name>x</name>\n<wpt lat=\"1\" lon=\"2\">\n", ""));
    std::string message = ErrorText([&] { ReadImportFile(path); });
    EXPECT_EQ(message.rfind("Cannot import file \"" + path.string() + "\". Line ", 0), 0u) << message;
    EXPECT_NE(message.find("ending tag mismatch"), std::string::npos) << message;

    path = Write("unclosed.kml", "<kml><Document>\n<Placemark><name>a</name>\n");
    message = ErrorText([&] { ReadImportFile(path); });
    EXPECT_NE(message.find("Line 2: the file ends before all its elements are closed"), std::string::npos) << message;

    message = ErrorText([&] { ReadImportFile(Write("other.xml", "<?xml version=\"1.0\"?>\n<html/>")); });
    EXPECT_NE(message.find("Line 2: It is not a GPX or KML document."), std::string::npos) << message;
    EXPECT_EQ(ErrorText([&] { ReadImportFile(Write("empty.gpx", "")); }),
              "Cannot import file \"" + (Dir / "empty.gpx").string() + "\". The file is empty.");
    std::string binary(100000, '\0');
    std::mt19937 random(1);
    for (char& c : binary)
        c = static_cast<char>(random());
    EXPECT_EQ(ErrorText([&] { ReadImportFile(Write("binary.kml", binary)); }),
              "Cannot import file \"" + (Dir / "binary.kml").string() + "\". It is not a GPX, KML, KMZ or GeoJSON file.");
    // JSON that is broken, or no GeoJSON: the line and the reason.
    for (auto [text, reason] : std::initializer_list<std::pair<const char*, const char*>>{
             {"{\"type\":\"Feature\",\n\"geometry\":{\"type\":\"Point\"\n\"coordinates\":[1,2]}}",
              "Line 3: a \",\" or the end of an object or array is expected, not \"\"\""},
             {"[1,2]", "Line 1: It is not a GeoJSON document."},
             {"{\"type\":\"Topology\"}", "Line 1: It is not a GeoJSON document."},
             {"{\"type\":\"Point\",\"coordinates\":[1,2]}\n{}", "Line 2: unexpected \"{\" after the end of the JSON text"},
             {"{\"type\":\"Feature\",\"properties\":{\"name\":\"a\x01\"}}",
              "Line 1: a string holds a control character, which JSON writes as an escape"},
             {"{\"type\":\"FeatureCollection\",\n\"features\":[\n", "Line 3: the file ends before all its objects and arrays are closed"}}) {
        EXPECT_EQ(ErrorText([&] { ReadImportFile(Write("bad.geojson", text)); }),
                  "Cannot import file \"" + (Dir / "bad.geojson").string() + "\". " + reason)
            << text;
    }
    std::string deepJson = "{\"type\":\"FeatureCollection\",\"features\":";
    for (int i = 0; i < 300; ++i)
        deepJson += "[";
    EXPECT_EQ(ErrorText([&] { ReadImportFile(Write("deep.json", deepJson)); }),
              "Cannot import file \"" + (Dir / "deep.json").string() + "\". Line 1: objects and arrays nest more than 256 deep");
    std::string deep = "<kml>\n";
    for (int i = 0; i < 300; ++i)
        deep += "<Folder>";
    EXPECT_EQ(ErrorText([&] { ReadImportFile(Write("deep.kml", deep)); }),
              "Cannot import file \"" + (Dir / "deep.kml").string() + "\". Line 2: the elements are nested more than 256 deep");
    message = ErrorText([&] {
        ReadImportFile(Write("cdata.kml", "<kml><Placemark><description><![CDATA[" + std::string(11 << 20, 'x')));
    });
    EXPECT_NE(message.find("Line 1: a tag, a comment or a CDATA section runs over more than 10 MB"), std::string::npos)
        << message;
    EXPECT_NE(ErrorText([&] { ReadImportFile(Write("tail.kml", "<kml/><kml/>")); }).find("Extra content"),
              std::string::npos);
    EXPECT_EQ(ErrorText([&] { ReadImportFile(Dir / "missing.gpx"); }),
              "Cannot open file \"" + (Dir / "missing.gpx").string() + "\". No such file or directory.");
    EXPECT_EQ(ErrorText([&] { ReadImportFile(Dir); }),
              "Cannot open file \"" + Dir.string() + "\". It is not a regular file.");
    // A pipe is refused, never waited on.
    const fs::path fifo = Dir / "pipe.gpx";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(ErrorText([&] { ReadImportFile(fifo); }),
              "Cannot open file \"" + fifo.string() + "\". It is not a regular file.");
    // Nothing of a DTD is fetched or expanded.
    TImportResult r = Read("dtd.gpx", "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY e SYSTEM \"/etc/passwd\">]>\n"
                                      "<gpx><wpt lat=\"1\" lon=\"2\"><name>&e;</name></wpt></gpx>");
    ASSERT_EQ(r.Marks.size(), 1u);
    EXPECT_EQ(r.Marks[0].Name, "");
}

TEST_F(TImportTest, OneHugeTextIsCutWithinMemoryBounds)
{
    const fs::path path = Dir / "huge.kml";
    {
        std::ofstream out(path, std::ios::binary);
        out << "<kml><Document><Placemark><name>" << std::string(5000, 'n') << "</name><description>";
        std::string block(1 << 20, 'a');
        for (int i = 0; i < 200; ++i)
            out << block;
        out << "</description><Point><coordinates>1,2</coordinates></Point></Placemark></Document></kml>";
    }
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    TImportResult r = ReadImportFile(path);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    ASSERT_EQ(r.Marks.size(), 1u);
    EXPECT_EQ(r.Marks[0].Name, std::string(1024, 'n'));
    EXPECT_EQ(r.Marks[0].Descr, std::string(65536, 'a'));
    EXPECT_EQ(r.DescriptionsCut, 1);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024) << "kB";
}

TEST_F(TImportTest, EntitiesOfTheDocumentsOwnDtdExpandWithinBounds)
{
    const std::string dtd = "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY co \"Company &amp; Co\">"
                            "<!ENTITY e SYSTEM \"/etc/passwd\">]>\n";
    for (const std::string& bytes :
         {dtd + "<gpx><wpt lat=\"1\" lon=\"2\"><name>Shop of &co;&e;</name></wpt></gpx>",
          dtd + "<kml><Placemark><name>Shop of &co;</name><description>&e;</description>"
                "<Point><coordinates>1,2</coordinates></Point></Placemark></kml>"}) {
        TImportResult r = Read("entities.xml", bytes);
        ASSERT_EQ(r.Marks.size(), 1u);
        EXPECT_EQ(r.Marks[0].Name, "Shop of Company & Co");
        EXPECT_EQ(r.Marks[0].Descr, "");
    }
    // Entities nested ten deep, and one large entity referenced many times: refused
    // before their text is made.
    std::string nested = "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY a0 \"lol\">";
    for (int i = 1; i < 10; ++i)
        nested += "<!ENTITY a" + std::to_string(i) + " \"" + [&] {
            std::string ten;
            for (int k = 0; k < 10; ++k)
                ten += "&a" + std::to_string(i - 1) + ";";
            return ten;
        }() + "\">";
    nested += "]><gpx><wpt lat=\"1\" lon=\"2\"><name>&a9;</name></wpt></gpx>";
    std::string repeated = "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY big \"" + std::string(100000, 'x') +
                           "\">]><gpx><wpt lat=\"1\" lon=\"2\"><name>";
    for (int i = 0; i < 100000; ++i)
        repeated += "&big;";
    repeated += "</name></wpt></gpx>";
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    for (const std::string& bytes : {nested, repeated}) {
        const std::string message = ErrorText([&] { Read("bomb.gpx", bytes); });
        EXPECT_NE(message.find("its entities expand to far more text than the file holds"), std::string::npos)
            << message;
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024) << "kB";
}

TEST_F(TImportTest, AnImportTakesNoMoreThanItsLimits)
{
    // Marks and points count over all files of one import; the one that goes beyond
    // is named.
    std::string waypoints = "<gpx>";
    for (int i = 0; i < 500000; ++i)
        waypoints += "<wpt lat=\"0\" lon=\"0\"/>";
    TImportResult result;
    ReadImportFile(Write("many.gpx", waypoints + "</gpx>"), result);
    EXPECT_EQ(result.Marks.size(), 500000u);
    const fs::path one = Write("one.gpx", "<gpx>\n<wpt lat=\"0\" lon=\"0\"/></gpx>");
    EXPECT_EQ(ErrorText([&] { ReadImportFile(one, result); }),
              "Cannot import file \"" + one.string() +
                  "\". Line 2: the import would take more than 500,000 marks, the most one import adds");

    std::string line = "<kml><Placemark><LineString><coordinates>";
    line.reserve(41 << 20);
    for (int i = 0; i <= 10000000; ++i)
        line += "0,0 ";
    const fs::path points = Write("points.kml", line + "</coordinates></LineString></Placemark></kml>");
    line = {};
    EXPECT_EQ(ErrorText([&] { ReadImportFile(points); }),
              "Cannot import file \"" + points.string() +
                  "\". Line 1: the import would take more than 10,000,000 points, the most one import adds");

    // A placemark's description is copied to each of its geometries: 4,097 copies of
    // 64 KB go beyond what one import keeps.
    std::string copies = "<kml><Placemark><description>" + std::string(65536, 'd') + "</description><MultiGeometry>";
    for (int i = 0; i < 4097; ++i)
        copies += "<Point><coordinates>0,0</coordinates></Point>";
    const fs::path text = Write("text.kml", copies + "</MultiGeometry></Placemark></kml>");
    EXPECT_EQ(ErrorText([&] { ReadImportFile(text); }),
              "Cannot import file \"" + text.string() +
                  "\". Line 1: the names and descriptions would take more than 256 MB, the most one import keeps");
}

TEST_F(TImportTest, KmzReadsItsFirstKmlEntry)
{
    const std::string kml = Kml("<Placemark><name>In zip</name><Point><coordinates>1,2</coordinates></Point></Placemark>");
    for (TZipCompressionType compression : {ctMaximum, ctNone}) {
        const fs::path path = Dir / "a.kmz";
        ZipArchive::CreateEmptyArchive(path);
        ZipArchive zip;
        zip.CompressionType = compression;
        zip.OpenArchive(path);
        zip.AddData("files/icon.png", "not a picture", 0, 0x20);
        zip.AddData("doc.KML", kml, 0, 0x20);
        zip.AddData("second.kml", Kml(""), 0, 0x20);
        zip.CloseArchive();
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        TImportResult r = ReadImportFile(path);
        ASSERT_EQ(r.Marks.size(), 1u);
        EXPECT_EQ(r.Marks[0].Name, "In zip");
        EXPECT_EQ(r.DocumentsNotRead, 1);
        fs::remove(path);
    }

    // Info-ZIP's ZIP64 records, as other tools read them.
    std::ofstream(Dir / "doc.kml", std::ios::binary) << kml;
    ASSERT_EQ(RunCommandLine("cd '" + Dir.string() + "' && zip -q -fz z64.kmz doc.kml").Code, 0);
    EXPECT_EQ(ReadImportFile(Dir / "z64.kmz").Marks.at(0).Name, "In zip");

    // A document said to inflate beyond what one import reads, and one that inflates
    // a thousand times: refused before anything is inflated.
    const fs::path big = Dir / "big.kmz";
    ZipArchive::CreateEmptyArchive(big);
    {
        ZipArchive zip;
        zip.OpenArchive(big);
        zip.AddData("big.kml", kml, 0, 0x20);
        zip.AddData("bomb.kml", "<kml>" + std::string(2 << 20, ' ') + "</kml>", 0, 0x20);
    }
    std::string archive;
    {
        std::ifstream in(big, std::ios::binary);
        archive.assign(std::istreambuf_iterator<char>(in), {});
    }
    const size_t central = archive.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    archive.replace(central + 24, 4, std::string("\x00\x00\x00\x21", 4)); // 528 MB
    std::ofstream(big, std::ios::binary | std::ios::trunc) << archive;
    EXPECT_EQ(ErrorText([&] { ReadImportFile(big); }),
              "Cannot import file \"" + big.string() + "\". The KML document \"big.kml\" in the archive inflates to "
              "more than 512 MB, the most this program reads from one document.");
    {
        ZipArchive zip;
        zip.OpenArchive(big);
        zip.RemoveEntry(0);
    }
    EXPECT_EQ(ErrorText([&] { ReadImportFile(big); }),
              "Cannot import file \"" + big.string() + "\". The KML document \"bomb.kml\" in the archive inflates to "
              "more than 100 times its compressed size, which this program refuses as a compression bomb.");

    const fs::path none = Dir / "none.kmz";
    ZipArchive::CreateEmptyArchive(none);
    EXPECT_EQ(ErrorText([&] { ReadImportFile(none); }),
              "Cannot import file \"" + none.string() + "\". The archive holds no KML document.");

    // A flipped byte in the stored document fails its check, wherever the parser stands.
    const fs::path damaged = Dir / "damaged.kmz";
    ZipArchive::CreateEmptyArchive(damaged);
    {
        ZipArchive zip;
        zip.CompressionType = ctNone;
        zip.OpenArchive(damaged);
        zip.AddData("doc.kml", kml, 0, 0x20);
    }
    std::string bytes;
    {
        std::ifstream in(damaged, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    bytes[bytes.find("In zip")] = 'X';
    std::ofstream(damaged, std::ios::binary | std::ios::trunc) << bytes;
    std::string message = ErrorText([&] { ReadImportFile(damaged); });
    EXPECT_NE(message.find("doc.kml, line "), std::string::npos) << message;
    EXPECT_NE(message.find("damaged"), std::string::npos) << message;

    // A truncated archive.
    const fs::path cut = Write("cut.kmz", bytes.substr(0, bytes.size() / 2));
    EXPECT_NE(ErrorText([&] { ReadImportFile(cut); }).find("Cannot import file"), std::string::npos);
}

TEST_F(TImportTest, KmzNetworkLinksAreFollowedWithinTheArchive)
{
    auto link = [](const std::string& href, const char* kind = "Link") {
        return "<NetworkLink><" + std::string(kind) + "><href>" + href + "</href></" + kind + "></NetworkLink>";
    };
    auto placemark = [](const std::string& name) {
        return "<Placemark><name>" + name + "</name><Point><coordinates>1,2</coordinates></Point></Placemark>";
    };
    const fs::path path = Dir / "links.kmz";
    ZipArchive::CreateEmptyArchive(path);
    {
        ZipArchive zip;
        zip.OpenArchive(path);
        // Addresses outside the archive, or climbing out of it, are not followed;
        // each document is read once, however often it is linked.
        zip.AddData("doc.kml",
                    Kml(link("layers/a.kml") + link("http://example.com/d.kml") + link("/d.kml") + link("../d.kml") +
                        link("layers/A.kml#x") + link("missing.kml") + placemark("root")),
                    0, 0x20);
        zip.AddData("layers/a.kml", Kml(placemark("a") + link("../doc.kml") + link("b%20c.kml", "Url") + link("c1.kml")),
                    0, 0x20);
        zip.AddData("layers/b c.kml", Kml(placemark("b c")), 0, 0x20);
        // A chain of links is followed five deep.
        for (int i = 1; i <= 5; ++i)
            zip.AddData("layers/c" + std::to_string(i) + ".kml",
                        Kml(placemark("c" + std::to_string(i)) + link("c" + std::to_string(i + 1) + ".kml")), 0, 0x20);
        zip.AddData("d.kml", Kml(placemark("d")), 0, 0x20);
    }
    TImportResult r = ReadImportFile(path);
    std::vector<std::string> names;
    for (const TImportedMark& mark : r.Marks)
        names.push_back(mark.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"root", "a", "b c", "c1", "c2", "c3", "c4"}));
    EXPECT_EQ(r.DocumentsNotRead, 2); // c5 and d
}
