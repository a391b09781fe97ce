#include "gm_linked.h"

#include "gm_map.h"
#include "gm_values.h"
#include "marks_error.h"

TGMLinkedComponent::~TGMLinkedComponent()
{
    if (FMap)
        FMap->Detach(this);
}

void TGMLinkedComponent::SetMap(TGMMap* map)
{
    if (map == FMap)
        return;
    if (FMap)
        FMap->Detach(this);
    FMap = map;
    if (FMap)
        FObjectId = FMap->Attach(this);
}

int TGMLinkedComponent::IndexOf(const TLinkedComponent* item)
{
    for (size_t i = 0; i < Count(); ++i)
        if (&Item(i) == item)
            return int(i);
    return -1;
}

void TGMLinkedComponent::RaiseMessage(int number) const
{
    throw EMarksError(LocalizeMessage(FMap ? FMap->Language : Language, number));
}

std::optional<TFormsRead> TGMLinkedComponent::ScriptCall(const QString& name, const QString& params,
                                                         const QStringList& forms)
{
    if (!FMap || !FMap->Active() || !FMap->PageLoaded())
        return std::nullopt;
    return FMap->ExecuteScriptReading(name, params, forms);
}

bool TGMLinkedComponent::SendItem(const QString& name, const QString& params)
{
    const std::optional<TFormsRead> read = ScriptCall(name, params, {QStringLiteral("errordata")});
    if (read && FMap->State() == TMapState::Live &&
        TWebControl::IntegerIn(*read, QStringLiteral("errordata"), QStringLiteral("errorCode"), 0) == 1)
        RaiseMessage(gmNoJavaScriptRelation);
    return read.has_value();
}

void TGMLinkedComponent::RecreateAll()
{
    if (!ScriptCall(QStringLiteral("DeleteObjects"), JsInt(FObjectId)))
        return;
    for (size_t i = 0; i < Count(); ++i)
        Item(i).ChangeProperties();
}

void TGMLinkedComponent::TakeEvent(const QString& event, const QVariantList& values)
{
    if (values.size() != 3)
        RaiseMessage(gmParamCount);
    if (values[0].typeId() != QMetaType::Double || values[1].typeId() != QMetaType::Double ||
        values[2].typeId() != QMetaType::Int)
        RaiseMessage(gmParamType);
    const int index = values[2].toInt();
    if (index < 0 || size_t(index) >= Count())
        RaiseMessage(gmParamValue);
    const double lat = values[0].toDouble();
    const double lng = values[1].toDouble();
    TakeItemEvent(event, lat, lng, Item(size_t(index)));
    if (OnItemEvent)
        OnItemEvent(*this, event, lat, lng, index);
}

void TGMLinkedComponent::TakeItemEvent(const QString&, double, double, TLinkedComponent&) {}

QString TLinkedComponent::InfoWindowParams() const
{
    return QStringList{JsContent(FInfoWindow.HTMLContent), JsBool(FInfoWindow.DisableAutoPan),
                       JsInt(FInfoWindow.MaxWidth), JsInt(FInfoWindow.PixelOffset.Height),
                       JsInt(FInfoWindow.PixelOffset.Width), JsBool(FInfoWindow.CloseOtherBeforeOpen)}
        .join(QLatin1Char(','));
}
