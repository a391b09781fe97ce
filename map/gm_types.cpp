#include "gm_types.h"

#include <array>
#include <iterator>

namespace {

template <size_t N>
QString Pick(const std::array<const char*, N>& names, int value)
{
    return value >= 0 && value < int(N) ? QString::fromLatin1(names[size_t(value)]) : QString();
}

const std::array<const char*, 5> kMapTypes = {"mtHYBRID", "mtROADMAP", "mtSATELLITE", "mtTERRAIN", "mtOSM"};

} // namespace

QString NameOf(TMapTypeId value)
{
    return Pick(kMapTypes, value);
}

QString NameOf(TControlPosition value)
{
    static const std::array<const char*, 12> names = {
        "cpBOTTOM_CENTER", "cpBOTTOM_LEFT",   "cpBOTTOM_RIGHT", "cpLEFT_BOTTOM", "cpLEFT_CENTER", "cpLEFT_TOP",
        "cpRIGHT_BOTTOM",  "cpRIGHT_CENTER", "cpRIGHT_TOP",    "cpTOP_CENTER",  "cpTOP_LEFT",    "cpTOP_RIGHT"};
    return Pick(names, value);
}

QString NameOf(TMapTypeControlStyle value)
{
    static const std::array<const char*, 3> names = {"mtcDEFAULT", "mtcDROPDOWN_MENU", "mtcHORIZONTAL_BAR"};
    return Pick(names, value);
}

QString NameOf(TScaleControlStyle value)
{
    static const std::array<const char*, 1> names = {"scDEFAULT"};
    return Pick(names, value);
}

QString NameOf(TZoomControlStyle value)
{
    static const std::array<const char*, 3> names = {"zcDEFAULT", "zcLARGE", "zcSMALL"};
    return Pick(names, value);
}

QString NameOf(TLabelColor value)
{
    static const std::array<const char*, 2> names = {"lcBLACK", "lcWHITE"};
    return Pick(names, value);
}

QString NameOf(TTemperatureUnit value)
{
    static const std::array<const char*, 2> names = {"tuCELSIUS", "tuFAHRENHEIT"};
    return Pick(names, value);
}

QString NameOf(TWindSpeedUnit value)
{
    static const std::array<const char*, 3> names = {"wsKILOMETERS_PER_HOUR", "wsMETERS_PER_SECOND",
                                                     "wsMILES_PER_HOUR"};
    return Pick(names, value);
}

QString NameOf(TMarkerType value)
{
    static const std::array<const char*, 3> names = {"mtStandard", "mtColored", "mtStyledMarker"};
    return Pick(names, value);
}

QString NameOf(TStyledIcon value)
{
    static const std::array<const char*, 2> names = {"siMarker", "siBubble"};
    return Pick(names, value);
}

QString NameOf(TSymbolPath value)
{
    static const std::array<const char*, 7> names = {"spNONE",
                                                     "spBACKWARD_CLOSED_ARROW",
                                                     "spBACKWARD_OPEN_ARROW",
                                                     "spCIRCLE",
                                                     "spFORWARD_CLOSED_ARROW",
                                                     "spFORWARD_OPEN_ARROW",
                                                     "spDASHEDLINE"};
    return Pick(names, value);
}

bool MapTypeIdOf(const QString& name, TMapTypeId& value)
{
    for (size_t i = 0; i < kMapTypes.size(); ++i)
        if (name == QLatin1String(kMapTypes[i])) {
            value = TMapTypeId(i);
            return true;
        }
    return false;
}

void TLatLng::SetLat(double value)
{
    if (value == FLat)
        return;
    FLat = value;
    if (OnChange)
        OnChange();
}

void TLatLng::SetLng(double value)
{
    if (value == FLng)
        return;
    FLng = value;
    if (OnChange)
        OnChange();
}
