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
#include <memory>

#include "client_dataset.h"
#include "fake_maps_api.h"
#include "code_page.h"
#include "gm_map.h"
#include "gm_marker.h"
#include "gm_polyline.h"
#include "marks_schema.h"
#include "show_mark.h"
#include "test_helpers.h"
#include "web_control.h"
#include "web_engine_view.h"

namespace {

struct TEnvironment {
    QWebEngineProfile Profile;
    TFakeMapsApi Api{Profile, SourceTreeFile("map/page/fake_maps_api_test.js")};
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
    TWebEngineView* View = new TWebEngineView(Panel.get(), &Environment->Profile);
    TGMMap Map;
    TGMMarker GMMarker1;
    TGMPolyline GMPolyline1;
    TGMPolygon GMPolygon1;
    TMarker& Marker = GMMarker1.Add();
    TPolyline& Polyline = GMPolyline1.Add();
    TPolygon& Polygon = GMPolygon1.Add();
    std::vector<std::string> Errors;

    TWebEngineMap()
    {
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
