// The editor with the online map API replaced by the tests' stand-in, which also
// draws what it holds: for screenshots and measurements on machines without the
// map service. With --demo it opens the sample, shows the map and double-clicks
// the first line mark it finds. With --osm it shows the OpenStreetMap page with
// tiles from a tile service of its own on 127.0.0.1 (generated, labelled tiles);
// with --demo too, it shows the sample's largest category on the map.
#include <QApplication>
#include <QTimer>
#include <QWebEngineProfile>

#include <clocale>
#include <cstring>
#include <memory>

#include "fake_maps_api.h"
#include "program.h"
#include "tile_server.h"
#include "tfrm_main.h"
#include "web_engine_loader.h"

namespace {

void Demo(TfrmMain& window)
{
    window.Load1Click();
    int row = -1;
    for (window.CDCats.GoFirst(); !window.CDCats.AtEnd() && row < 0; window.CDCats.GoNext()) {
        int r = 0;
        for (window.CDMarks.GoFirst(); !window.CDMarks.AtEnd(); window.CDMarks.GoNext(), ++r) {
            const TMarkData mark = window.ReadCurrentMark();
            if (!mark.points.empty() && ShapeOf(mark.points) == msLine) {
                row = r;
                break;
            }
        }
        if (row >= 0)
            break;
    }
    window.Show1Click();
    auto* wait = new QTimer(&window);
    QObject::connect(wait, &QTimer::timeout, &window, [&window, wait] {
        if (window.GMMap1.State() != TMapState::Live)
            return;
        wait->stop();
        window.GRMarksDblClick();
    });
    wait->start(50);
}

void OsmDemo(TfrmMain& window)
{
    window.Load1Click();
    TRowRef largest;
    size_t most = 0;
    for (window.CDCats.GoFirst(); !window.CDCats.AtEnd(); window.CDCats.GoNext())
        if (window.CDMarks.RecordCount() > most) {
            most = window.CDMarks.RecordCount();
            largest = window.CDCats.CurrentRowRef();
        }
    window.CDCats.GoToRow(largest);
    window.mnShowCategoryOnMapClick();
}

bool HasArgument(int argc, char** argv, const char* argument)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], argument) == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    RegisterFakeMapsScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("Vexa.Terrun Marks Editor");
    const bool osm = HasArgument(argc, argv, "--osm");
    std::unique_ptr<TTileServer> tiles;
    if (osm) {
        tiles = std::make_unique<TTileServer>();
        qputenv("MARKS_MAP_PROVIDER", "osm");
        qputenv("MARKS_MAP_TILE_URL", tiles->TileUrl().toUtf8());
    }
    // The stand-in is set up on the engine's profile, which starts the engine; where
    // the engine cannot run, the editor runs without it and Show says why.
    std::unique_ptr<TFakeMapsApi> api;
    if (!osm && !WebEngineStartProblem())
        api = std::make_unique<TFakeMapsApi>(*QWebEngineProfile::defaultProfile(),
                                             SourceTreeFile("map/page/fake_maps_api_test.js") + "\n" +
                                                 SourceTreeFile("ui/fake_map_drawing.js"));
    TfrmMain& window = CreateEditorWindow();
    window.show();
    if (HasArgument(argc, argv, "--demo"))
        QTimer::singleShot(0, &window, [&window, osm] { osm ? OsmDemo(window) : Demo(window); });
    const int code = app.exec();
    DestroyEditorWindows();
    return code;
}
