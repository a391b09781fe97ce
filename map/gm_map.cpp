#include "gm_map.h"

#include <QUrl>

#include "gm_linked.h"
#include "gm_values.h"
#include "map_page.h"
#include "marks_error.h"

TGMMap::TGMMap(QObject* parent) : QObject(parent)
{
    FTimer.setInterval(200);
    connect(&FTimer, &QTimer::timeout, this, [this] { PollTick(); });
}

TGMMap::~TGMMap()
{
    for (TGMLinkedComponent* component : FComponents)
        component->MapDestroyed();
}

TMapState TGMMap::State() const
{
    if (!FActive)
        return TMapState::Off;
    if (!FPageLoaded)
        return TMapState::Loading;
    return FMapCreated ? TMapState::Live : TMapState::Loaded;
}

void TGMMap::RaiseMessage(int number) const
{
    throw EMarksError(Message(number));
}

namespace {

// The lines of a text, split at CR LF, CR or LF.
QStringList LinesOf(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

const QString kApiKey = QStringLiteral("API_KEY");
const QString kApiPath = QStringLiteral("/maps/api/js?");

// The page carries the keyed script element of the map API inside a comment. With a
// key, that element replaces the unkeyed one, so the keyed API is what loads; the
// key is percent-encoded, so it cannot leave the address it is put in.
bool UseKeyedApi(QStringList& lines, const QString& key)
{
    qsizetype keyed = -1;
    for (qsizetype i = 0; i < lines.size() && keyed < 0; ++i)
        if (lines[i].contains(kApiKey))
            keyed = i;
    if (keyed < 0)
        return false;
    const QString line = lines[keyed].trimmed();
    if (!line.startsWith(QLatin1String("<!--")) || !line.endsWith(QLatin1String("-->")))
        return false;
    QString element = line.mid(4, line.size() - 7).trimmed();
    element.replace(element.indexOf(kApiKey), kApiKey.size(), QString::fromLatin1(QUrl::toPercentEncoding(key)));
    lines[keyed] = element;
    for (qsizetype i = keyed - 1; i >= 0; --i)
        if (lines[i].contains(kApiPath) && !lines[i].trimmed().startsWith(QLatin1String("<!--"))) {
            lines.removeAt(i);
            break;
        }
    return true;
}

} // namespace

QString TGMMap::PageText() const
{
    QString page;
    try {
        page = Provider == TMapProvider::Osm ? OsmPageText(Tiles) : QString::fromUtf8(MapPageResource());
    } catch (const EMarksError&) {
        RaiseMessage(gmNoResource);
    }
    QStringList lines = LinesOf(page);
    const bool keyed = Provider == TMapProvider::Google && !FAPIKey.isEmpty() && UseKeyedApi(lines, FAPIKey);
    QString text;
    text.reserve(page.size() + lines.size() + 16);
    for (const QString& line : lines)
        text += line + QLatin1String("\r\n");
    if (Provider == TMapProvider::Google && !keyed) {
        const qsizetype at = text.indexOf(kApiKey);
        if (at >= 0)
            text.replace(at, kApiKey.size(), FAPIKey);
    }
    return text;
}

void TGMMap::SetWebBrowser(TWebView* view)
{
    if (view == FWeb.WebBrowser)
        return;
    if (FWeb.WebBrowser)
        FWeb.WebBrowser->disconnect(this);
    FWeb.WebBrowser = view;
    FPendingFrame.reset();
    if (!view)
        return;
    Watch(view);
    if (FActive)
        LoadPage();
}

void TGMMap::Watch(TWebView* view)
{
    connect(view, &TWebView::NavigationStarted, this, [this] { OnNavigationStarted(); });
    connect(view, &TWebView::NavigateComplete, this, [this](TFrameId frame) { OnNavigateComplete(frame); });
    connect(view, &TWebView::DocumentComplete, this, [this](TFrameId frame) { OnDocumentComplete(frame); });
    connect(view, &QObject::destroyed, this, [this, view] {
        if (FWeb.WebBrowser == view)
            FWeb.WebBrowser = nullptr;
    });
}

void TGMMap::OnNavigationStarted()
{
    FPendingFrame.reset();
    FPageLoaded = false;
}

void TGMMap::OnNavigateComplete(TFrameId frame)
{
    if (!FPendingFrame)
        FPendingFrame = frame;
}

void TGMMap::OnDocumentComplete(TFrameId frame)
{
    if (!FPendingFrame || *FPendingFrame != frame)
        return;
    FPendingFrame.reset();
    if (FPageWaitsForDocument) {
        // The blank document the page text waited for is there now.
        FPageWaitsForDocument = false;
        if (FActive)
            ReportErrors([this] { LoadPage(); });
        return;
    }
    FPageLoaded = true;
    ++FPageLoads;
    if (FActive && AfterPageLoaded)
        ReportErrors([this] { AfterPageLoaded(*this, true); });
}

void TGMMap::ReportErrors(const std::function<void()>& work)
{
    try {
        work();
    } catch (...) {
        if (OnError)
            OnError(ErrorMessageOf());
    }
}

void TGMMap::LoadPage()
{
    TWebView* view = FWeb.WebBrowser;
    if (!view)
        return;
    const QString text = PageText();
    if (!view->HasDocument())
        LoadBlankPage();
    if (!view->HasDocument()) {
        FPageWaitsForDocument = true;
        return;
    }
    FPageWaitsForDocument = false;
    FPageLoaded = false;
    FPendingFrame.reset();
    view->LoadContent(text);
}

void TGMMap::LoadBlankPage()
{
    FPageLoaded = false;
    if (FWeb.WebBrowser)
        FWeb.WebBrowser->NavigateBlank();
}

void TGMMap::SetActive(bool value)
{
    if (value == FActive)
        return;
    FActive = value;
    if (value) {
        FLastPollError.clear();
        if (FWeb.WebBrowser)
            LoadPage();
        FTimer.start();
    } else {
        FPageWaitsForDocument = false;
        if (FWeb.WebBrowser) {
            FMapCreated = false;
            LoadBlankPage();
        }
        FTimer.stop();
    }
}

QString TGMMap::CreateMapParams() const
{
    const auto has = [this](TBoolOption option) { return JsBool(NonVisualProp.Options.count(option) > 0); };
    QString mapTypes;
    for (TMapTypeId id : VisualProp.MapTypeCtrl.MapTypeIds)
        mapTypes += (mapTypes.isEmpty() ? QString() : QStringLiteral(";")) + NameOf(id);
    const auto& v = VisualProp;
    const auto& l = Layers;
    const QStringList values = {
        JsCoordinate(RequiredProp.Center.Lat(), Precision),
        JsCoordinate(RequiredProp.Center.Lng(), Precision),
        JsQuoted(NameOf(RequiredProp.MapType)),
        JsInt(RequiredProp.Zoom),
        has(TBoolOption::DisableDoubleClickZoom),
        has(TBoolOption::Draggable),
        has(TBoolOption::KeyboardShortcuts),
        has(TBoolOption::NoClear),
        has(TBoolOption::ScrollWheel),
        JsInt(NonVisualProp.MaxZoom),
        JsInt(NonVisualProp.MinZoom),
        JsBool(NonVisualProp.MapMaker),
        JsColour(v.BGColor),
        JsBool(v.MapTypeCtrl.Show),
        JsQuoted(mapTypes),
        JsQuoted(NameOf(v.MapTypeCtrl.Position)),
        JsQuoted(NameOf(v.MapTypeCtrl.Style)),
        JsBool(v.OverviewMapCtrl.Show),
        JsBool(v.OverviewMapCtrl.Opened),
        JsBool(v.PanCtrl.Show),
        JsQuoted(NameOf(v.PanCtrl.Position)),
        JsBool(v.RotateCtrl.Show),
        JsQuoted(NameOf(v.RotateCtrl.Position)),
        JsBool(v.ScaleCtrl.Show),
        JsQuoted(NameOf(v.ScaleCtrl.Position)),
        JsQuoted(NameOf(v.ScaleCtrl.Style)),
        JsBool(v.StreetViewCtrl.Show),
        JsQuoted(NameOf(v.StreetViewCtrl.Position)),
        JsBool(v.ZoomCtrl.Show),
        JsQuoted(NameOf(v.ZoomCtrl.Position)),
        JsQuoted(NameOf(v.ZoomCtrl.Style)),
        JsBool(l.Kml.Show),
        JsBool(l.Kml.ScreenOverlays),
        JsBool(l.Kml.SuppressInfoWindows),
        JsBool(l.Kml.Clickable),
        JsBool(l.Kml.PreserveViewport),
        JsQuoted(l.Kml.Url),
        JsBool(l.Traffic.Show),
        JsBool(l.Transit.Show),
        JsBool(l.Bicycling.Show),
        JsBool(l.Panoramio.Show),
        JsBool(l.Panoramio.Clickable),
        JsBool(l.Panoramio.Filtered),
        JsText(l.Panoramio.FilterTag),
        JsText(l.Panoramio.FilterUserId),
        JsBool(l.Weather.Show),
        JsBool(l.Weather.Clickable),
        JsBool(l.Weather.SuppressInfoWindows),
        JsQuoted(NameOf(l.Weather.LabelColor)),
        JsQuoted(NameOf(l.Weather.TemperatureUnit)),
        JsQuoted(NameOf(l.Weather.WindSpeedUnit)),
        JsBool(StreetView.Visible),
    };
    return values.join(QLatin1Char(','));
}

void TGMMap::CreateMap()
{
    FMapCreated = false;
    if (!ExecuteScript(QStringLiteral("DoMap"), CreateMapParams()))
        return;
    FMapCreated = true;
    for (TGMLinkedComponent* component : FComponents)
        if (component->AutoUpdate)
            component->RecreateAll();
}

void TGMMap::CheckScriptCall() const
{
    if (!FWeb.WebBrowser)
        RaiseMessage(gmNoWebBrowser);
    if (!FActive)
        RaiseMessage(gmNotActive);
    if (!FPageLoaded)
        RaiseMessage(gmPageNotLoaded);
}

TPageResult TGMMap::Exchange(const std::vector<TPageStep>& steps)
{
    return FWeb.WebBrowser->Exchange(steps);
}

TFormsRead TGMMap::ExecuteScriptReading(const QString& name, const QString& params, const QStringList& forms)
{
    return RunAndRead(TPageStep::Script(name + QLatin1Char('(') + params + QLatin1Char(')')), forms);
}

void TGMMap::ExecuteCall(const QString& name, const QString& params)
{
    RunAndRead(TPageStep::Call(name, params), {});
}

TFormsRead TGMMap::RunAndRead(const TPageStep& call, const QStringList& forms)
{
    CheckScriptCall();
    QStringList wanted = forms;
    if (!wanted.contains(QStringLiteral("mapdata")))
        wanted.prepend(QStringLiteral("mapdata"));
    const TPageResult result = Exchange({call, TPageStep::Read(wanted)});
    if (result.Error)
        throw EMarksError(result.Error->toStdString());
    if (result.Reads.empty())
        RaiseMessage(gmMapNotCreated);
    const TFormsRead& read = result.Reads.front();
    FWeb.TakeRead(read);
    if (TWebControl::IntegerIn(read, QStringLiteral("mapdata"), QStringLiteral("mapisnull"), 1) == 1)
        RaiseMessage(gmMapNotCreated);
    return read;
}

bool TGMMap::ExecuteScript(const QString& name, const QString& params)
{
    ExecuteScriptReading(name, params, {});
    return true;
}

void TGMMap::SetCenter(double lat, double lng)
{
    if (!FWeb.WebBrowser || !FActive || !FPageLoaded)
        return;
    ExecuteScript(QStringLiteral("MapSetCenter"), JsCoordinate(lat, Precision) + QLatin1Char(',') +
                                                      JsCoordinate(lng, Precision));
}

void TGMMap::GetCenter(TLatLng* latLng)
{
    if (!latLng)
        return;
    const TFormsRead read = ExecuteScriptReading(QStringLiteral("MapGetCenter"), QString(), {});
    latLng->SetLat(TWebControl::RealIn(read, QStringLiteral("mapdata"), QStringLiteral("lat"), 0));
    latLng->SetLng(TWebControl::RealIn(read, QStringLiteral("mapdata"), QStringLiteral("lng"), 0));
}

void TGMMap::ZoomToPoints(const std::vector<TGeoPoint>& points)
{
    ExecuteScript(QStringLiteral("MapZoomToPoints"), JsPointList(points, Precision));
}

int TGMMap::Attach(TGMLinkedComponent* component)
{
    FComponents.push_back(component);
    return ++FAttachCount;
}

void TGMMap::Detach(TGMLinkedComponent* component)
{
    std::erase(FComponents, component);
}
