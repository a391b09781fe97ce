#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "file_io.h"
#include "geojson_writer.h"
#include "gpx_writer.h"
#include "kml_writer.h"
#include "mp_writer.h"
#include "record_text.h"
#include "wpt_writer.h"

namespace {

TMarkData Mark(std::string name, std::vector<std::pair<long double, long double>> lonLat, std::string descr = {})
{
    TMarkData m;
    m.name = std::move(name);
    m.descr = std::move(descr);
    m.visible = true;
    for (auto [lon, lat] : lonLat)
        m.points.push_back({lon, lat});
    return m;
}

std::string Document(const char* documentTemplate, const TExportState& state)
{
    return FillTemplate(documentTemplate, state.FExportText);
}

} // namespace

TEST(KmlWriter, EmptyDocument)
{
    TExportState state;
    EXPECT_EQ(Document(kKmlDocument, state),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<kml xmlns=\"http://earth.google.com/kml/2.0\">\r\n"
              "<Document>\r\n</Document>\r\n</kml>");
}

TEST(KmlWriter, PointLineAndAreaTemplates)
{
    TExportState state;
    TMarkData point = Mark("Hut \xc8\xe7\xe1\xe0", {{37.6L, 55.75L}}, "Line 1\r\nLine 2");
    point.picname = "hut.png";
    AddKmlPlacemark(state, point, "/opt/marks/MarksIcons/");
    EXPECT_EQ(state.FExportText,
              "\t\t<Placemark>\r\n"
              "\t\t\t<name>Hut \xd0\x98\xd0\xb7\xd0\xb1\xd0\xb0</name>\r\n"
              "     <description>\r\n"
              "       <![CDATA[Line 1\r\nLine 2]]>\r\n"
              "     </description>\r\n"
              "\t    <Style>\r\n"
              "    \t\t<IconStyle>\r\n"
              "    \t  \t<Icon>\r\n"
              "\t\t        <href>/opt/marks/MarksIcons/hut.png</href>\r\n"
              "\t      \t</Icon>\r\n"
              "\t     \t</IconStyle>\r\n"
              "\t    </Style>\r\n"
              "     <Point>\r\n"
              "      <coordinates>37.600000,55.750000,0 </coordinates>\r\n"
              "     </Point>\r\n"
              "  </Placemark>\r\n");

    state = {};
    state.FKmzMode = true;
    AddKmlPlacemark(state, point, "/opt/marks/MarksIcons/");
    EXPECT_NE(state.FExportText.find("<href>hut.png</href>"), std::string::npos);

    state = {};
    TMarkData line = Mark("Road", {{1, 2}, {3, 4}, {5.5L, -6.25L}});
    line.color1 = 255;
    AddKmlPlacemark(state, line, "");
    EXPECT_EQ(state.FExportText,
              "\t\t<Placemark>\r\n"
              "\t\t\t<name>Road</name>\r\n"
              "     <description>\r\n"
              "       <![CDATA[]]>\r\n"
              "     </description>\r\n"
              "\t    <Style>\r\n"
              "    \t\t<LineStyle>\r\n"
              "\t\t      <color>0000FF</color>\r\n"
              "\t\t\t    <width>3</width>\r\n"
              "\t       \t</LineStyle>\r\n"
              "\t    </Style>\r\n"
              "\t\t  <LineString>\r\n"
              "\t\t\t  <tessellate>1</tessellate>\r\n"
              "\t\t\t  <coordinates>1.000000,2.000000,0 3.000000,4.000000,0 5.500000,-6.250000,0 \t\t\t  </coordinates>\r\n"
              "\t\t\t</LineString>\r\n"
              "\t\t</Placemark>\r\n");

    state = {};
    TMarkData area = Mark("Lake", {{1, 2}, {3, 4}, {5, 6}, {1, 2}});
    area.color1 = 255;
    area.color2 = 65280;
    AddKmlPlacemark(state, area, "");
    EXPECT_EQ(state.FExportText,
              "\t\t<Placemark>\r\n"
              "\t\t\t<name>Lake</name>\r\n"
              "     <description>\r\n"
              "       <![CDATA[]]>\r\n"
              "     </description>\r\n"
              "\t    <Style>\r\n"
              "    \t\t<LineStyle>\r\n"
              "\t\t      <color>0000FF</color>\r\n"
              "\t\t\t    <width>3</width>\r\n"
              "\t     \t</LineStyle>\r\n"
              "    \t\t<PolyStyle>\r\n"
              "      \t\t<color>00FF00</color>\r\n"
              "    \t\t</PolyStyle>\r\n"
              "\t    </Style>\r\n"
              "     <Polygon><outerBoundaryIs>\r\n"
              "\t\t    <LinearRing>\r\n"
              "\t\t\t    <tessellate>1</tessellate>\r\n"
              "\t\t\t      <coordinates>1.000000,2.000000,0 3.000000,4.000000,0 5.000000,6.000000,0 "
              "1.000000,2.000000,0 \t\t\t  </coordinates>\r\n"
              "\t\t\t</LinearRing>\r\n"
              "    </outerBoundaryIs></Polygon>\r\n"
              "\t\t</Placemark>\r\n");
    EXPECT_EQ(state.FExportCount, 1);
}

TEST(KmlWriter, ColoursEscapesAndMarksWithoutPoints)
{
    EXPECT_EQ(KmlColor(0), "000000");
    EXPECT_EQ(KmlColor(0x1234567), "1234567");
    EXPECT_EQ(KmlColor(-1), "FFFFFFFF");

    TExportState state;
    AddKmlPlacemark(state, Mark("Nothing", {}), "");
    EXPECT_EQ(state.FExportCount, 0);
    EXPECT_TRUE(state.FExportText.empty());

    TMarkData odd = Mark("Tom & Jerry <b>\x01", {{1, 2}}, "a ]]> b");
    odd.picname = "x&y.png";
    AddKmlPlacemark(state, odd, "/icons/");
    EXPECT_NE(state.FExportText.find("<name>Tom &amp; Jerry &lt;b&gt;</name>"), std::string::npos);
    EXPECT_NE(state.FExportText.find("<![CDATA[a ]]]]><![CDATA[> b]]>"), std::string::npos);
    EXPECT_NE(state.FExportText.find("<href>/icons/x&amp;y.png</href>"), std::string::npos);
}

TEST(KmlWriter, IconNamesSortedWithoutCaseDuplicates)
{
    TExportState state;
    for (const char* icon : {"b.png", "A.png", "a.PNG", "", "", "\xc0.png", "\xe0.png"}) {
        TMarkData m = Mark("m", {{1, 2}});
        m.picname = icon;
        AddKmlPlacemark(state, m, "");
    }
    EXPECT_EQ(std::vector<std::string>(state.FExportIcons.begin(), state.FExportIcons.end()),
              (std::vector<std::string>{"", "A.png", "b.png", "\xc0.png"}));
    EXPECT_EQ(state.FExportCount, 7);

    // Alphabetical in the locale, not by code: "Ananas" comes before "yolka" although
    // the Cyrillic Yo has a smaller code than A; case variants of Yo are one name.
    TIconNameList icons;
    for (const char* icon : {"\xb8\xeb\xea\xe0.png", "\xc0\xed\xe0\xed\xe0\xf1.png", "\xa8\xcb\xca\xc0.PNG",
                             "a\xad" "b.png", "ab.png"})
        icons.insert(icon);
    EXPECT_EQ(std::vector<std::string>(icons.begin(), icons.end()),
              (std::vector<std::string>{"ab.png", "a\xad" "b.png", "\xc0\xed\xe0\xed\xe0\xf1.png",
                                        "\xb8\xeb\xea\xe0.png"}));
}

TEST(WptWriter, HeaderAndWaypoints)
{
    TExportState state;
    EXPECT_EQ(Document(kWptHeader, state),
              "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nReserved 2\r\nhttp://www.vexa-terrun.example/\r\n");
    AddWptWaypoint(state, Mark("Camp, north", {{30.5L, 60.25L}}, "Spring, 2 km"));
    AddWptWaypoint(state, Mark("\xc0rea", {{-70.1L, -33.45L}, {1, 2}, {-70.1L, -33.45L}}));
    AddWptWaypoint(state, Mark("None", {}));
    AddWptWaypoint(state, Mark("Two\r\nlines", {{1, 2}}, "a\nb\rc\r\n"));
    EXPECT_EQ(state.FExportText,
              "-1,Camp  north,60.250000,30.500000,,2,1,5,,65535,Spring  2 km,0,0,0,-777,7,0,17,7,5.0,0,,,\r\n"
              "-1,\xc0rea,-33.450000,-70.100000,,2,1,5,,65535,,0,0,0,-777,7,0,17,7,5.0,0,,,\r\n"
              "-1,Two lines,2.000000,1.000000,,2,1,5,,65535,a b c ,0,0,0,-777,7,0,17,7,5.0,0,,,\r\n");
    EXPECT_EQ(state.FExportCount, 3);
    EXPECT_EQ(NoCommas(",a,,b,"), " a  b ");
}

// GPX and GeoJSON: a point, a line and an area with every text XML and JSON must
// escape (control characters included), the colours, and what is left out.
TEST(GpxAndGeoJsonWriters, ShapesTextsAndColours)
{
    TMarkData point = Mark("Tom & <Jerry>\x01\x1f \xc8", {{37.6L, 55.75L}}, "a\r\n\"b\"\t\\");
    point.picname = "hut.png";
    point.color1 = 0x0000FF;
    point.color2 = 0x123456;
    const TMarkData line = Mark("Road", {{1, 2}, {3, 4.5L}});
    const TMarkData area = Mark("Field", {{0, 0}, {0, 1}, {1, 1}, {0, 0}});
    const TMarkData none = Mark("Nothing", {});
    const TMarkData broken = Mark("Broken", {{1, 2}, {std::numeric_limits<long double>::infinity(), 1}, {3, 4}});

    const std::vector<TMarkData> marks{point, line, area, none, broken};
    TExportState gpx;
    for (const TMarkData& m : marks) {
        AddGpxWaypoint(gpx, MarkViewOf(m));
        AddGpxTrack(gpx, MarkViewOf(m));
    }
    EXPECT_EQ(gpx.FExportText, "<wpt lat=\"55.750000\" lon=\"37.600000\">\r\n"
                               "  <name>Tom &amp; &lt;Jerry&gt; \xd0\x98</name>\r\n"
                               "  <desc>a\r\n\"b\"\t\\</desc>\r\n"
                               "  <sym>hut</sym>\r\n"
                               "</wpt>\r\n"
                               "<trk>\r\n  <name>Road</name>\r\n  <trkseg>\r\n"
                               "    <trkpt lat=\"2.000000\" lon=\"1.000000\"/>\r\n"
                               "    <trkpt lat=\"4.500000\" lon=\"3.000000\"/>\r\n"
                               "  </trkseg>\r\n</trk>\r\n"
                               "<trk>\r\n  <name>Field</name>\r\n  <trkseg>\r\n"
                               "    <trkpt lat=\"0.000000\" lon=\"0.000000\"/>\r\n"
                               "    <trkpt lat=\"1.000000\" lon=\"0.000000\"/>\r\n"
                               "    <trkpt lat=\"1.000000\" lon=\"1.000000\"/>\r\n"
                               "    <trkpt lat=\"0.000000\" lon=\"0.000000\"/>\r\n"
                               "  </trkseg>\r\n</trk>\r\n");
    EXPECT_EQ(gpx.FExportCount, 3);
    EXPECT_EQ(GpxSymbol("a.b.png"), "a.b");
    EXPECT_EQ(GpxSymbol(".hidden"), ".hidden");

    TExportState json;
    for (const TMarkData& m : marks)
        AddGeoJsonFeature(json, MarkViewOf(m), 7, "Cat \xc0");
    EXPECT_EQ(json.FExportText,
              "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[37.600000,55.750000]},"
              "\"properties\":{\"id\":7,\"name\":\"Tom & <Jerry>\\u0001\\u001f \xd0\x98\",\"descr\":\"a\\r\\n\\\"b\\\"\\t\\\\\","
              "\"category\":\"Cat \xd0\x90\",\"color1\":\"#ff0000\",\"color2\":\"#563412\",\"icon\":\"hut.png\"}},\r\n"
              "{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\",\"coordinates\":[[1.000000,2.000000],[3.000000,4.500000]]},"
              "\"properties\":{\"id\":7,\"name\":\"Road\",\"descr\":\"\",\"category\":\"Cat \xd0\x90\",\"color1\":\"#000000\","
              "\"color2\":\"#000000\",\"icon\":\"\"}},\r\n"
              // Drawn clockwise, the ring is written backwards: RFC 7946 wants outer rings anticlockwise.
              "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Polygon\",\"coordinates\":[[[0.000000,0.000000],[1.000000,1.000000],"
              "[0.000000,1.000000],[0.000000,0.000000]]]},"
              "\"properties\":{\"id\":7,\"name\":\"Field\",\"descr\":\"\",\"category\":\"Cat \xd0\x90\",\"color1\":\"#000000\","
              "\"color2\":\"#000000\",\"icon\":\"\"}}");
    EXPECT_EQ(json.FExportCount, 3);
}

TEST(MpWriter, HeaderSectionsAndTypes)
{
    TExportState state;
    EXPECT_EQ(Document(kMpHeader, state),
              "[IMG ID]\r\nID=00402377\r\nName=Vexa.Marks\r\nLblCoding=9\r\nCodePage=1251\r\nLevels=2\r\nLevel0=22\r\n"
              "Level1=21\r\nTransparent=Y\r\nPreprocess=F\r\nPOIIndex=N\r\nTreSize=511\r\nRgnLimit=1024\r\n"
              "[END-IMG ID]\r\n\r\n\r\n\r\n");

    const auto dir = std::filesystem::temp_directory_path() / "marks-mp-test";
    std::filesystem::create_directories(dir);
    WriteFileAtomically(dir / "Icons.ini", "; icons\r\n[hut.png]\r\n type = 2f00 \r\n[POLYGON]\r\nTYPE=4c\r\n[bare.png]\r\n"
                                           "Other=1\r\n[Hut.PNG]\r\nType=9999\r\n");
    TIconTypes types;
    types.LoadIconTypes(dir / "Icons.ini");
    types.LoadIconTypes(dir / "missing.ini");
    EXPECT_EQ(types.Entries(), (std::vector<std::string>{"hut.png=0x2f00", "POLYGON=0x4c", "bare.png=0x"}));
    EXPECT_EQ(types.IconTypeLine("HUT.png"), "Type=0x2f00");
    EXPECT_EQ(types.IconTypeLine("polygon"), "Type=0x4c");
    EXPECT_EQ(types.IconTypeLine("bare.png"), "Type=0x");
    EXPECT_EQ(types.IconTypeLine(""), "Type=0x0b00");

    // A later change of the file does not replace the first value read.
    WriteFileAtomically(dir / "Icons.ini", "[hut.png]\r\nType=1111\r\n");
    types.LoadIconTypes(dir / "Icons.ini");
    EXPECT_EQ(types.IconTypeLine("hut.png"), "Type=0x2f00");
    std::filesystem::remove_all(dir);

    TMarkData poi = Mark(" Well ", {{37.6L, 55.75L}});
    poi.picname = "unknown.png";
    AddMpObject(state, poi, types);
    TMarkData line = Mark(" Road ", {{1, 2}, {3, 4}, {5, 6}});
    AddMpObject(state, line, types);
    TMarkData area = Mark("Lake", {{1, 2}, {3, 4}, {1, 2}});
    AddMpObject(state, area, types);
    TMarkData hidden = Mark("Hidden", {{1, 2}});
    hidden.visible = false;
    AddMpObject(state, hidden, types);
    EXPECT_EQ(state.FExportText,
              "[POI]\r\nData0=(55.750000,37.600000)\r\nType=0x0b00\r\nLabel=Well\r\n[END]\r\n"
              "[POLYLINE]\r\nData0=(2.000000,1.000000),(4.000000,3.000000),(6.000000,5.000000)\r\nType=0x0b00\r\n"
              "Label= Road \r\n[END]\r\n"
              "[POLYGON]\r\nData0=(2.000000,1.000000),(4.000000,3.000000),(2.000000,1.000000)\r\nType=0x4c\r\n"
              "Label=Lake\r\n[END]\r\n");
    EXPECT_EQ(state.FExportCount, 3);
}

TEST(OneLineRecords, NoTextOfAMarkCutsOrSplitsTheFile)
{
    using namespace std::string_literals;
    EXPECT_EQ(OneLineText("b with\0nul\x1a\x07\ttab\r\nnext\rand\nlast\x7f"s), "b withnul\ttab next and last\x7f");

    // Written to disk, every record is whole and the count matches the records.
    const auto dir = std::filesystem::temp_directory_path() / "marks-one-line-records";
    std::filesystem::create_directories(dir);
    const std::vector<TMarkData> marks = {Mark("b with\0nul"s, {{1, 2}}, "d\0e\x1a"s),
                                          Mark(" \0poi\0 "s, {{3, 4}}),
                                          Mark("line\0\r\nname"s, {{1, 2}, {3, 4}}), Mark("after", {{5, 6}})};
    TExportState wpt;
    for (const TMarkData& m : marks)
        AddWptWaypoint(wpt, m);
    SaveExportText(FillTemplate(kWptHeader, wpt.FExportText), dir / "out.wpt");
    EXPECT_EQ(ReadWholeFile(dir / "out.wpt"),
              "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nReserved 2\r\nhttp://www.vexa-terrun.example/\r\n"
              "-1,b withnul,2.000000,1.000000,,2,1,5,,65535,de,0,0,0,-777,7,0,17,7,5.0,0,,,\r\n"
              "-1, poi ,4.000000,3.000000,,2,1,5,,65535,,0,0,0,-777,7,0,17,7,5.0,0,,,\r\n"
              "-1,line name,2.000000,1.000000,,2,1,5,,65535,,0,0,0,-777,7,0,17,7,5.0,0,,,\r\n"
              "-1,after,6.000000,5.000000,,2,1,5,,65535,,0,0,0,-777,7,0,17,7,5.0,0,,,\r\n");
    EXPECT_EQ(wpt.FExportCount, 4);

    // A NUL in Icons.ini cannot cut the file either.
    WriteFileAtomically(dir / "Icons.ini", "[POLYLINE]\r\nType=1\0" "2\r\n"s);
    TIconTypes types;
    types.LoadIconTypes(dir / "Icons.ini");
    TExportState mp;
    for (const TMarkData& m : marks)
        AddMpObject(mp, m, types);
    SaveExportText(FillTemplate(kMpHeader, mp.FExportText), dir / "out.mp");
    const std::string file = ReadWholeFile(dir / "out.mp");
    EXPECT_EQ(file.substr(file.find("[POI]")),
              "[POI]\r\nData0=(2.000000,1.000000)\r\nType=0x0b00\r\nLabel=b withnul\r\n[END]\r\n"
              "[POI]\r\nData0=(4.000000,3.000000)\r\nType=0x0b00\r\nLabel=poi\r\n[END]\r\n"
              "[POLYLINE]\r\nData0=(2.000000,1.000000),(4.000000,3.000000)\r\nType=0x12\r\nLabel=line name\r\n[END]\r\n"
              "[POI]\r\nData0=(6.000000,5.000000)\r\nType=0x0b00\r\nLabel=after\r\n[END]\r\n\r\n");
    EXPECT_EQ(mp.FExportCount, 4);
    std::filesystem::remove_all(dir);
}
