#include <QCoreApplication>
#include <QFrame>
#include <QLayout>
#include <QSplitter>

#include "db_grid.h"
#include "map_settings.h"
#include "show_mark.h"
#include "tfrm_main.h"
#include "web_engine_loader.h"

// The window's map preview: the Show/Hide command, the map view and its overlays,
// and the double click that shows a mark.

void TfrmMain::BuildMap()
{
    GMMap1.Language = TLang::Russian;
    GMMap1.SetIntervalEvents(200);
    GMMap1.Precision = 0;
    GMMap1.SetAPIKey(MapApiKey(QCoreApplication::applicationDirPath().toStdString()));
    GMMap1.AfterPageLoaded = [this](TGMMap& sender, bool first) { GMMap1AfterPageLoaded(sender, first); };
    GMMap1.OnError = [this](const std::string& message) { ShowError(message); };
    GMMarker1.Add();
    GMPolyline1.Add();
    GMPolygon1.Add();
    GMMarker1.SetMap(&GMMap1);
    GMPolyline1.SetMap(&GMMap1);
    GMPolygon1.SetMap(&GMMap1);
    MakeWebBrowser = MakeWebEngineView;
    connect(GRMarks, &QAbstractItemView::doubleClicked, this, [this] { GRMarksDblClick(); });
}

void TfrmMain::GMMap1AfterPageLoaded(TGMMap& sender, bool first)
{
    if (first)
        sender.CreateMap();
}

void TfrmMain::Show1Click()
{
    RunCommand([this] {
        // The web view is made on the first Show: a window that never shows the map
        // never starts the browser engine. When it cannot be made, the map stays
        // hidden and the error says why.
        if (!FMapShown && !WebBrowser1) {
            WebBrowser1 = MakeWebBrowser(pnlGoogle);
            GMMap1.SetWebBrowser(WebBrowser1);
        }
        FMapShown = !FMapShown;
        Show1->setText(FMapShown ? "Hide Google" : "Show Google");
        GMMap1.SetActive(FMapShown);
        const int width = FMapShown ? 400 : 2;
        const QList<int> sizes = Splitter2->sizes();
        Splitter2->setSizes({sizes.value(0) + sizes.value(1) - width, width});
    });
}

void TfrmMain::GRMarksDblClick()
{
    RunCommand([this] { ShowMarkOnMap(); });
}

void TfrmMain::ShowMarkOnMap()
{
    if (!FMapShown)
        return;
    ::ShowMarkOnMap({GMMap1, *GMMarker1.VisualObjects.front(), *GMPolyline1.VisualObjects.front(),
                     *GMPolygon1.VisualObjects.front()},
                    ReadCurrentMark());
}
