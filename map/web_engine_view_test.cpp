// The map view in a real web view (Qt WebEngine, offscreen), with the page's fake
// map API served in place of the online one and every other request blocked.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "client_dataset.h"
#include "fake_maps_api.h"
#include "code_page.h"
#include "gm_map.h"
#include "gm_marker.h"
#include "gm_polyline.h"
#include "gm_values.h"
#include "icon_cache.h"
#include "marks_on_map.h"
#include "marks_schema.h"
#include "show_mark.h"
#include "test_helpers.h"
#include "tile_server.h"
#include "web_control.h"
#include "web_engine_view.h"

namespace {

struct TEnvironment {
    QWebEngineProfile Profile;
    TFakeMapsApi Api{Profile, SourceTreeFile("map/page/fake_maps_api_test.js")};
    // The OpenStreetMap page's profile: tiles from the local service, nothing else.
    QWebEngineProfile OsmProfile;
    TRequestLog OsmRequests{OsmProfile};
    TTileServer Tiles;
};

TEnvironment* Environment = nullptr;

// Lets the event loop run until the condition holds (at most 30 s).
bool WaitFor(const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < 30000) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return condition();
}

void Pause(int ms)
{
    QElapsedTimer clock;
    clock.start();
    WaitFor([&] { return clock.elapsed() >= ms; });
}

class TWebEngineMap : public ::testing::Test {
protected:
    std::unique_ptr<QWidget> Panel = std::make_unique<QWidget>();
    TWebEngineView* View;
    TGMMap Map;
    TGMMarker GMMarker1;
    TGMPolyline GMPolyline1;
    TGMPolygon GMPolygon1;
    TMarker& Marker = GMMarker1.Add();
    TPolyline& Polyline = GMPolyline1.Add();
    TPolygon& Polygon = GMPolygon1.Add();
    std::vector<std::string> Errors;

    // osm: the OpenStreetMap page with the local tiles instead of the Google page.
    explicit TWebEngineMap(bool osm = false)
        : View(new TWebEngineView(Panel.get(), osm ? &Environment->OsmProfile : &Environment->Profile))
    {
        if (osm) {
            Map.Provider = TMapProvider::Osm;
            Map.Tiles.Url = Environment->Tiles.TileUrl();
        }
        View->Widget()->resize(400, 300);
        Map.SetWebBrowser(View);
        Map.AfterPageLoaded = [](TGMMap& map, bool first) {
            if (first)
                map.CreateMap();
        };
        Map.OnError = [this](const std::string& message) { Errors.push_back(message); };
        GMMarker1.SetMap(&Map);
        GMPolyline1.SetMap(&Map);
        GMPolygon1.SetMap(&Map);
    }

    void Show()
    {
        Map.SetActive(true);
        ASSERT_TRUE(WaitFor([&] { return Map.State() == TMapState::Live; }));
        ASSERT_TRUE(Errors.empty()) << Errors.front();
    }

    // The value of a JavaScript expression in the page, as text.
    QString Js(const QString& expression)
    {
        QString answer = "(no answer)";
        bool done = false;
        View->Page()->runJavaScript("String(" + expression + ")", [&](const QVariant& v) {
            answer = v.toString();
            done = true;
        });
        WaitFor([&] { return done; });
        return answer;
    }

    void ShowMark(const TMarkData& mark) { ShowMarkOnMap({Map, Marker, Polyline, Polygon}, mark); }
};

// Takes every address handed to the system's opener, whatever its scheme.
class TOpener : public QObject {
    Q_OBJECT

public:
    QStringList Opened;
    static constexpr const char* kSchemes[] = {"http", "https", "file", "javascript", "data", "about", "ftp"};

    TOpener()
    {
        for (const char* scheme : kSchemes)
            QDesktopServices::setUrlHandler(scheme, this, "Open");
    }
    ~TOpener() override
    {
        for (const char* scheme : kSchemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }
    Q_INVOKABLE void Open(const QUrl& url) { Opened << url.toString(); }
};

TMarkData Named(const std::string& name, long double lon, long double lat)
{
    TMarkData mark;
    mark.name = name;
    mark.points.push_back({lon, lat});
    return mark;
}

} // namespace

TEST_F(TWebEngineMap, ShowsTheSamplesPointLineAndArea)
{
    Show();
    EXPECT_EQ(Js("linkedCompList.map(function (o) { return o.TolmId + ':' + o.kind; }).join(' ')"),
              "1:Marker 2:Polyline 3:Polygon");
    EXPECT_EQ(Js("fakeMaps.map.options.zoom"), "8");

    TClientDataSet marks(MarksSchema());
    marks.LoadTableFile(std::string(MARKS_SOURCE_DIR) + "/sample/marks.sml");
    std::optional<TMarkData> point, line, area;
    for (marks.GoFirst(); !marks.AtEnd(); marks.GoNext()) {
        TMarkData mark = ReadCurrentMark(marks);
        if (mark.points.empty())
            continue;
        auto& slot = ShapeOf(mark.points) == msPoint ? point : ShapeOf(mark.points) == msLine ? line : area;
        if (!slot)
            slot = mark;
    }
    ASSERT_TRUE(point && line && area);

    ShowMark(*point);
    EXPECT_EQ(Js("linkedCompList[0].get('visible')"), "true");
    EXPECT_EQ(Js("linkedCompList[0].get('title')"),
              QString::fromStdU16String(Cp1251ToUtf16(point->name)));
    EXPECT_EQ(Js("linkedCompList[0].get('position').lat()"), QString::number(double(point->points[0].Lat), 'g', 15));
    EXPECT_EQ(Js("linkedCompList[1].get('visible') + ',' + linkedCompList[2].get('visible')"), "false,false");

    ShowMark(*line);
    EXPECT_EQ(Js("linkedCompList[0].get('visible') + ',' + linkedCompList[1].get('visible')"), "false,true");
    EXPECT_EQ(Js("linkedCompList[1].get('path').length"), QString::number(line->points.size()));
    EXPECT_EQ(Js("fakeMaps.fitted.length"), "1");
    // The page writes every digit of its numbers, the program sends 15: the first tick
    // may take the page's values; after that the poll changes nothing.
    int changes = 0;
    GMPolyline1.OnPathChange = [&](TBasePolyline&) { ++changes; };
    Map.PollTick();
    changes = 0;
    Map.PollTick();
    EXPECT_EQ(changes, 0);
    const size_t count = Polyline.LinePoints.Count();
    Js("linkedCompList[1].get('path').push(new google.maps.LatLng(1.25, 2.5))");
    Map.PollTick();
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(Polyline.LinePoints.Count(), count + 1);
    EXPECT_EQ(Polyline.LinePoints[count].Lng(), 2.5);

    ShowMark(*area);
    EXPECT_EQ(Js("linkedCompList[1].get('visible') + ',' + linkedCompList[2].get('visible')"), "false,true");
    EXPECT_EQ(Js("linkedCompList[2].get('paths').length"), QString::number(area->points.size()));
    Map.ExecuteScript("PolylineGetPath", "3,0");
    const QStringList pieces = Map.Web().GetFieldValue("polylinedata", "path", "").split(';');
    ASSERT_EQ(pieces.size(), qsizetype(area->points.size()));
    EXPECT_EQ(pieces.first(), pieces.last()); // the closing point travels too
    EXPECT_TRUE(Errors.empty());

    // Hide and Show: a new page, the area back on it.
    Map.SetActive(false);
    ASSERT_TRUE(WaitFor([&] { return Js("typeof linkedCompList") == "undefined"; }));
    Show();
    EXPECT_EQ(Js("linkedCompList[2].get('visible') + ',' + linkedCompList[2].get('paths').length"),
              "true," + QString::number(area->points.size()));
}

TEST_F(TWebEngineMap, ALongPathTravelsOnlyWhenItChanged)
{
    Show();
    const auto pathField = [&](bool known) {
        const TPageResult result = View->Exchange({TPageStep::Read({"polylinedata"}, "path 2,0", known)});
        return *TWebControl::FieldIn(result.Reads.at(0), "polylinedata", "path");
    };
    View->Exchange({TPageStep::Script("SetField('polylinedata', 'path', new Array(3000).join('1|2;') + '1|2')")});
    EXPECT_EQ(pathField(false).Value.size(), 3000 * 4 - 1);
    EXPECT_TRUE(pathField(true).Unchanged);
    EXPECT_FALSE(pathField(false).Unchanged);
    View->Exchange({TPageStep::Script("SetField('polylinedata', 'path', new Array(3000).join('1|2;') + '1|3')")});
    const TFormField changed = pathField(true);
    EXPECT_FALSE(changed.Unchanged);
    EXPECT_TRUE(changed.Value.endsWith("1|3"));

    // Through the poll: a 3,000-point line that the page changes in one point is taken.
    TMarkData track;
    for (int i = 0; i < 3000; ++i)
        track.points.push_back({37 + i * 1e-3L, 55 + i * 1e-3L});
    ShowMark(track);
    int changes = 0;
    GMPolyline1.OnPathChange = [&](TBasePolyline&) { ++changes; };
    Map.PollTick();
    Map.PollTick();
    changes = 0;
    Map.PollTick();
    EXPECT_EQ(changes, 0);
    Js("linkedCompList[1].get('path')[1500] = new google.maps.LatLng(-1.5, 2.5)");
    Map.PollTick();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Polyline.LinePoints[1500].Lat(), -1.5);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(TWebEngineMap, NamesReachThePageAsTextAndRunNothing)
{
    Show();
    Js("(window.alerted = 0, window.alert = function () { window.alerted++; })");
    ShowMark(Named("x');alert(1);//", 37.5, 55.5));
    EXPECT_EQ(Js("linkedCompList[0].get('title')"), "x');alert(1);//");
    ShowMark(Named("first line\r\nsecond\\line </script><script>alert(2)</script>", 37.5, 55.5));
    EXPECT_EQ(Js("JSON.stringify(linkedCompList[0].get('title'))"),
              "\"first line\\r\\nsecond\\\\line </script><script>alert(2)</script>\"");
    EXPECT_EQ(Js("window.alerted"), "0");
    EXPECT_TRUE(Errors.empty());
}

TEST_F(TWebEngineMap, OnlyAWebLinkAPersonClickedLeavesThePanelAndTheMapStays)
{
    TOpener opener;
    Panel->show();
    Show();
    Js("document.body.insertAdjacentHTML('afterbegin', "
       "'<div style=\"position:fixed;left:0;top:0;z-index:9999;background:#fff\">"
       "<a id=\"terms\" href=\"https://example.org/terms\" style=\"display:block;height:30px\">terms</a>"
       "<a id=\"report\" href=\"https://example.org/report\" target=\"_blank\" "
       "style=\"display:block;height:30px\">report</a>"
       "<a id=\"local\" href=\"file:///usr/bin/xterm\" style=\"display:block;height:30px\">local</a>"
       "<form id=\"post\" action=\"https://example.org/post\" method=\"post\"></form></div>')");
    const auto mapStays = [&] {
        EXPECT_EQ(Js("typeof DoMap + ' ' + linkedCompList.length"), "function 3");
        EXPECT_NO_THROW(Map.ExecuteScript("MapGetCenter", ""));
    };

    // Nothing a script does reaches the opener or replaces the page.
    for (const char* script : {"location.href = 'file:///usr/bin/xterm'", "location.href = 'https://example.org/x'",
                               "document.getElementById('terms').click()", "document.getElementById('report').click()",
                               "window.open('https://example.org/w')", "document.getElementById('post').submit()"}) {
        Js(script);
        Pause(300);
        EXPECT_TRUE(opener.Opened.isEmpty()) << script << ": " << opener.Opened.join(' ').toStdString();
        mapStays();
    }

    // A person's clicks: a web link and a new-window link open outside, once each; a
    // file link opens nowhere.
    QWidget* input = View->Widget()->focusProxy();
    ASSERT_NE(input, nullptr);
    QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(10, 15));
    EXPECT_TRUE(WaitFor([&] { return !opener.Opened.isEmpty(); }));
    QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(10, 45));
    EXPECT_TRUE(WaitFor([&] { return opener.Opened.size() >= 2; }));
    QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(10, 75));
    Pause(500);
    EXPECT_EQ(opener.Opened, QStringList({"https://example.org/terms", "https://example.org/report"}));
    mapStays();
    EXPECT_TRUE(Errors.empty());
}

TEST_F(TWebEngineMap, PageErrorsComeBackUnchanged)
{
    EXPECT_EQ(ErrorText([&] { Map.ExecuteScript("MapGetCenter", ""); }), "Не активно");
    Show();
    EXPECT_EQ(ErrorText([&] { Map.ExecuteScript("NoSuchFunction", ""); }), "NoSuchFunction is not defined");
    EXPECT_EQ(ErrorText([&] { Map.ExecuteScript("MapGetCenter", ")"); }), "Unexpected token ')'");
    // The map's own error: a Make call before DoMap.
    EXPECT_EQ(ErrorText([&] { Map.ExecuteScript("DoMap = null; map = null; MakeMarker", "1"); }), "map is null");
    // The page the network never saw: the map API was asked for and the fake served
    // it; nothing else was asked for.
    ASSERT_FALSE(Environment->Api.Requested.isEmpty());
    EXPECT_TRUE(std::any_of(Environment->Api.Requested.begin(), Environment->Api.Requested.end(),
                            [](const QString& url) { return url.startsWith("https://maps.googleapis.com/maps/api/js"); }))
        << Environment->Api.Requested.join(' ').toStdString();
    for (const QString& url : Environment->Api.Requested)
        EXPECT_TRUE(url.startsWith("https://maps.googleapis.com/maps/api/js") || url.startsWith("fakemaps:") ||
                    url.startsWith("data:") || url.startsWith("about:"))
            << url.toStdString();
}

TEST_F(TWebEngineMap, AKeyLoadsTheKeyedApi)
{
    Map.SetAPIKey("test-key");
    Environment->Api.Requested.clear();
    Show();
    EXPECT_TRUE(Environment->Api.Requested.join(' ').contains("&key=test-key")) <<
        Environment->Api.Requested.join(' ').toStdString();
}

#ifdef MARKS_SANITIZED
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

// The OpenStreetMap page: Leaflet from the program, tiles from the local service.
class TOsmMap : public TWebEngineMap {
protected:
    TOsmMap() : TWebEngineMap(true) {}

    // The marks of the sample, by category id, in file order.
    std::map<std::string, std::vector<TMarkData>> SampleCategories()
    {
        TClientDataSet marks(MarksSchema());
        marks.LoadTableFile(std::string(MARKS_SOURCE_DIR) + "/sample/marks.sml");
        std::map<std::string, std::vector<TMarkData>> categories;
        for (marks.GoFirst(); !marks.AtEnd(); marks.GoNext())
            categories[marks.FieldNamed("categoryid").AsText()].push_back(ReadCurrentMark(marks));
        return categories;
    }

    // Waits until the marks of MarksShow are drawn; their number.
    int Drawn()
    {
        WaitFor([&] { return Js("document.forms.marksdata.shown.value") != "0"; });
        return Js("document.forms.marksdata.shown.value").toInt();
    }
};

TEST_F(TOsmMap, TheOverlaysTilesAndAttributionComeWithoutOtherNetwork)
{
    Environment->Tiles.Requests.clear();
    Environment->OsmRequests.Requested.clear();
    Show();
    EXPECT_EQ(Js("linkedCompList.map(function (o) { return o.TolmId + ':' + map.hasLayer(o); }).join(' ')"),
              "1:true 2:false 3:false"); // lines without points stay off the map
    EXPECT_EQ(Js("map.getZoom()"), "8");

    std::optional<TMarkData> point, line, area;
    for (const auto& [category, marks] : SampleCategories())
        for (const TMarkData& mark : marks) {
            if (mark.points.empty())
                continue;
            auto& slot = ShapeOf(mark.points) == msPoint ? point : ShapeOf(mark.points) == msLine ? line : area;
            if (!slot)
                slot = mark;
        }
    ASSERT_TRUE(point && line && area);
    ShowMark(*point);
    EXPECT_EQ(Js("map.hasLayer(linkedCompList[0]) + ',' + map.hasLayer(linkedCompList[1])"), "true,false");
    EXPECT_EQ(Js("linkedCompList[0].options.title"), QString::fromStdU16String(Cp1251ToUtf16(point->name)));
    ShowMark(*line);
    EXPECT_EQ(Js("map.hasLayer(linkedCompList[0]) + ',' + linkedCompList[1].getLatLngs().length"),
              "false," + QString::number(line->points.size()));
    int changes = 0;
    GMPolyline1.OnPathChange = [&](TBasePolyline&) { ++changes; };
    Map.PollTick();
    changes = 0;
    Map.PollTick();
    EXPECT_EQ(changes, 0);
    ShowMark(*area);
    Map.ExecuteScript("PolylineGetPath", "3,0");
    const QStringList pieces = Map.Web().GetFieldValue("polylinedata", "path", "").split(';');
    ASSERT_EQ(pieces.size(), qsizetype(area->points.size()));
    EXPECT_EQ(pieces.first(), pieces.last()); // the closing point travels too

    // Tiles as the service's policy asks: the program's name, the attribution shown.
    ASSERT_TRUE(WaitFor([&] { return Environment->Tiles.Requests.size() >= 4; }));
    for (const TTileServer::TRequest& request : Environment->Tiles.Requests) {
        EXPECT_TRUE(request.Path.endsWith(".png")) << request.Path.toStdString();
        EXPECT_EQ(request.UserAgent, MapUserAgent());
    }
    EXPECT_EQ(Js("document.querySelector('.leaflet-control-attribution a[href=\"https://www.openstreetmap.org/"
                 "copyright\"]').textContent"),
              "© OpenStreetMap contributors");
    for (const QString& url : Environment->OsmRequests.Requested)
        EXPECT_TRUE(url.startsWith("http://127.0.0.1:") || url.startsWith("data:") || url.startsWith("about:"))
            << url.toStdString();
    EXPECT_TRUE(Errors.empty());
}

TEST_F(TOsmMap, ACategoryShowsWholeInItsColoursFittedAndAClickNamesItsMark)
{
    Panel->show();
    Show();
    TIconCache icons;
    LoadIcons(std::string(MARKS_SOURCE_DIR) + "/sample", icons);
    TMarksOnMap onMap;
    const auto findIcon = [&](const std::string& name) -> const TIconPicture* {
        const TIconEntry* icon = FindIcon(icons, name);
        return icon ? &icon->Picture : nullptr;
    };
    const auto hex = [](std::int32_t bgr) {
        return QString::asprintf("#%02X%02X%02X", bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
    };
    std::set<TMarkShape> shapes;
    for (const auto& [category, marks] : SampleCategories()) {
        onMap.Show(Map, marks, findIcon);
        const int drawable = int(std::count_if(marks.begin(), marks.end(), [](const TMarkData& m) { return !m.points.empty(); }));
        ASSERT_EQ(Drawn(), drawable);
        EXPECT_EQ(Js("marksPoints.getLayers().length + marksShapes.getLayers().length"), QString::number(drawable));
        EXPECT_EQ(Js("map.getBounds().contains(marksShapes.getBounds().extend(marksPoints.getBounds()))"), "true");
        // Colours read back from the page: color1 draws a line, color2 fills an area,
        // a point shows its icon; the last point (an area's before its closing one)
        // where the mark has it.
        const QStringList drawn = Js("[].concat(marksPoints.getLayers(), marksShapes.getLayers()).map(function (l) {"
                                     " var path = l.getLatLng ? [l.getLatLng()] : L.LineUtil.isFlat(l.getLatLngs()) ?"
                                     " l.getLatLngs() : l.getLatLngs()[0], last = path[path.length - 1];"
                                     " return l.marksKey + ' ' + (l.options.color || '-') + ' ' +"
                                     " (l.options.fillColor || '-') + ' ' + (l.options.icon ?"
                                     " String(l.options.icon.options.iconUrl).slice(0, 14) : '-') + ' ' +"
                                     " last.lat.toFixed(7) + ',' + last.lng.toFixed(7); }).join('|')")
                                      .split('|', Qt::SkipEmptyParts);
        for (const QString& line : drawn) {
            const QStringList values = line.split(' ');
            const TMarkData& mark = marks.at(size_t(values.value(0).toInt()));
            const TMarkShape shape = ShapeOf(mark.points);
            shapes.insert(shape);
            const TMarkPoint last = mark.points[shape == msPoint ? 0 : mark.points.size() - (shape == msPolygon ? 2 : 1)];
            const QString expected[] = {
                shape != msPoint ? hex(mark.color1) : values.value(1),
                shape == msPolygon ? hex(mark.color2) : values.value(2),
                shape == msPoint && FindIcon(icons, mark.picname) ? "data:image/png" : values.value(3),
                QString::number(double(last.Lat), 'f', 7) + ',' + QString::number(double(last.Lon), 'f', 7)};
            EXPECT_EQ(values.mid(1), QStringList(std::begin(expected), std::end(expected))) << line.toStdString();
        }
    }
    EXPECT_EQ(shapes.size(), 3u);

    // A click on a mark on the map (close up, where it stands alone): the poll reports
    // its key.
    const std::vector<TMarkData> points = {Named("first", 37.5, 55.5), Named("second", 37.502, 55.5)};
    onMap.Show(Map, points, findIcon);
    ASSERT_EQ(Drawn(), 2);
    Js("(window.clickTarget = marksPoints.getLayers()[1],"
       " map.setView(clickTarget.getLatLng(), map.getMaxZoom(), { animate: false }))");
    ASSERT_TRUE(WaitFor([&] { return Js("marksPoints.getVisibleParent(clickTarget) === clickTarget") == "true"; }));
    const QString target = Js("(function (p) { return clickTarget.marksKey + ' ' + Math.round(p.x) + ' ' +"
                              " Math.round(p.y); })(map.latLngToContainerPoint(clickTarget.getLatLng()))");
    const QStringList parts = target.split(' ');
    ASSERT_EQ(parts.size(), 3) << target.toStdString();
    std::vector<int> clicked;
    Map.OnMarkClick = [&](int key) { clicked.push_back(key); };
    QTest::mouseClick(View->Widget()->focusProxy(), Qt::LeftButton, {}, QPoint(parts[1].toInt(), parts[2].toInt()));
    WaitFor([&] {
        Map.PollTick();
        return !clicked.empty();
    });
    EXPECT_EQ(clicked, std::vector<int>{parts[0].toInt()});
    EXPECT_TRUE(Errors.empty());
}

TEST_F(TOsmMap, NamesArriveAsTextInTitlesAndTooltips)
{
    Show();
    Js("(window.alerted = 0, window.alert = function () { window.alerted++; })");
    ShowMark(Named("x');alert(1);//</script>\r\n", 37.5, 55.5));
    EXPECT_EQ(Js("JSON.stringify(linkedCompList[0].options.title)"), "\"x');alert(1);//</script>\\r\\n\"");
    std::vector<TMarkData> marks = {Named("\"q\" 'a' </script><b>bold</b>\r\nnext", 37.5, 55.5),
                                    Named("second", 37.6, 55.6)};
    TMarksOnMap onMap;
    onMap.Show(Map, marks, {});
    ASSERT_EQ(Drawn(), 2);
    Js("marksPoints.getLayers()[0].fire('mouseover', {}, true)");
    EXPECT_EQ(Js("JSON.stringify(document.querySelector('.leaflet-tooltip').textContent)"),
              "\"\\\"q\\\" 'a' </script><b>bold</b>\\r\\nnext\"");
    EXPECT_EQ(Js("document.querySelectorAll('.leaflet-tooltip b').length"), "0");
    // Windows-1251 has no U+2028; a marks text with one reaches the page all the same.
    Map.ExecuteScript("MarksShow", JsQuoted(QString("{\"icons\":{},\"marks\":[[0,\"a") + QChar(0x2028) +
                                            "b\",0,\"#FF0000\",\"#00FF00\",\"\",[1,2]]]}"));
    ASSERT_EQ(Drawn(), 1);
    EXPECT_EQ(Js("marksPoints.getLayers()[0].marksName.charCodeAt(1)"), "8232");
    EXPECT_EQ(Js("window.alerted"), "0");
    EXPECT_TRUE(Errors.empty());
}

#include "web_engine_view_test.moc"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
    RegisterFakeMapsScheme();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    TEnvironment environment;
    Environment = &environment;
    const int result = RUN_ALL_TESTS();
    Environment = nullptr;
    return result;
}
