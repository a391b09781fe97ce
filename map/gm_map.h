#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gm_map_props.h"
#include "gm_messages.h"
#include "gm_types.h"
#include "map_settings.h"
#include "web_control.h"
#include "web_view.h"

class TGMLinkedComponent;

enum class TMapState { Off, Loading, Loaded, Live };

// The map view: loads the map page into a web view, creates the map when the page
// has loaded, runs page functions and polls the page's event fields while active.
class TGMMap : public QObject {
    Q_OBJECT

public:
    explicit TGMMap(QObject* parent = nullptr);
    ~TGMMap() override;

    TLang Language = TLang::Russian;
    // 0: coordinates are written at full precision.
    int Precision = 0;
    TRequiredProp RequiredProp;
    TNonVisualProp NonVisualProp;
    TVisualProp VisualProp;
    TLayers Layers;
    TStreetView StreetView;
    // The page loaded on activation, and the tiles of the OpenStreetMap page.
    TMapProvider Provider = TMapProvider::Google;
    TTileSettings Tiles;
    // Raised with first = true once per load of the page text (while active), and
    // with first = false when the page reports that the map's tiles have loaded.
    std::function<void(TGMMap& sender, bool first)> AfterPageLoaded;
    // Shows an error that arose outside a command: in the handling of a web view
    // report or in a tick of the event poll.
    std::function<void(const std::string& message)> OnError;
    // Called for each map event the poll takes, after its effect on RequiredProp.
    std::function<void(const QString& event)> OnMapEvent;
    // Called by the poll when a person clicked one of the marks shown with
    // MarksShow, with the key the mark was sent with.
    std::function<void(int key)> OnMarkClick;

    bool Active() const { return FActive; }
    void SetActive(bool value);
    int IntervalEvents() const { return FTimer.interval(); }
    void SetIntervalEvents(int milliseconds) { FTimer.setInterval(milliseconds); }
    const QString& APIKey() const { return FAPIKey; }
    // Stored with the blanks around it removed.
    void SetAPIKey(const QString& key) { FAPIKey = key.trimmed(); }
    TWebView* WebBrowser() const { return FWeb.WebBrowser; }
    void SetWebBrowser(TWebView* view);
    TWebControl& Web() { return FWeb; }

    bool PageLoaded() const { return FPageLoaded; }
    // Counts the loads of the page text that completed: whatever was sent to an
    // earlier page is not on this one.
    int PageLoads() const { return FPageLoads; }
    bool MapCreated() const { return FMapCreated; }
    TMapState State() const;
    bool PollTimerRunning() const { return FTimer.isActive(); }

    // The page of the provider with CR LF line ends: the Google page with the API key
    // put in, or the OpenStreetMap page with its tile settings.
    QString PageText() const;
    void LoadPage();
    void LoadBlankPage();
    // The 52 values of the map's creation, joined by ",".
    QString CreateMapParams() const;
    void CreateMap();
    // Runs Name(Params) in the page. Raises the map's messages 0, 3, 1 when there is
    // no web view, it is off, or the page has not loaded; the page's own error
    // unchanged; message 2 when the page then reports no map.
    bool ExecuteScript(const QString& name, const QString& params);
    // ExecuteScript, returning the read of the page's forms taken right after the
    // call (the forms asked for and "mapdata"), in the same round trip.
    TFormsRead ExecuteScriptReading(const QString& name, const QString& params, const QStringList& forms);
    // ExecuteScript for parameters this program built as JavaScript values (a long
    // string literal): they reach the page as code, parsed once.
    void ExecuteCall(const QString& name, const QString& params);
    void SetCenter(double lat, double lng);
    void GetCenter(TLatLng* latLng);
    void ZoomToPoints(const std::vector<TGeoPoint>& points);
    // One tick of the event poll; errors propagate.
    void PollEvents();
    // What the timer runs: PollEvents, skipped while the page is busy with another
    // exchange, with an error shown once (not again on the following ticks).
    void PollTick();

    std::string Message(int number) const { return LocalizeMessage(Language, number); }
    [[noreturn]] void RaiseMessage(int number) const;

    // Attached overlay components in attachment order; Attach returns the id.
    int Attach(TGMLinkedComponent* component);
    void Detach(TGMLinkedComponent* component);
    const std::vector<TGMLinkedComponent*>& Components() const { return FComponents; }

private:
    TFormsRead RunAndRead(const TPageStep& call, const QStringList& forms);

    TWebControl FWeb;
    QString FAPIKey;
    bool FActive = false;
    bool FPageLoaded = false;
    bool FMapCreated = false;
    int FPageLoads = 0;
    // Set while the page text waits for the blank document it is to be loaded into.
    bool FPageWaitsForDocument = false;
    std::optional<TFrameId> FPendingFrame;
    std::vector<TGMLinkedComponent*> FComponents;
    int FAttachCount = 0;
    QTimer FTimer;
    std::string FLastPollError;
    bool FShowingPollError = false;

    void Watch(TWebView* view);
    void OnNavigationStarted();
    void OnNavigateComplete(TFrameId frame);
    void OnDocumentComplete(TFrameId frame);
    void ReportErrors(const std::function<void()>& work);
    void CheckScriptCall() const;
    TPageResult Exchange(const std::vector<TPageStep>& steps);
    void TakeMapEvents(const TFormsRead& events);
    TGMLinkedComponent& ComponentOfEvent(const TFormsRead& events, const QString& form);
};
