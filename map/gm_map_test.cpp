// The map view on a fake web view: loading, creating the map, script calls and
// their checks, the web bridge and the event poll.
#include "map_test_fixture.h"

#include <QRegularExpression>

#include <filesystem>
#include <fstream>

#include "map_settings.h"
#include "test_helpers.h"

using TMapView = TMapFixture;

TEST_F(TMapView, FirstActivationCreatesTheMapAndMakesTheThreeItems)
{
    EXPECT_EQ(Map.State(), TMapState::Off);
    EXPECT_EQ(GMMarker1.ObjectId(), 1);
    EXPECT_EQ(GMPolyline1.ObjectId(), 2);
    EXPECT_EQ(GMPolygon1.ObjectId(), 3);

    Map.SetActive(true);
    EXPECT_EQ(Map.State(), TMapState::Loading);
    EXPECT_TRUE(Map.PollTimerRunning());
    Map.SetActive(true); // a second switch-on loads nothing more
    EXPECT_TRUE(View.Scripts.isEmpty());
    View.Complete();
    EXPECT_EQ(Map.State(), TMapState::Live);
    EXPECT_EQ(PageLoadedReports, 1);
    EXPECT_EQ(TakeScripts(), QStringList({kDoMap, "DeleteObjects(1)", MarkerText(), "DeleteObjects(2)",
                                          PolylineText(), "DeleteObjects(3)", PolygonText()}));
    EXPECT_TRUE(Errors.empty());

    // A document-complete report of another frame is not the page.
    emit View.DocumentComplete(999);
    EXPECT_EQ(PageLoadedReports, 1);

    Map.SetActive(false);
    EXPECT_EQ(Map.State(), TMapState::Off);
    EXPECT_FALSE(Map.PollTimerRunning());
    Map.SetActive(false);
    // The blank page completing while off raises nothing.
    View.Complete();
    EXPECT_EQ(PageLoadedReports, 1);
    EXPECT_TRUE(View.Scripts.isEmpty());
}

TEST_F(TMapView, PageTextHasCrLfLinesAndTheKeyOnlyWhereItBelongs)
{
    const QString text = Map.PageText();
    EXPECT_TRUE(text.startsWith("<!-- saved from url=(0014)about:internet -->\r\n<!DOCTYPE html>\r\n"));
    EXPECT_TRUE(text.endsWith("</html>\r\n"));
    EXPECT_FALSE(text.contains(QRegularExpression("[^\r]\n")));
    EXPECT_FALSE(text.contains("API_KEY"));
    EXPECT_TRUE(text.contains("&amp;key=\"></script> -->"));
    EXPECT_EQ(text.count("/maps/api/js?"), 2);

    // With a key the keyed element is the one that loads; the key cannot leave the address.
    Map.SetAPIKey("  AIza\"><script>x</script>&k  ");
    EXPECT_EQ(Map.APIKey(), "AIza\"><script>x</script>&k");
    const QString keyed = Map.PageText();
    EXPECT_EQ(keyed.count("/maps/api/js?"), 1);
    EXPECT_TRUE(keyed.contains("&amp;key=AIza%22%3E%3Cscript%3Ex%3C%2Fscript%3E%26k\"></script>\r\n"));
    EXPECT_FALSE(keyed.contains("<!-- <script"));
}

TEST_F(TMapView, OsmPageTextCarriesLeafletAndTheTileSettingsAsData)
{
    Map.Provider = TMapProvider::Osm;
    Map.Tiles = {"http://127.0.0.1:1/{z}/{x}/{y}.png?a=1&b='2'", "Tiles </script><script>alert(1)</script>", 17};
    const QString text = Map.PageText();
    EXPECT_TRUE(text.endsWith("</html>\r\n"));
    EXPECT_FALSE(text.contains(QRegularExpression("[^\r]\n")));
    for (const char* gone : {"@LEAFLET", "@PAGE_", "@SETTINGS", "sourceMappingURL", "url(images/",
                             "<script>alert(1)"})
        EXPECT_FALSE(text.contains(gone)) << gone;
    EXPECT_TRUE(text.contains(".leaflet-control-attribution") && text.contains(".L={}"));
    EXPECT_TRUE(text.contains(R"("url":"http://127.0.0.1:1/{z}/{x}/{y}.png?a=1&b='2'")"));
    EXPECT_TRUE(text.contains(R"("attribution":"Tiles \u003c/script>\u003cscript>alert(1)\u003c/script>")"));
    EXPECT_TRUE(text.contains(R"("maxZoom":17)"));
    // The page's forms are those the map view and the poll read.
    Show();
    EXPECT_EQ(Map.State(), TMapState::Live);
    EXPECT_EQ(View.Field("eventsMarks", "markKey"), "0");
    EXPECT_EQ(View.Field("eventsPolyline", "linkCompZIndex"), "0");
}

TEST(MapSettings, ProviderAndTilesFromTheFileOrTheEnvironment)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "marks_map_settings_test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "program");
    std::filesystem::create_directories(dir / "config" / "marks-editor");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((dir / "config").string()));
    const auto write = [](const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    };
    const auto read = [&] { return ReadMapSettings(dir / "program"); };

    TMapSettings settings = read();
    EXPECT_EQ(settings.Provider, TMapProvider::Osm);
    EXPECT_EQ(settings.Tiles.Url, "https://tile.openstreetmap.org/{z}/{x}/{y}.png");
    EXPECT_EQ(settings.Tiles.Attribution, "");
    EXPECT_EQ(settings.Tiles.MaxZoom, 19);
    // The user's configuration folder serves when the program's folder has no file.
    write(dir / "config" / "marks-editor" / "marks-editor.ini", "[Map]\nApiKey= key \n");
    settings = read();
    EXPECT_EQ(settings.ApiKey, "key");
    EXPECT_EQ(settings.Provider, TMapProvider::Google); // a key chooses Google unless told otherwise
    write(dir / "program" / "marks-editor.ini",
          "[Map]\nApiKey=key\nProvider=OSM\nTileUrl=http://tiles.example/{z}/{x}/{y}.png\n"
          "TileAttribution=\xC2\xA9 Example\nMaxZoom=17\n");
    settings = read();
    EXPECT_EQ(settings.Provider, TMapProvider::Osm);
    EXPECT_EQ(settings.Tiles.Url, "http://tiles.example/{z}/{x}/{y}.png");
    EXPECT_EQ(settings.Tiles.Attribution, "© Example");
    EXPECT_EQ(settings.Tiles.MaxZoom, 17);
    qputenv("MARKS_MAP_PROVIDER", "google");
    qputenv("MARKS_MAP_MAX_ZOOM", "99");
    qputenv("MARKS_MAP_TILE_URL", "http://127.0.0.1/{z}/{x}/{y}.png");
    settings = read();
    EXPECT_EQ(settings.Provider, TMapProvider::Google);
    EXPECT_EQ(settings.Tiles.MaxZoom, 19);
    EXPECT_EQ(settings.Tiles.Url, "http://127.0.0.1/{z}/{x}/{y}.png");
    for (const char* variable : {"MARKS_MAP_PROVIDER", "MARKS_MAP_MAX_ZOOM", "MARKS_MAP_TILE_URL", "XDG_CONFIG_HOME"})
        qunsetenv(variable);
    std::filesystem::remove_all(dir);
}

TEST_F(TMapView, ScriptCallChecksInOrder)
{
    TGMMap bare;
    EXPECT_EQ(ErrorText([&] { bare.ExecuteScript("MapGetCenter", ""); }), "WebBrowser не определен");
    EXPECT_EQ(ErrorText([&] { Map.ExecuteScript("MapGetCenter", ""); }), "Не активно");
    Map.SetActive(true);
    EXPECT_EQ(ErrorText([&] { Map.ExecuteScript("MapGetCenter", ""); }), "Начальная страница не загружается");
    View.Complete();
    TakeScripts();

    EXPECT_TRUE(Map.ExecuteScript("MapGetCenter", ""));
    EXPECT_EQ(TakeScripts(), QStringList{"MapGetCenter()"});
    // Each call and the read of its result are one round trip.
    const int before = View.Exchanges;
    Map.SetCenter(1.5, -2);
    EXPECT_EQ(View.Exchanges, before + 1);
    EXPECT_EQ(TakeScripts(), QStringList{"MapSetCenter(1.5,-2)"});

    // The page's error is raised unchanged; a page without the map, or without the field, is message 2.
    View.OnScript = [](const QString& s) -> std::optional<QString> {
        if (s.startsWith("Broken"))
            return QString("Unexpected token ')'");
        return std::nullopt;
    };
    EXPECT_EQ(ErrorText([&] { Map.ExecuteScript("Broken", ""); }), "Unexpected token ')'");
    View.SetField("mapdata", "mapisnull", "1");
    View.MapExists = false;
    EXPECT_EQ(ErrorText([&] { Map.ExecuteScript("MapGetCenter", ""); }), "Карта еще не создана");
    View.LoadContent("<form id=\"other\" name=\"other\"><input type=\"hidden\" name=\"x\" value=\"1\"></form>");
    View.MapExists = true;
    EXPECT_EQ(ErrorText([&] { Map.ExecuteScript("MapGetCenter", ""); }), "Карта еще не создана");
    // SetCenter while off or loading does nothing.
    Map.SetActive(false);
    Map.SetCenter(1, 2);
    EXPECT_EQ(ErrorText([&] { Map.GetCenter(nullptr); }), "(no error)");
}

TEST_F(TMapView, WebBridgeReadsTheLiveDocument)
{
    Show();
    TWebControl& web = Map.Web();
    View.SetField("mapdata", "zoom", "  12&nbsp;");
    EXPECT_EQ(web.GetFieldValue("MAPDATA", "Zoom", "d"), "12");
    EXPECT_EQ(web.GetFieldValueAsInteger("mapdata", "zoom", 5), 12);
    View.SetField("mapdata", "lat", "55,5");
    EXPECT_EQ(web.GetFieldValueAsReal("mapdata", "lat", -1), -1);
    View.SetField("mapdata", "lat", "5.5e-7");
    EXPECT_EQ(web.GetFieldValueAsReal("mapdata", "lat", -1), 5.5e-7);
    EXPECT_EQ(web.GetFieldValue("mapdata", "nothing", "d"), "d");
    EXPECT_EQ(web.GetFieldValue("noform", "lat", "d"), "d");
    View.SetField("mapdata", "zoom", "1");
    EXPECT_TRUE(web.GetFieldValueAsBoolean("mapdata", "zoom"));
    View.SetField("mapdata", "zoom", "2");
    EXPECT_FALSE(web.GetFieldValueAsBoolean("mapdata", "zoom"));

    web.SetFieldValue("mapdata", "zoom", "7");
    EXPECT_EQ(View.Field("mapdata", "zoom"), "7");
    // The form list is the one of the last read: a form the document lost is still
    // known; a form never read is out of bounds.
    EXPECT_EQ(ErrorText([&] { web.SetFieldValue("nosuchform", "x", "1"); }), "Index out of bounds.");
}

TEST_F(TMapView, PollTakesEventsResetsFlagsAndRecordsTheView)
{
    Show();
    TakeScripts();
    QStringList events;
    Map.OnMapEvent = [&](const QString& e) { events << e; };

    View.SetField("eventsMap", "eventfired", "1");
    View.SetField("eventsMap", "zoomChanged", "1");
    View.SetField("eventsMap", "zoom", "30");
    View.SetField("eventsMap", "centerChange", "1");
    View.SetField("eventsMap", "lat", "55.75");
    View.SetField("eventsMap", "lng", "37.6");
    View.SetField("eventsMap", "mapTypeId_changed", "1");
    View.SetField("eventsMap", "mapTypeId", "mtOSM");
    View.SetField("eventsMap", "tilesLoaded", "1");
    const int before = View.Exchanges;
    Map.PollTick();
    EXPECT_EQ(View.Exchanges, before + 1); // one round trip per tick
    EXPECT_TRUE(Errors.empty());
    EXPECT_EQ(events, QStringList({"centerChange", "mapTypeId_changed", "tilesLoaded", "zoomChanged"}));
    EXPECT_EQ(Map.RequiredProp.Center.Lat(), 55.75);
    EXPECT_EQ(Map.RequiredProp.Center.Lng(), 37.6);
    EXPECT_EQ(Map.RequiredProp.Zoom, 21);
    EXPECT_EQ(Map.RequiredProp.MapType, mtOSM);
    EXPECT_EQ(PageLoadedReports, 2); // tiles loaded: reported, the map is not created again
    EXPECT_EQ(TakeScripts(), QStringList({"PolylineGetPath(2,0)", "PolylineGetPath(3,0)"}));
    for (const char* flag : {"eventfired", "zoomChanged", "centerChange", "mapTypeId_changed", "tilesLoaded"})
        EXPECT_EQ(View.Field("eventsMap", flag), "0") << flag;
    EXPECT_EQ(View.Field("eventsMap", "zoom"), "30"); // values stay, flags are reset

    // A map type name the enumeration does not have changes nothing.
    View.SetField("eventsMap", "eventfired", "1");
    View.SetField("eventsMap", "mapTypeId_changed", "1");
    View.SetField("eventsMap", "mapTypeId", "satellite");
    Map.PollTick();
    EXPECT_EQ(Map.RequiredProp.MapType, mtOSM);

    // A drag end asks the page for the centre.
    View.SetField("eventsMap", "eventfired", "1");
    View.SetField("eventsMap", "dragEnd", "1");
    Map.SetCenter(10, 20);
    TakeScripts();
    Map.PollTick();
    EXPECT_EQ(TakeScripts(), QStringList({"PolylineGetPath(2,0)", "PolylineGetPath(3,0)", "MapGetCenter()"}));
    EXPECT_EQ(Map.RequiredProp.Center.Lat(), 10);

    // Hide and Show: the new map starts where the poll left the view.
    Map.SetActive(false);
    Map.SetActive(true);
    View.Complete();
    EXPECT_EQ(TakeScripts().value(0), QString(kDoMap).replace("DoMap(0,0,'mtROADMAP',8,", "DoMap(10,20,'mtOSM',21,"));
}

TEST_F(TMapView, PollErrorsAreShownOnceAndTicksWaitForTheirBox)
{
    Show();
    // An id that no component has, then one of the wrong kind.
    View.SetField("eventsMarker", "eventfired", "1");
    View.SetField("eventsMarker", "click", "1");
    View.SetField("eventsMarker", "linkCompId", "9");
    Map.PollTick();
    EXPECT_EQ(Errors, std::vector<std::string>{"JavaScript Id не существует"});
    EXPECT_EQ(View.Field("eventsMarker", "click"), "0");

    View.SetField("eventsMarker", "eventfired", "1");
    View.SetField("eventsMarker", "click", "1");
    View.SetField("eventsMarker", "linkCompId", "2");
    Map.PollTick();
    EXPECT_EQ(Errors.back(), "Id из JavaScript неверно");
    Map.PollTick(); // a good tick in between, so the same message counts as new
    View.SetField("eventsPolyline", "eventfired", "1");
    View.SetField("eventsPolyline", "dblclick", "1");
    View.SetField("eventsPolyline", "linkCompId", "1");
    Map.PollTick();
    EXPECT_EQ(Errors.size(), 3u);
    EXPECT_EQ(Errors.back(), "Id из JavaScript неверно");

    // A page error that repeats on every tick is shown once.
    Errors.clear();
    View.OnScript = [](const QString& s) -> std::optional<QString> {
        if (s.startsWith("PolylineGetPath"))
            return QString("boom");
        return std::nullopt;
    };
    for (int i = 0; i < 5; ++i)
        Map.PollTick();
    EXPECT_EQ(Errors, std::vector<std::string>{"boom"});
    View.OnScript = nullptr;
    Map.PollTick();
    View.OnScript = [](const QString& s) -> std::optional<QString> {
        if (s.startsWith("PolylineGetPath"))
            return QString("boom");
        return std::nullopt;
    };
    Map.PollTick();
    EXPECT_EQ(Errors.size(), 2u); // after a good tick the error counts as new

    // While the error box is open, ticks do nothing.
    View.OnScript = [](const QString&) -> std::optional<QString> { return QString("other"); };
    int exchangesInBox = -1;
    Map.OnError = [&](const std::string&) {
        const int before = View.Exchanges;
        Map.PollTick();
        exchangesInBox = View.Exchanges - before;
    };
    Map.PollTick();
    EXPECT_EQ(exchangesInBox, 0);
}

TEST_F(TMapView, NoTickWhileAScriptRuns)
{
    Show();
    int exchangesInside = -1;
    View.OnScript = [&](const QString& s) -> std::optional<QString> {
        if (s == "MapGetCenter()") {
            const int before = View.Exchanges;
            Map.PollTick();
            exchangesInside = View.Exchanges - before;
        }
        return std::nullopt;
    };
    Map.ExecuteScript("MapGetCenter", "");
    EXPECT_EQ(exchangesInside, 0);
}

TEST_F(TMapView, PathCheckTakesOnlyAChangedPath)
{
    Show();
    int changes = 0;
    GMPolyline1.OnPathChange = [&](TBasePolyline&) { ++changes; };
    Polyline.SetPath({{55.7558, 37.6173}, {59.93, 30.33}});
    TakeScripts();

    // The same points: nothing changes, nothing is sent.
    Map.PollTick();
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(TakeScripts(), QStringList({"PolylineGetPath(2,0)", "PolylineGetPath(3,0)"}));

    // The page holds more digits than were sent, or one point more: the list is replaced, nothing is sent.
    View.Paths["2,0"] = "55.755800000000001|37.6173;59.93|30.33;1|2";
    Map.PollTick();
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(Polyline.LinePoints.Count(), 3u);
    EXPECT_EQ(Polyline.LinePoints[2].Lng(), 2);
    EXPECT_EQ(TakeScripts(), QStringList({"PolylineGetPath(2,0)", "PolylineGetPath(3,0)"}));
    Map.PollTick();
    EXPECT_EQ(changes, 1);

    // A piece without two parts ends the list there.
    View.Paths["2,0"] = "1|2;3;5|6";
    Map.PollTick();
    EXPECT_EQ(Polyline.LinePoints.Count(), 1u);

    // A part that is not a number: the error names it, the points read so far stay.
    View.Paths["2,0"] = "7|8;x1|2";
    Map.PollTick();
    EXPECT_EQ(Errors, std::vector<std::string>{"x1 is not a valid real value"});
    ASSERT_EQ(Polyline.LinePoints.Count(), 1u);
    EXPECT_EQ(Polyline.LinePoints[0].Lat(), 7);

    // An empty path text, or a line that does not take page paths, changes nothing.
    View.Paths["2,0"] = "";
    View.SetField("polylinedata", "path", "");
    Map.PollTick();
    EXPECT_EQ(Polyline.LinePoints.Count(), 1u);
    TLineStyle style = Polyline.Style();
    style.AutoUpdatePath = false;
    Polyline.SetStyle(style);
    TakeScripts();
    Map.PollTick();
    EXPECT_EQ(TakeScripts(), QStringList({"PolylineGetPath(3,0)"}));
}

TEST_F(TMapView, ItemEventsAreCheckedThenHandled)
{
    Show();
    QStringList seen;
    GMMarker1.OnItemEvent = [&](TGMLinkedComponent&, const QString& e, double lat, double lng, int index) {
        seen << QString("%1 %2 %3 %4").arg(e).arg(lat).arg(lng).arg(index);
    };
    EXPECT_EQ(ErrorText([&] { GMMarker1.TakeEvent("click", {1.0, 2.0}); }), "Неверное количество параметров");
    EXPECT_EQ(ErrorText([&] { GMMarker1.TakeEvent("click", {1.0, QString("2"), 0}); }), "Неверный Тип параметра");
    EXPECT_EQ(ErrorText([&] { GMMarker1.TakeEvent("click", {1.0, 2.0, 1}); }), "Неверное значение параметра");
    EXPECT_TRUE(seen.isEmpty());

    // From the page: a marker drag end moves the item without sending it back.
    TakeScripts();
    View.SetField("eventsMarker", "eventfired", "1");
    View.SetField("eventsMarker", "dragEnd", "1");
    View.SetField("eventsMarker", "linkCompId", "1");
    View.SetField("eventsMarker", "lat", "4.5");
    View.SetField("eventsMarker", "lng", "-3");
    Map.PollTick();
    EXPECT_TRUE(Errors.empty());
    EXPECT_EQ(seen, QStringList{"dragEnd 4.5 -3 0"});
    EXPECT_EQ(Marker.Position.Lat(), 4.5);
    EXPECT_FALSE(TakeScripts().join(' ').contains("MakeMarker"));
}

TEST_F(TMapView, PageWaitsForTheBlankDocument)
{
    View.Document = false;
    Map.SetActive(true);
    View.Document = true;
    View.Complete(); // the blank document arrives; now the page text is loaded into it
    EXPECT_EQ(PageLoadedReports, 0);
    EXPECT_EQ(Map.State(), TMapState::Loading);
    View.Complete();
    EXPECT_EQ(PageLoadedReports, 1);
    EXPECT_EQ(Map.State(), TMapState::Live);
}

TEST_F(TMapView, CreateMapFailureLeavesTheMapLoaded)
{
    View.OnScript = [](const QString& s) -> std::optional<QString> {
        if (s.startsWith("DoMap"))
            return QString("google is not defined");
        return std::nullopt;
    };
    Show();
    EXPECT_EQ(Errors, std::vector<std::string>{"google is not defined"});
    EXPECT_EQ(Map.State(), TMapState::Loaded);
    // No poll without a map.
    const int before = View.Exchanges;
    Map.PollTick();
    EXPECT_EQ(View.Exchanges, before);
}
