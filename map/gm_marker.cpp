#include "gm_marker.h"

#include <QFileInfo>

#include "gm_map.h"
#include "gm_values.h"

TMarker::TMarker(TGMMarker& owner) : TLinkedComponent(owner)
{
    Position.OnChange = [this] {
        if (!FTakingPosition)
            ChangeProperties();
    };
}

void TMarker::TakePosition(double lat, double lng)
{
    FTakingPosition = true;
    Position.SetLat(lat);
    Position.SetLng(lng);
    FTakingPosition = false;
}

namespace {

QString HexColour(TColor colour)
{
    return JsColour(colour).mid(2, 6);
}

} // namespace

QString TMarker::IconAddress() const
{
    if (FOptions.MarkerType == mtColored) {
        const TColoredMarker& c = FOptions.ColoredMarker;
        return QStringLiteral("https://chart.apis.google.com/chart?cht=mm&chs=%1x%2&chco=%3,%4,%5&ext=.png")
            .arg(c.Width)
            .arg(c.Height)
            .arg(HexColour(c.CornerColor), HexColour(c.PrimaryColor), HexColour(c.StrokeColor));
    }
    if (!FOptions.Icon.isEmpty() && QFileInfo(FOptions.Icon).isFile())
        return QStringLiteral("file:///") + QString(FOptions.Icon).replace(QLatin1Char('\\'), QLatin1Char('/'));
    return FOptions.Icon;
}

QString TMarker::MakeParams() const
{
    const TMarkerOptions& o = FOptions;
    const int precision = Owner().Map() ? Owner().Map()->Precision : 0;
    return QStringList{JsInt(Owner().ObjectId()),
                       JsBool(o.AnimationOnDrop),
                       JsBool(o.AnimationBounce),
                       JsBool(o.Clickable),
                       JsBool(o.Draggable),
                       JsBool(o.Flat),
                       JsBool(o.Optimized),
                       JsCoordinate(Position.Lat(), precision),
                       JsCoordinate(Position.Lng(), precision),
                       JsBool(o.RaiseOnDrag),
                       JsText(FTitle),
                       JsBool(FVisible),
                       JsQuoted(IconAddress()),
                       JsInt(Index()),
                       InfoWindowParams(),
                       JsQuoted(NameOf(o.MarkerType)),
                       JsQuoted(NameOf(o.StyledMarker.StyledIcon)),
                       JsColour(o.StyledMarker.BackgroundColor),
                       JsColour(o.StyledMarker.TextColor),
                       JsColour(o.StyledMarker.StarColor),
                       JsBool(o.StyledMarker.ShowStar),
                       JsBool(o.ShowInfoWinMouseOver),
                       JsBool(o.CrossOnDrag)}
        .join(QLatin1Char(','));
}

bool TMarker::ChangeProperties()
{
    if (!Owner().Map())
        return false;
    return Owner().SendItem(QStringLiteral("MakeMarker"), MakeParams());
}

TMarker& TGMMarker::Add()
{
    VisualObjects.push_back(std::make_unique<TMarker>(*this));
    return *VisualObjects.back();
}

void TGMMarker::TakeItemEvent(const QString& event, double lat, double lng, TLinkedComponent& item)
{
    if (event == QLatin1String("dragEnd"))
        static_cast<TMarker&>(item).TakePosition(lat, lng);
}
