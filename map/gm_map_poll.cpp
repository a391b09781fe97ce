// The event poll: every tick reads the page's event forms, resets their flags,
// takes the events that fired and runs the path check of every line and area item.
// The reads, resets and path requests go to the page in one round trip.
#include "gm_map.h"

#include "gm_linked.h"
#include "gm_polyline.h"
#include "gm_values.h"
#include "marks_error.h"

namespace {

const QStringList kEventForms = {"eventsMap",       "eventsInfoWin", "eventsMarker", "eventsPolyline",
                                 "eventsRectangle", "eventsCircle",  "eventsGO",     "eventsDirection"};
const QStringList kMapFlags = {"zoomChanged", "tilesLoaded", "rightClick", "mouseOver",    "mouseOut",    "mouseMove",
                               "mapTypeId_changed", "dragStart", "dragEnd", "drag", "dblclick", "click",
                               "centerChange", "boundsChange", "weatherClick", "panoClick"};
const QStringList kMarkerFlags = {"click",     "dblclick",  "drag",     "dragEnd",  "dragStart",
                                  "mouseDown", "mouseOut", "mouseOver", "mouseUp", "rightClick"};
const QStringList kInfoWinFlags = {"infoWinCloseClick"};
const QStringList kPolylineFlags = {"click",    "dblclick",  "mouseDown", "mouseMove",
                                    "mouseOut", "mouseOver", "mouseUp",   "rightClick"};
// The clicks on the marks of MarksShow.
const QString kMarksForm = QStringLiteral("eventsMarks");
// The map events in the order they are taken.
const QStringList kMapEventOrder = {"boundsChange", "centerChange", "click",       "dblclick",
                                    "mouseMove",    "mouseOut",     "mouseOver",   "rightClick",
                                    "drag",         "dragEnd",      "dragStart",   "mapTypeId_changed",
                                    "tilesLoaded",  "zoomChanged",  "weatherClick", "panoClick"};

bool Flag(const TFormsRead& read, const QString& form, const QString& field)
{
    return TWebControl::IntegerIn(read, form, field, 0) == 1;
}

std::vector<TPageStep> ResetSteps()
{
    std::vector<TPageStep> steps;
    const QString zero = QStringLiteral("0");
    for (const QString& form : kEventForms)
        steps.push_back(TPageStep::Write(form, QStringLiteral("eventfired"), zero));
    for (const QString& flag : kMapFlags)
        steps.push_back(TPageStep::Write(QStringLiteral("eventsMap"), flag, zero));
    const std::pair<QString, const QStringList*> linked[] = {{QStringLiteral("eventsMarker"), &kMarkerFlags},
                                                            {QStringLiteral("eventsInfoWin"), &kInfoWinFlags},
                                                            {QStringLiteral("eventsPolyline"), &kPolylineFlags}};
    for (const auto& [form, flags] : linked) {
        steps.push_back(TPageStep::Write(form, QStringLiteral("linkCompId"), zero));
        steps.push_back(TPageStep::Write(form, QStringLiteral("linkCompZIndex"), zero));
        for (const QString& flag : *flags)
            steps.push_back(TPageStep::Write(form, flag, zero));
    }
    steps.push_back(TPageStep::Write(kMarksForm, QStringLiteral("eventfired"), zero));
    steps.push_back(TPageStep::Write(kMarksForm, QStringLiteral("click"), zero));
    return steps;
}

} // namespace

void TGMMap::TakeMapEvents(const TFormsRead& events)
{
    const QString form = QStringLiteral("eventsMap");
    for (const QString& event : kMapEventOrder) {
        if (!Flag(events, form, event))
            continue;
        if (event == QLatin1String("centerChange")) {
            RequiredProp.Center.SetLat(TWebControl::RealIn(events, form, QStringLiteral("lat"), 0));
            RequiredProp.Center.SetLng(TWebControl::RealIn(events, form, QStringLiteral("lng"), 0));
        } else if (event == QLatin1String("dragEnd")) {
            TLatLng center;
            GetCenter(&center);
            RequiredProp.Center.SetLat(center.Lat());
            RequiredProp.Center.SetLng(center.Lng());
        } else if (event == QLatin1String("mapTypeId_changed")) {
            MapTypeIdOf(TWebControl::ValueIn(events, form, QStringLiteral("mapTypeId"), QString()),
                        RequiredProp.MapType);
        } else if (event == QLatin1String("tilesLoaded")) {
            if (AfterPageLoaded)
                AfterPageLoaded(*this, false);
        } else if (event == QLatin1String("zoomChanged")) {
            RequiredProp.Zoom = ClampZoom(TWebControl::IntegerIn(events, form, QStringLiteral("zoom"), 0));
        }
        if (OnMapEvent)
            OnMapEvent(event);
    }
}

TGMLinkedComponent& TGMMap::ComponentOfEvent(const TFormsRead& events, const QString& form)
{
    const int id = TWebControl::IntegerIn(events, form, QStringLiteral("linkCompId"), 0);
    for (TGMLinkedComponent* component : FComponents)
        if (component->ObjectId() == id)
            return *component;
    RaiseMessage(gmIdDoesNotExist);
}

void TGMMap::PollEvents()
{
    if (!FWeb.WebBrowser || !FPageLoaded || !FMapCreated)
        return;

    std::vector<TPageStep> steps = {TPageStep::Read(kEventForms + QStringList{kMarksForm})};
    for (TPageStep& step : ResetSteps())
        steps.push_back(std::move(step));
    // The path check: one request and one read per line and area item.
    std::vector<std::pair<TBasePolyline*, size_t>> lines;
    for (TGMLinkedComponent* component : FComponents) {
        if (component->Kind() == TComponentKind::Marker)
            continue;
        auto* owner = static_cast<TGMBasePolyline*>(component);
        for (size_t i = 0; i < owner->Count(); ++i) {
            TBasePolyline& line = owner->Line(i);
            if (!line.Style().AutoUpdatePath)
                continue;
            lines.emplace_back(&line, steps.size());
            steps.push_back(TPageStep::Script(QStringLiteral("PolylineGetPath(%1,%2)").arg(component->ObjectId()).arg(i)));
            // The path of a long line travels only when it differs from the last one read.
            steps.push_back(TPageStep::Read({QStringLiteral("mapdata"), QStringLiteral("polylinedata")},
                                            QStringLiteral("path %1,%2").arg(component->ObjectId()).arg(i),
                                            line.PathKnown()));
        }
    }

    const TPageResult result = Exchange(steps);
    if (result.Reads.empty())
        return;
    const TFormsRead& events = result.Reads.front();
    FWeb.TakeRead(events);
    for (const QString& form : kEventForms)
        if (!events.FormNames.contains(form, Qt::CaseInsensitive))
            throw EMarksError("Index out of bounds.");

    const auto fired = [&](const QString& form) { return Flag(events, form, QStringLiteral("eventfired")); };
    const auto linkedEvents = [&](const QString& form, const QStringList& flags, TComponentKind kind1,
                                  TComponentKind kind2, bool positioned) {
        QStringList set;
        for (const QString& flag : flags)
            if (Flag(events, form, flag))
                set << flag;
        if (!fired(form) || set.isEmpty())
            return;
        TGMLinkedComponent& component = ComponentOfEvent(events, form);
        if (positioned && component.Kind() != kind1 && component.Kind() != kind2)
            RaiseMessage(gmIncorrectId);
        const double lat = positioned ? TWebControl::RealIn(events, form, QStringLiteral("lat"), 0) : 0;
        const double lng = positioned ? TWebControl::RealIn(events, form, QStringLiteral("lng"), 0) : 0;
        const int index = TWebControl::IntegerIn(events, form, QStringLiteral("linkCompZIndex"), 0);
        for (const QString& flag : set)
            component.TakeEvent(flag, {lat, lng, index});
    };

    if (fired(QStringLiteral("eventsMap")))
        TakeMapEvents(events);
    linkedEvents(QStringLiteral("eventsMarker"), kMarkerFlags, TComponentKind::Marker, TComponentKind::Marker, true);
    linkedEvents(QStringLiteral("eventsInfoWin"), kInfoWinFlags, TComponentKind::Marker, TComponentKind::Marker,
                 false);
    linkedEvents(QStringLiteral("eventsPolyline"), kPolylineFlags, TComponentKind::Polyline, TComponentKind::Polygon,
                 true);

    if (fired(kMarksForm) && Flag(events, kMarksForm, QStringLiteral("click")) && OnMarkClick)
        OnMarkClick(TWebControl::IntegerIn(events, kMarksForm, QStringLiteral("markKey"), -1));

    for (size_t i = 0; i < lines.size(); ++i) {
        const auto [line, scriptStep] = lines[i];
        if (result.FailedStep == int(scriptStep))
            throw EMarksError(result.Error.value_or(QString()).toStdString());
        if (result.Reads.size() < i + 2)
            return;
        const TFormsRead& read = result.Reads[i + 1];
        FWeb.TakeRead(read);
        if (TWebControl::IntegerIn(read, QStringLiteral("mapdata"), QStringLiteral("mapisnull"), 1) == 1)
            RaiseMessage(gmMapNotCreated);
        const TFormField* path = TWebControl::FieldIn(read, QStringLiteral("polylinedata"), QStringLiteral("path"));
        if (path && path->Unchanged)
            continue;
        line->TakePathText(TWebControl::ValueIn(read, QStringLiteral("polylinedata"), QStringLiteral("path"), QString()));
        line->SetPathKnown();
    }
}

void TGMMap::PollTick()
{
    if (FShowingPollError || (FWeb.WebBrowser && FWeb.WebBrowser->Busy()))
        return;
    try {
        PollEvents();
        FLastPollError.clear();
    } catch (...) {
        // The same error on the following ticks is not shown again; the box of the
        // first one holds the poll back while it is open.
        std::string message = ErrorMessageOf();
        if (message == FLastPollError)
            return;
        FLastPollError = std::move(message);
        FShowingPollError = true;
        if (OnError)
            OnError(FLastPollError);
        FShowingPollError = false;
    }
}
