// Showing a mark on the map: the texts sent for a point, a line and an area, and
// the failure cases of a double-click.
#include "map_test_fixture.h"

#include "test_helpers.h"

using TShowMark = TMapFixture;

namespace {

const TMarkData kMoscow = Mark("Moscow", {{37.6173L, 55.7558L}});

} // namespace

TEST_F(TShowMark, APointThenALineAsInTheWorkedExample)
{
    Show();
    TakeScripts();
    ShowMarkOnMap(Overlays(), kMoscow);
    EXPECT_EQ(TakeScripts(), QStringList({
                                 MarkerText("0", "0", "'TMarker'", false),
                                 PolylineText("''", false),
                                 PolygonText("''", false),
                                 "MapSetCenter(55.7558,37.6173)",
                                 "MapGetCenter()",
                                 MarkerText("55.7558", "0", "'TMarker'", false),
                                 MarkerText("55.7558", "37.6173", "'TMarker'", false),
                                 MarkerText("55.7558", "37.6173", "'Moscow'", false),
                                 MarkerText("55.7558", "37.6173", "'Moscow'", true),
                             }));

    // A line of two points: its whole path in one send, then shown, then the view fitted.
    ShowMarkOnMap(Overlays(), Mark("Road", {{37.6173L, 55.7558L}, {30.33L, 59.93L}}));
    EXPECT_EQ(TakeScripts(), QStringList({
                                 MarkerText("55.7558", "37.6173", "'Moscow'", false),
                                 PolylineText("'55.7558|37.6173;59.93|30.33'", false),
                                 PolylineText("'55.7558|37.6173;59.93|30.33'", true),
                                 "MapZoomToPoints('55.7558|37.6173;59.93|30.33')",
                             }));

    // The same point twice: hidden and shown again; position and title are not sent again.
    ShowMarkOnMap(Overlays(), kMoscow);
    TakeScripts();
    ShowMarkOnMap(Overlays(), kMoscow);
    EXPECT_EQ(TakeScripts(), QStringList({MarkerText("55.7558", "37.6173", "'Moscow'", false),
                                          "MapSetCenter(55.7558,37.6173)", "MapGetCenter()",
                                          MarkerText("55.7558", "37.6173", "'Moscow'", true)}));
}

TEST_F(TShowMark, AreasKeepTheirClosingPointAndComeBackAfterHideAndShow)
{
    Show();
    TakeScripts();
    const TMarkData area = Mark("Lake", {{1, 2}, {3, 4}, {5, 6}, {1, 2}});
    ShowMarkOnMap(Overlays(), area);
    const QString path = "'2|1;4|3;6|5;2|1'";
    EXPECT_EQ(TakeScripts().mid(3), QStringList({PolygonText(path, false), PolygonText(path, true),
                                                 "MapZoomToPoints(" + path + ")"}));

    // Two equal points are an area too.
    ShowMarkOnMap(Overlays(), Mark("Dot", {{7, 8}, {7, 8}}));
    EXPECT_EQ(TakeScripts().value(1), PolygonText("'8|7;8|7'", false));

    // Hide and Show: the items come back as they were left, without fitting the view again.
    Map.SetActive(false);
    Map.SetActive(true);
    View.Complete();
    const QStringList again = TakeScripts();
    EXPECT_EQ(again.mid(1), QStringList({"DeleteObjects(1)", MarkerText("0", "0", "'TMarker'", false),
                                         "DeleteObjects(2)", PolylineText("''", false), "DeleteObjects(3)",
                                         PolygonText("'8|7;8|7'", true)}));
}

TEST_F(TShowMark, NamesReachThePageAsText)
{
    Show();
    ShowMarkOnMap(Overlays(), Mark("x');alert(1);//", {{1, 2}}));
    EXPECT_EQ(View.Scripts.value(View.Scripts.size() - 2), MarkerText("2", "1", "'x.#%#:);alert(1);//'", false));
    ShowMarkOnMap(Overlays(), Mark("line\r\nbreak\\</script>", {{1, 2}}));
    EXPECT_EQ(View.Scripts.value(View.Scripts.size() - 2),
              MarkerText("2", "1", "'line\\r\\nbreak\\\\<\\/script>'", false));
    // Windows-1251 bytes become the letters they stand for.
    ShowMarkOnMap(Overlays(), Mark("\xCC\xEE\xF1\xEA\xE2\xE0", {{1, 2}}));
    EXPECT_EQ(Marker.Title(), "Москва");
}

TEST_F(TShowMark, AMarkWithoutPointsOnlyHidesTheItems)
{
    Show();
    TakeScripts();
    ShowMarkOnMap(Overlays(), Mark("empty", {}));
    EXPECT_EQ(TakeScripts(), QStringList({MarkerText("0", "0", "'TMarker'", false), PolylineText("''", false),
                                          PolygonText("''", false)}));
    EXPECT_TRUE(Errors.empty());
}

TEST_F(TShowMark, ALineWhoseFirstLatitudeIsZero)
{
    Show();
    TakeScripts();
    ShowMarkOnMap(Overlays(), Mark("Equator", {{10, 0}, {20, 0.5}}));
    EXPECT_EQ(TakeScripts().mid(3, 1), QStringList{PolylineText("'0|10;0.5|20'", false)});
}

TEST_F(TShowMark, DoubleClickWhileThePageIsLoading)
{
    Map.SetActive(true);
    // A point: the hiding and centring are skipped, then reading the centre fails.
    EXPECT_EQ(ErrorText([&] { ShowMarkOnMap(Overlays(), kMoscow); }), "Начальная страница не загружается");
    EXPECT_TRUE(View.Scripts.isEmpty());
    EXPECT_FALSE(Marker.Visible());
    EXPECT_EQ(Marker.Title(), "TMarker");

    // A line: it takes its points and is shown; fitting the view fails.
    EXPECT_EQ(ErrorText([&] { ShowMarkOnMap(Overlays(), Mark("Road", {{1, 2}, {3, 4}})); }),
              "Начальная страница не загружается");
    EXPECT_TRUE(Polyline.Visible());
    EXPECT_EQ(Polyline.LinePoints.Count(), 2u);

    // Once the page has loaded, the line is made as it is.
    View.Complete();
    EXPECT_TRUE(View.Scripts.contains(PolylineText("'2|1;4|3'", true)));
}

TEST_F(TShowMark, FailuresAfterLoading)
{
    // The map could not be created: the first send meets the page's "map is null".
    View.OnScript = [](const QString& s) -> std::optional<QString> {
        if (s.startsWith("DoMap"))
            return QString("google is not defined");
        return std::nullopt;
    };
    Show();
    View.OnScript = nullptr;
    EXPECT_EQ(ErrorText([&] { ShowMarkOnMap(Overlays(), kMoscow); }), "map is null");

    // Nothing sent before the centre: message 2 from SetCenter.
    TGMMap bare;
    TFakeWebView view;
    bare.SetWebBrowser(&view);
    bare.SetActive(true);
    view.Complete();
    TGMMarker markers;
    TGMPolyline lines;
    TGMPolygon areas;
    TMarker& marker = markers.Add();
    marker.SetVisible(false);
    TPolyline& line = lines.Add();
    line.SetVisible(false);
    TPolygon& area = areas.Add();
    area.SetVisible(false);
    EXPECT_EQ(ErrorText([&] { ShowMarkOnMap({bare, marker, line, area}, kMoscow); }), "Карта еще не создана");
}

TEST_F(TShowMark, ErrorCodeOfALiveMapIsMessageFive)
{
    Show();
    View.AfterScript = [&](const QString& s) {
        if (s.startsWith("MakeMarker"))
            View.SetField("errordata", "errorCode", "1");
    };
    EXPECT_EQ(ErrorText([&] { Marker.SetTitle("x"); }), "Этот объект не JavaScript");
    EXPECT_EQ(Marker.Title(), "x");
    // While the page loads the send is skipped, and nothing is checked.
    Map.SetActive(false);
    Map.SetActive(true);
    EXPECT_EQ(ErrorText([&] { Marker.SetTitle("y"); }), "(no error)");
}
