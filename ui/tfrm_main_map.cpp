#include <QFrame>
#include <QLayout>
#include <QSplitter>

#include "db_grid.h"
#include "map_settings.h"
#include "program.h"
#include "show_mark.h"
#include "tfrm_main.h"
#include "web_engine_loader.h"

// The window's map preview: the Show/Hide command, the map view and its overlays,
// the double click that shows a mark, and Show On Map for many marks at once.

namespace {

// The Show/Hide caption: the Google page keeps its own name, the OpenStreetMap page
// is just the map.
QString MapCaption(TMapProvider provider, bool shown)
{
    if (provider == TMapProvider::Google)
        return shown ? TfrmMain::tr("Hide Google") : TfrmMain::tr("Show Google");
    return shown ? TfrmMain::tr("Hide Map") : TfrmMain::tr("Show Map");
}

} // namespace

void TfrmMain::BuildMap()
{
    const TMapSettings settings = ReadMapSettings(ProgramFolder());
    GMMap1.Language = TLang::Russian;
    GMMap1.SetIntervalEvents(200);
    GMMap1.Precision = 0;
    GMMap1.SetAPIKey(settings.ApiKey);
    GMMap1.Provider = settings.Provider;
    GMMap1.Tiles = settings.Tiles;
    GMMap1.AfterPageLoaded = [this](TGMMap& sender, bool first) { GMMap1AfterPageLoaded(sender, first); };
    GMMap1.OnError = [this](const std::string& message) { ShowError(message); };
    GMMap1.OnMarkClick = [this](int key) { MapMarkClicked(key); };
    GMMarker1.Add();
    GMPolyline1.Add();
    GMPolygon1.Add();
    GMMarker1.SetMap(&GMMap1);
    GMPolyline1.SetMap(&GMMap1);
    GMPolygon1.SetMap(&GMMap1);
    MakeWebBrowser = MakeWebEngineView;
    Show1->setText(MapCaption(GMMap1.Provider, false));
    connect(GRMarks, &QAbstractItemView::doubleClicked, this, [this] { GRMarksDblClick(); });
}

void TfrmMain::GMMap1AfterPageLoaded(TGMMap& sender, bool first)
{
    if (!first)
        return;
    sender.CreateMap();
    SendPendingMapMarks();
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
        if (!FMapShown)
            FPendingMapMarks.reset();
        Show1->setText(MapCaption(GMMap1.Provider, FMapShown));
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

void TfrmMain::mnShowCategoryOnMapClick()
{
    RunCommand([this] { ShowMarksOnMap(nullptr); });
}

void TfrmMain::mnShowSelectedOnMapClick()
{
    RunCommand([this] {
        const std::vector<TRowRef> selected = GRMarks->SelectedRows();
        ShowMarksOnMap(&selected);
    });
}

void TfrmMain::ShowMarksOnMap(const std::vector<TRowRef>* selected)
{
    std::vector<TMarkData> marks;
    std::vector<std::pair<TRowRef, TRowRef>> refs;
    const TRowRef category = CDCats.CurrentRowRef();
    const TRowRef current = CDMarks.CurrentRowRef();
    {
        // The grid does not follow the walk; the current mark stays current.
        TSuspendedViews suspended(CDMarks);
        const auto take = [&] {
            marks.push_back(ReadCurrentMark());
            refs.emplace_back(category, CDMarks.CurrentRowRef());
        };
        if (selected) {
            for (const TRowRef& row : *selected)
                if (CDMarks.GoToRow(row))
                    take();
        } else {
            for (CDMarks.GoFirst(); !CDMarks.AtEnd(); CDMarks.GoNext())
                take();
        }
        CDMarks.GoToRow(current);
    }
    if (!FMapShown) {
        Show1Click();
        if (!FMapShown)
            return;
    }
    FMapMarks = std::move(refs);
    FPendingMapMarks = std::move(marks);
    if (GMMap1.State() == TMapState::Live)
        SendPendingMapMarks();
}

void TfrmMain::SendPendingMapMarks()
{
    if (!FPendingMapMarks || GMMap1.State() != TMapState::Live)
        return;
    const std::vector<TMarkData> marks = std::move(*FPendingMapMarks);
    FPendingMapMarks.reset();
    // The marks replace the one mark a double click shows (and the marker the map
    // starts with), as a double click replaces the one before.
    GMMarker1.VisualObjects.front()->SetVisible(false);
    GMPolyline1.VisualObjects.front()->SetVisible(false);
    GMPolygon1.VisualObjects.front()->SetVisible(false);
    FMarksOnMap.Show(GMMap1, marks, [this](const std::string& picname) -> const TIconPicture* {
        const TIconEntry* icon = FindIcon(FIconCache, picname);
        return icon ? &icon->Picture : nullptr;
    });
}

void TfrmMain::MapMarkClicked(int key)
{
    if (key < 0 || size_t(key) >= FMapMarks.size() || !GrCats->CommitEditor() || !GRMarks->CommitEditor())
        return;
    const auto& [category, mark] = FMapMarks[size_t(key)];
    if (CDCats.CurrentRowRef().Row != category.Row && !CDCats.GoToRow(category))
        return;
    CDMarks.GoToRow(mark);
}
