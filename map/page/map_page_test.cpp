// The map page in a real web view, with a fake of the map API served in place of
// the online script and every other request blocked: no test reaches the network.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include <memory>

#include "map_page.h"

namespace {

const QString kDoMap =
    "DoMap(0,0,'mtROADMAP',8,false,true,true,false,true,0,0,false,'#EFF0EE',true,"
    "'mtHYBRID;mtROADMAP;mtSATELLITE;mtTERRAIN;mtOSM','cpTOP_RIGHT','mtcDEFAULT',true,true,true,'cpTOP_LEFT',true,"
    "'cpTOP_LEFT',true,'cpBOTTOM_LEFT','scDEFAULT',true,'cpTOP_LEFT',true,'cpTOP_LEFT','zcDEFAULT',false,true,false,"
    "true,false,'',false,true,false,false,false,false,'','',false,false,false,'lcBLACK','tuCELSIUS',"
    "'wsKILOMETERS_PER_HOUR',false)";
const QString kMarker = "MakeMarker(1,false,false,true,false,false,true,0,0,true,'TMarker',true,'',0,'',false,0,0,0,"
                        "true,'mtStandard','siMarker','#FF0000','#000000','#00FF00',false,false,true)";
const QString kPolyline = "MakePolyline(2,0,true,false,false,'#000000',1,2,true,'','',false,0,0,0,true,'0px','#FF0000',"
                          "0,'spNONE','#FF0000',0,0,'100%',false,true,1,0.1)";
const QString kPolygon = "MakePolygon(3,true,false,'#FF0000',0.5,false,'#000000',1,2,true,'',0,'',false,0,0,0,true)";

QString Polyline(const QString& points, const QString& opacity = "1")
{
    return "MakePolyline(2,0,true,false,false,'#000000'," + opacity + ",2,true,'" + points +
           "','',false,0,0,0,true,'0px','#FF0000',0,'spNONE','#FF0000',0,0,'100%',false,true,1,0.1)";
}

QString Marker(const QString& lat, const QString& lng, const QString& title, const QString& content = "",
               const QString& style = "mtStandard")
{
    return "MakeMarker(1,false,false,true,false,false,true," + lat + "," + lng + ",true,'" + title + "',true,'',0,'" +
           content + "',false,0,0,0,true,'" + style + "','siMarker','#FF0000','#000000','#00FF00',false,false,true)";
}

// Serves the fake API under fakemaps:/api.js.
class TFakeApiHandler : public QWebEngineUrlSchemeHandler {
public:
    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        QFile file(QString(MARKS_SOURCE_DIR) + "/map/page/fake_maps_api_test.js");
        file.open(QIODevice::ReadOnly);
        auto* buffer = new QBuffer(job);
        buffer->setData(file.readAll());
        job->reply("text/javascript", buffer);
    }
};

// Sends the map API's script to the fake (or nowhere) and blocks everything else.
class TInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    bool ServeApi = true;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl url = info.requestUrl();
        if (url.scheme() == "fakemaps" || url.scheme() == "data" || url.scheme() == "about")
            return;
        if (ServeApi && url.host() == "maps.googleapis.com" && url.path() == "/maps/api/js")
            info.redirect(QUrl("fakemaps:/api.js"));
        else
            info.block(true);
    }
};

struct TPageEnvironment {
    QWebEngineProfile Profile;
    TInterceptor Interceptor;
    TFakeApiHandler Handler;
    TPageEnvironment()
    {
        Profile.setUrlRequestInterceptor(&Interceptor);
        Profile.installUrlSchemeHandler("fakemaps", &Handler);
    }
};

TPageEnvironment* Environment = nullptr;

class TMapPage : public ::testing::Test {
protected:
    std::unique_ptr<QWebEnginePage> Page;

    void Load(bool withApi = true)
    {
        Environment->Interceptor.ServeApi = withApi;
        Page = std::make_unique<QWebEnginePage>(&Environment->Profile);
        QEventLoop loop;
        bool ok = false;
        QObject::connect(Page.get(), &QWebEnginePage::loadFinished, &loop, [&](bool done) {
            ok = done;
            loop.quit();
        });
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        Page->setHtml(QString::fromUtf8(MapPageResource()), QUrl("https://map.page.test/"));
        loop.exec();
        ASSERT_TRUE(ok);
    }

    // Evaluates one expression and returns its value; a thrown error reads "throw:" and its message.
    // A text that does not parse fails the test.
    QVariant Js(const QString& code)
    {
        QVariant result;
        QEventLoop loop;
        Page->runJavaScript("(function(){ try { var r = (" + code + "); return ['ok', r === undefined ? null : r]; } "
                            "catch (e) { return ['ok', 'throw:' + e.message]; } })()",
                            [&](const QVariant& v) {
                                result = v;
                                loop.quit();
                            });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        const QVariantList list = result.toList();
        if (list.size() != 2) {
            ADD_FAILURE() << "script did not run: " << code.toStdString();
            return {};
        }
        return list[1];
    }

    QString Str(const QString& code) { return Js(code).toString(); }

    QString Field(const QString& form, const QString& field)
    {
        return Str("document.forms['" + form + "'].elements['" + field + "'].value");
    }

    void CreateMapWithItems()
    {
        EXPECT_EQ(Str(kDoMap), "");
        EXPECT_EQ(Field("mapdata", "mapisnull"), "0");
        EXPECT_EQ(Str(kMarker), "");
        EXPECT_EQ(Str(kPolyline), "");
        EXPECT_EQ(Str(kPolygon), "");
    }
};

} // namespace

TEST_F(TMapPage, TheWindowsCallsShowAPointALineAndAnArea)
{
    Load();
    // Before DoMap: the Make functions throw, the others report no map.
    EXPECT_EQ(Str(kMarker), "throw:map is null");
    EXPECT_EQ(Str(kPolyline), "throw:map is null");
    EXPECT_EQ(Str(kPolygon), "throw:map is null");
    Js("MapSetCenter(1,2)");
    EXPECT_EQ(Field("mapdata", "mapisnull"), "1");

    CreateMapWithItems();
    EXPECT_EQ(Js("fakeMaps.map.options.zoom").toInt(), 8);
    EXPECT_EQ(Str("fakeMaps.map.options.mapTypeId"), "roadmap");
    EXPECT_EQ(Str("fakeMaps.map.options.mapTypeControlOptions.mapTypeIds.join(';')"),
              "hybrid;roadmap;satellite;terrain;OSM");
    EXPECT_EQ(Str("fakeMaps.map.options.backgroundColor"), "#EFF0EE");
    EXPECT_EQ(Str("'maxZoom' in fakeMaps.map.options || 'minZoom' in fakeMaps.map.options"), "false");
    EXPECT_EQ(Str("fakeMaps.mapTypes.OSM.name"), "OpenStreetMap");
    EXPECT_EQ(Str("fakeMaps.mapTypes.OSM.options.getTileUrl({x: 1, y: 2}, 3)"),
              "https://tile.openstreetmap.org/3/1/2.png");
    EXPECT_EQ(Str("fakeMaps.ofKind('TransitLayer')[0].map === map"), "true");
    EXPECT_EQ(Str("fakeMaps.ofKind('TrafficLayer')[0].map === null"), "true");
    EXPECT_EQ(Str("weatherLayer === null && cloudLayer === null && panoramioLayer === null"), "true");
    EXPECT_EQ(Str("linkedCompList.map(function (o) { return o.TolmId + ':' + o.TolmZIndex + ':' + o.kind; }).join(' ')"),
              "1:0:Marker 2:0:Polyline 3:0:Polygon");
    EXPECT_EQ(Str("linkedCompList[0].get('title')"), "TMarker");

    // A point: centre, read the centre back, place the marker there.
    Js("MapSetCenter(55.7558,37.6173)");
    Js("MapGetCenter()");
    EXPECT_EQ(Field("mapdata", "lat"), "55.7558");
    EXPECT_EQ(Field("mapdata", "lng"), "37.6173");
    EXPECT_EQ(Str(Marker("55.7558", "37.6173", "Moscow")), "");
    EXPECT_EQ(Str("linkedCompList[0].get('position').lng()"), "37.6173");

    // A line, read back through the form; an area; the view fitted.
    EXPECT_EQ(Str(Polyline("55.75|37.61;59.93|30.33")), "");
    Js("PolylineGetPath(2,0)");
    EXPECT_EQ(Field("polylinedata", "path"), "55.75|37.61;59.93|30.33");
    EXPECT_EQ(Field("errordata", "errorCode"), "0");
    EXPECT_EQ(Str("MakePolygon(3,true,false,'#FF0000',0.5,false,'#000000',1,2,true,'1|2;3|4;5|6;1|2',0,'',false,0,0,0,"
                  "true)"),
              "");
    Js("PolylineGetPath(3,0)");
    EXPECT_EQ(Field("polylinedata", "path"), "1|2;3|4;5|6;1|2");
    Js("MapZoomToPoints('1|2;3|4;-5|6')");
    EXPECT_EQ(Str("[fakeMaps.fitted[0].getSouthWest().lat(), fakeMaps.fitted[0].getSouthWest().lng(), "
                  "fakeMaps.fitted[0].getNorthEast().lat(), fakeMaps.fitted[0].getNorthEast().lng()].join(',')"),
              "-5,2,3,6");
}

TEST_F(TMapPage, EdgeCases)
{
    Load();
    CreateMapWithItems();

    // Apostrophe placeholders in a title and in info window content.
    Js(Marker("1", "2", "It.#%#:s Bob.#%#:s", "Bob.#%#:s hut"));
    EXPECT_EQ(Str("linkedCompList[0].get('title')"), "It's Bob's");
    EXPECT_EQ(Str("linkedCompList[0].TolmInfoWin.getContent()"), "Bob's hut");

    // No points: nothing changes, nothing is written.
    Js("fakeMaps.fitted = [], SetField('mapdata', 'mapisnull', '7')");
    Js("MapZoomToPoints('')");
    EXPECT_EQ(Js("fakeMaps.fitted.length").toInt(), 0);
    EXPECT_EQ(Field("mapdata", "mapisnull"), "7");

    // An unknown object leaves the path as it was.
    Js(Polyline("1|1;2|2"));
    Js("PolylineGetPath(2,0)");
    Js("PolylineGetPath(9,9)");
    EXPECT_EQ(Field("errordata", "errorCode"), "1");
    EXPECT_EQ(Field("polylinedata", "path"), "1|1;2|2");

    // The same stroke values again: only path, icons, z-index (and the info window) are set.
    Js("linkedCompList[1].optionCalls = []");
    Js(Polyline("3|3;4|4"));
    EXPECT_EQ(Str("linkedCompList[1].optionCalls.join(' ')"), "icons,path,zIndex");
    Js(Polyline("3|3;4|4", "0.5"));
    EXPECT_EQ(Str("linkedCompList[1].optionCalls.join(' ')"), "icons,path,zIndex icons,path,zIndex strokeOpacity");

    // A marker of another style is made anew.
    Js("window.oldMarker = linkedCompList[0]");
    Js(Marker("1", "2", "Styled", "", "mtStyledMarker"));
    EXPECT_EQ(Str("linkedCompList.indexOf(oldMarker) < 0 && oldMarker.map === null"), "true");
    EXPECT_EQ(Str("linkedCompList[linkedCompList.length - 1].TolmMarkerStyle"), "mtStyledMarker");

    // DeleteObjects of an id without objects changes nothing; of the line's id removes it.
    Js("DeleteObjects(42)");
    EXPECT_EQ(Js("linkedCompList.length").toInt(), 3);
    Js("DeleteObjects(2)");
    EXPECT_EQ(Str("linkedCompList.map(function (o) { return o.TolmId; }).join(',')"), "3,1");

    // Picking OpenStreetMap in the map type control.
    Js("map.setMapTypeId('OSM')");
    EXPECT_EQ(Field("eventsMap", "mapTypeId"), "mtOSM");
    EXPECT_EQ(Field("eventsMap", "mapTypeId_changed"), "1");

    // DoMap again empties the list and makes a new map.
    Js("window.firstMap = map");
    Js(kDoMap);
    EXPECT_EQ(Js("linkedCompList.length").toInt(), 0);
    EXPECT_EQ(Str("map !== firstMap && firstMap !== null"), "true");

    // Converters.
    EXPECT_EQ(Str("StrToMapType('mtOSM') + StrToMapType('other') + MapTypeIdToStr('satellite') + MapTypeIdToStr('x')"),
              "OSMterrainmtSATELLITE");
    EXPECT_EQ(Js("StrToPosition('cpBOTTOM_LEFT')").toInt(), 10);
    EXPECT_EQ(Js("StrToPosition('nonsense')").toInt(), 3);
    EXPECT_EQ(Str("PathCurvedLine(0, 0, 0, 10, true, 1, 0.5).map(function (p) { return p.lat().toFixed(3) + '|' + "
                  "p.lng(); }).join(';')"),
              "0.000|0;0.000|0;0.600|5;0.000|10");
    EXPECT_EQ(Str("ReplaceString('a-b-c', '-', '+')"), "a+b+c");
}

TEST_F(TMapPage, ListenersWriteTheirFields)
{
    Load();
    Js("fakeMaps.addLayerLibraries()");
    EXPECT_EQ(Str(kDoMap.left(kDoMap.size() - QString("false,false,false,'lcBLACK','tuCELSIUS',"
                                                       "'wsKILOMETERS_PER_HOUR',false)").size()) +
                  "false,true,false,'lcBLACK','tuCELSIUS','wsKILOMETERS_PER_HOUR',false)"),
              "");
    EXPECT_EQ(Str("weatherLayer !== null && cloudLayer !== null && panoramioLayer !== null"), "true");
    EXPECT_EQ(Str("weatherLayer.get('temperatureUnits') + weatherLayer.get('windSpeedUnits') + "
                  "weatherLayer.get('labelColor')"),
              "ckmhblack");
    auto trigger = [&](const QString& target, const QString& event, const QString& arg = "undefined") {
        Js("google.maps.event.trigger(" + target + ", '" + event + "', " + arg + ")");
    };
    const QString at = "{latLng: new google.maps.LatLng(10.5, -20.25)}";

    trigger("map", "bounds_changed");
    EXPECT_EQ(Field("eventsMap", "swLat") + Field("eventsMap", "neLng") + Field("eventsMap", "boundsChange"), "-141");
    trigger("map", "click", at);
    EXPECT_EQ(Field("eventsMap", "lat") + "," + Field("eventsMap", "lng") + "," + Field("eventsMap", "click"),
              "10.5,-20.25,1");
    EXPECT_EQ(Field("eventsMap", "x"), QString::number((-20.25 + 180) / 360 * 256));
    trigger("map", "dragend");
    EXPECT_EQ(Field("eventsMap", "dragEnd"), "1");
    trigger("map", "tilesloaded");
    EXPECT_EQ(Field("eventsMap", "tilesLoaded"), "1");
    Js("map.set('zoom', 11)");
    trigger("map", "zoom_changed");
    EXPECT_EQ(Field("eventsMap", "zoom") + Field("eventsMap", "zoomChanged"), "111");
    Js("map.setCenter(new google.maps.LatLng(1.5, 2.5))");
    EXPECT_EQ(Field("eventsMap", "centerChange") + Field("eventsMap", "lat"), "11.5");
    trigger("weatherLayer", "click", "{latLng: new google.maps.LatLng(7, 8), featureDetails: {location: 'Oslo'}}");
    EXPECT_EQ(Field("eventsMap", "weatherClick") + Field("eventsMap", "weatherLat"), "17");
    EXPECT_TRUE(Field("eventsMap", "weatherFeature").startsWith("<weather><location>Oslo</location>"));
    trigger("panoramioLayer", "click",
            "{latLng: new google.maps.LatLng(3, 4), featureDetails: {author: 'Ann', photoId: '9', title: 'T', url: "
            "'u', userId: 'U'}}");
    EXPECT_EQ(Field("eventsMap", "panoClick") + Field("eventsMap", "panoAuthor") + Field("eventsMap", "panoUserId"),
              "1AnnU");
    EXPECT_EQ(Field("eventsMap", "eventfired"), "1");

    // A marker with content: a click opens its window and reports the event.
    Js(Marker("5", "6", "M", "Hello"));
    trigger("linkedCompList[0]", "click", at);
    EXPECT_EQ(Field("eventsMarker", "linkCompId") + "/" + Field("eventsMarker", "linkCompZIndex") + "/" +
                  Field("eventsMarker", "click") + "/" + Field("eventsMarker", "lat"),
              "1/0/1/10.5");
    EXPECT_EQ(Str("linkedCompList[0].TolmInfoWin.opened && linkedCompList[0].TolmInfoWin.TolmIWIsOpen"), "true");
    trigger("linkedCompList[0].TolmInfoWin", "closeclick");
    EXPECT_EQ(Field("eventsInfoWin", "linkCompId") + Field("eventsInfoWin", "infoWinCloseClick") +
                  Field("eventsInfoWin", "eventfired"),
              "111");
    EXPECT_EQ(Str("linkedCompList[0].TolmInfoWin.TolmIWIsOpen"), "false");
    trigger("linkedCompList[0]", "dragstart");
    EXPECT_EQ(Field("eventsMarker", "dragStart") + Field("eventsMarker", "lng"), "16");

    // A line reports through eventsPolyline; a window without content never opens.
    Js(Polyline("1|1;2|2"));
    trigger("linkedCompList[1]", "mouseover", at);
    EXPECT_EQ(Field("eventsPolyline", "linkCompId") + Field("eventsPolyline", "mouseOver") +
                  Field("eventsPolyline", "eventfired"),
              "211");
    trigger("linkedCompList[1]", "click", at);
    EXPECT_EQ(Str("linkedCompList[1].TolmInfoWin.TolmIWIsOpen"), "false");
}

TEST_F(TMapPage, WithoutTheMapApi)
{
    Load(false);
    EXPECT_EQ(Str("typeof google"), "undefined");
    EXPECT_EQ(Str("typeof DoMap + typeof MakeMarker"), "functionfunction");
    EXPECT_EQ(Str(kDoMap), "");
    EXPECT_EQ(Field("mapdata", "mapisnull"), "1");
    EXPECT_EQ(Str("map === null"), "true");
    EXPECT_TRUE(Str("document.getElementById('map_canvas').textContent").contains("could not be reached"));
    EXPECT_EQ(Str(kMarker), "throw:map is null");
    Js("SetField('mapdata', 'mapisnull', '0'), MapGetCenter()");
    EXPECT_EQ(Field("mapdata", "mapisnull"), "1");
    Js("SetField('mapdata', 'mapisnull', '0'), DeleteObjects(1)");
    EXPECT_EQ(Field("mapdata", "mapisnull"), "1");
}

TEST_F(TMapPage, PageText)
{
    const QString text = QString::fromUtf8(MapPageResource());
    EXPECT_TRUE(text.startsWith("<!-- saved from url=(0014)about:internet -->\n"));
    EXPECT_TRUE(text.contains("/maps/api/js?v=3.17&amp;sensor=false&amp;libraries=weather,panoramio,geometry,drawing,"
                              "visualization\"></script>"));
    EXPECT_EQ(text.count("API_KEY"), 1);
    EXPECT_TRUE(text.contains("<!-- <script"));
    EXPECT_FALSE(text.contains("@PAGE_"));
    for (const char* rule : {"html { height: 100% }", "body { height: 100%; margin: 0px; padding: 0px }",
                             "#map_canvas { height: 100% }"})
        EXPECT_TRUE(text.contains(rule)) << rule;
}

#ifdef MARKS_SANITIZED
// The web engine's own code frees some objects through a base of another size; that
// report is about the engine, not about this program.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
    QWebEngineUrlScheme scheme("fakemaps");
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    TPageEnvironment environment;
    Environment = &environment;
    int result = RUN_ALL_TESTS();
    Environment = nullptr;
    return result;
}
