// The map view in Qt WebEngine (offscreen) against the map API's offline stand-in:
// one tick of the event poll with the page idle, and a double click on a line of
// 10,000 points, from the first send to the view fitted. Prints the median and the
// worst of each, and a tick while that line is on the map (its path is read back).
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "fake_maps_api.h"
#include "gm_map.h"
#include "gm_marker.h"
#include "gm_polyline.h"
#include "show_mark.h"
#include "web_engine_view.h"

namespace {

bool WaitFor(const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < 30000) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return condition();
}

struct TFigures {
    double Best;
    double Median;
    double Worst;
};

TFigures Measure(int runs, const std::function<void(int)>& work)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        work(i);
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2], ms.back()};
}

TMarkData Track(size_t points, double phase)
{
    TMarkData mark;
    mark.name = "GPS track";
    for (size_t i = 0; i < points; ++i) {
        const double t = double(i) / double(points);
        mark.points.push_back({37.0L + 2.0L * t, 55.0L + 0.5L * std::sin(20 * t + phase) + 1e-7L * i});
    }
    return mark;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
    RegisterFakeMapsScheme();
    QApplication app(argc, argv);
    QWebEngineProfile profile;
    TFakeMapsApi api(profile, SourceTreeFile("map/page/fake_maps_api_test.js"));

    QWidget panel;
    auto* view = new TWebEngineView(&panel, &profile);
    view->Widget()->resize(400, 500);
    TGMMap map;
    TGMMarker markers;
    TGMPolyline lines;
    TGMPolygon areas;
    TMarker& marker = markers.Add();
    TPolyline& line = lines.Add();
    TPolygon& area = areas.Add();
    map.SetWebBrowser(view);
    map.AfterPageLoaded = [](TGMMap& m, bool first) {
        if (first)
            m.CreateMap();
    };
    markers.SetMap(&map);
    lines.SetMap(&map);
    areas.SetMap(&map);
    map.SetActive(true);
    if (!WaitFor([&] { return map.State() == TMapState::Live; })) {
        std::fprintf(stderr, "the map did not come up\n");
        return 1;
    }
    map.SetIntervalEvents(1000000); // the benchmark ticks by itself

    // The page runs in its own process: a busy machine shows in every figure.
    QFile loadavg("/proc/loadavg");
    loadavg.open(QIODevice::ReadOnly);
    std::printf("load average: %s", loadavg.readLine().constData());
    const auto print = [](const char* what, const TFigures& f, const char* target) {
        std::printf("%-34s best %7.2f ms, median %7.2f ms, worst %7.2f ms %s\n", what, f.Best, f.Median, f.Worst,
                    target);
    };
    print("poll tick, page idle:", Measure(200, [&](int) { map.PollEvents(); }), "(target < 5 ms)");

    const TMarkData tracks[2] = {Track(10000, 0), Track(10000, 1)};
    const TMapOverlays overlays{map, marker, line, area};
    print("double click, 10,000-point line:", Measure(20, [&](int i) { ShowMarkOnMap(overlays, tracks[i % 2]); }),
          "(target < 200 ms)");

    map.PollEvents(); // takes the page's digits once
    print("poll tick, that line on the map:", Measure(100, [&](int) { map.PollEvents(); }), "");
    return 0;
}
