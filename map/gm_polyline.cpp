#include "gm_polyline.h"

#include <algorithm>
#include <cmath>

#include "gm_map.h"
#include "gm_values.h"
#include "marks_error.h"

void TLinePoint::SetLat(double value)
{
    if (value == FLat)
        return;
    FLat = value;
    FOwner->Changed();
}

void TLinePoint::SetLng(double value)
{
    if (value == FLng)
        return;
    FLng = value;
    FOwner->Changed();
}

void TLinePoints::Clear()
{
    FPoints.clear();
    Changed();
}

TLinePoint& TLinePoints::Add()
{
    FPoints.emplace_back(*this);
    Changed();
    return FPoints.back();
}

std::vector<TGeoPoint> TLinePoints::Points() const
{
    std::vector<TGeoPoint> points;
    points.reserve(FPoints.size());
    for (const TLinePoint& p : FPoints)
        points.push_back({p.Lat(), p.Lng()});
    return points;
}

double CutOpacity(double value)
{
    // The small nudge keeps 0.29 at 0.29: 0.29 * 100 is 28.999999999999996.
    return std::trunc(std::clamp(value, 0.0, 1.0) * 100 + 1e-9) / 100;
}

TBasePolyline::TBasePolyline(TGMBasePolyline& owner)
    : TLinkedComponent(owner), LinePoints([this] { PathChanged(); })
{
}

void TBasePolyline::SetStyle(TLineStyle value)
{
    value.StrokeOpacity = CutOpacity(value.StrokeOpacity);
    value.StrokeWeight = std::clamp(value.StrokeWeight, 1, 10);
    Change(FStyle, value);
}

void TBasePolyline::PathChanged()
{
    FPathKnown = false;
    if (!FUpdatingPath)
        ChangeProperties();
}

namespace {

// Sets a flag for the life of a scope, also when an error leaves it.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }

private:
    bool& FFlag;
};

double PathValue(QStringView part)
{
    if (const std::optional<double> value = ReadReal(part))
        return *value;
    throw EMarksError(part.toString().toStdString() + " is not a valid real value");
}

} // namespace

void TBasePolyline::SetPath(const std::vector<TGeoPoint>& points)
{
    {
        TFlagScope updating(FUpdatingPath);
        LinePoints.Clear();
        for (const TGeoPoint& point : points) {
            TLinePoint& added = LinePoints.Add();
            added.SetLat(point.Lat);
            added.SetLng(point.Lng);
        }
    }
    ChangeProperties();
}

bool TBasePolyline::SamePath(const QList<QStringView>& pieces) const
{
    if (size_t(pieces.size()) != LinePoints.Count())
        return false;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QList<QStringView> parts = pieces[i].split(u'|');
        if (parts.size() < 2)
            return false;
        const TLinePoint& point = LinePoints[size_t(i)];
        if (PathValue(parts[0]) != point.Lat() || PathValue(parts[1]) != point.Lng())
            return false;
    }
    return true;
}

void TBasePolyline::TakePathText(const QString& text)
{
    if (text.isEmpty())
        return;
    const QList<QStringView> pieces = QStringView(text).split(u';');
    if (SamePath(pieces))
        return;
    {
        TFlagScope updating(FUpdatingPath);
        LinePoints.Clear();
        for (QStringView piece : pieces) {
            const QList<QStringView> parts = piece.split(u'|');
            if (parts.size() != 2)
                break;
            const double lat = PathValue(parts[0]);
            const double lng = PathValue(parts[1]);
            TLinePoint& added = LinePoints.Add();
            added.SetLat(lat);
            added.SetLng(lng);
        }
    }
    auto& owner = static_cast<TGMBasePolyline&>(Owner());
    if (owner.OnPathChange)
        owner.OnPathChange(*this);
}

void TBasePolyline::ReadPathBack()
{
    if (!FStyle.AutoUpdatePath)
        return;
    const std::optional<TFormsRead> read =
        Owner().ScriptCall(QStringLiteral("PolylineGetPath"), JsInt(Owner().ObjectId()) + QLatin1Char(',') + JsInt(Index()),
                           {QStringLiteral("polylinedata")});
    if (read)
        TakePathText(TWebControl::ValueIn(*read, QStringLiteral("polylinedata"), QStringLiteral("path"), QString()));
}

void TBasePolyline::ZoomToPoints()
{
    if (Owner().Map() && LinePoints.Count() > 0)
        Owner().Map()->ZoomToPoints(LinePoints.Points());
}

namespace {

int PrecisionOf(const TLinkedComponent& item)
{
    return item.Owner().Map() ? item.Owner().Map()->Precision : 0;
}

QString IconValueText(const TIconValue& value)
{
    return JsQuoted(QString::number(value.Value) +
                    (value.Measure == mPercentage ? QStringLiteral("%") : QStringLiteral("px")));
}

} // namespace

TPolyline::TPolyline(TGMPolyline& owner) : TBasePolyline(owner) {}

QString TPolyline::MakeParams() const
{
    const TSymbol& symbol = FIcon.Icon;
    return QStringList{JsInt(Owner().ObjectId()),
                       JsInt(Index()),
                       JsBool(FStyle.Clickable),
                       JsBool(FStyle.Editable),
                       JsBool(FStyle.Geodesic),
                       JsColour(FStyle.StrokeColor),
                       JsReal(FStyle.StrokeOpacity),
                       JsInt(FStyle.StrokeWeight),
                       JsBool(FVisible),
                       JsPointList(LinePoints.Points(), PrecisionOf(*this)),
                       InfoWindowParams(),
                       IconValueText(FIcon.DistRepeat),
                       JsColour(symbol.FillColor),
                       JsReal(symbol.FillOpacity),
                       JsQuoted(NameOf(symbol.Path)),
                       JsColour(symbol.StrokeColor),
                       JsReal(symbol.StrokeOpacity),
                       JsInt(symbol.StrokeWeight),
                       IconValueText(FIcon.OffSet),
                       JsBool(FCurveLine.Active),
                       JsBool(FCurveLine.Horizontal),
                       JsInt(FCurveLine.Multiplier),
                       JsReal(FCurveLine.Resolution)}
        .join(QLatin1Char(','));
}

bool TPolyline::ChangeProperties()
{
    if (!Owner().Map())
        return false;
    return Owner().SendItem(QStringLiteral("MakePolyline"), MakeParams());
}

TPolygon::TPolygon(TGMPolygon& owner) : TBasePolyline(owner) {}

QString TPolygon::MakeParams() const
{
    return QStringList{JsInt(Owner().ObjectId()),
                       JsBool(FStyle.Clickable),
                       JsBool(FStyle.Editable),
                       JsColour(FFillColor),
                       JsReal(FFillOpacity),
                       JsBool(FStyle.Geodesic),
                       JsColour(FStyle.StrokeColor),
                       JsReal(FStyle.StrokeOpacity),
                       JsInt(FStyle.StrokeWeight),
                       JsBool(FVisible),
                       JsPointList(LinePoints.Points(), PrecisionOf(*this)),
                       JsInt(Index()),
                       InfoWindowParams()}
        .join(QLatin1Char(','));
}

bool TPolygon::ChangeProperties()
{
    if (!Owner().Map())
        return false;
    return Owner().SendItem(QStringLiteral("MakePolygon"), MakeParams());
}

TPolyline& TGMPolyline::Add()
{
    VisualObjects.push_back(std::make_unique<TPolyline>(*this));
    return *VisualObjects.back();
}

TPolygon& TGMPolygon::Add()
{
    VisualObjects.push_back(std::make_unique<TPolygon>(*this));
    return *VisualObjects.back();
}
