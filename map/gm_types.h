#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// The enumerations whose value names travel to the map page as text, in their
// declared order, and the coordinate types the map components share.

enum TMapTypeId { mtHYBRID, mtROADMAP, mtSATELLITE, mtTERRAIN, mtOSM };
enum TControlPosition {
    cpBOTTOM_CENTER, cpBOTTOM_LEFT, cpBOTTOM_RIGHT, cpLEFT_BOTTOM, cpLEFT_CENTER, cpLEFT_TOP,
    cpRIGHT_BOTTOM, cpRIGHT_CENTER, cpRIGHT_TOP, cpTOP_CENTER, cpTOP_LEFT, cpTOP_RIGHT
};
enum TMapTypeControlStyle { mtcDEFAULT, mtcDROPDOWN_MENU, mtcHORIZONTAL_BAR };
enum TScaleControlStyle { scDEFAULT };
enum TZoomControlStyle { zcDEFAULT, zcLARGE, zcSMALL };
enum TLabelColor { lcBLACK, lcWHITE };
enum TTemperatureUnit { tuCELSIUS, tuFAHRENHEIT };
enum TWindSpeedUnit { wsKILOMETERS_PER_HOUR, wsMETERS_PER_SECOND, wsMILES_PER_HOUR };
enum TMarkerType { mtStandard, mtColored, mtStyledMarker };
enum TStyledIcon { siMarker, siBubble };
enum TSymbolPath {
    spNONE, spBACKWARD_CLOSED_ARROW, spBACKWARD_OPEN_ARROW, spCIRCLE, spFORWARD_CLOSED_ARROW,
    spFORWARD_OPEN_ARROW, spDASHEDLINE
};
enum TMeasure { mPixels, mPercentage };

QString NameOf(TMapTypeId value);
QString NameOf(TControlPosition value);
QString NameOf(TMapTypeControlStyle value);
QString NameOf(TScaleControlStyle value);
QString NameOf(TZoomControlStyle value);
QString NameOf(TLabelColor value);
QString NameOf(TTemperatureUnit value);
QString NameOf(TWindSpeedUnit value);
QString NameOf(TMarkerType value);
QString NameOf(TStyledIcon value);
QString NameOf(TSymbolPath value);

// The map type of a name the page reports; false for any other text.
bool MapTypeIdOf(const QString& name, TMapTypeId& value);

// Colours hold red in the low byte (0xBBGGRR).
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clWhite = 0xFFFFFF;

// A plain latitude/longitude pair.
struct TGeoPoint {
    double Lat = 0;
    double Lng = 0;
};

// A coordinate pair that reports a change: setting a value different from the
// stored one (exact comparison) stores it and calls OnChange.
class TLatLng {
public:
    double Lat() const { return FLat; }
    double Lng() const { return FLng; }
    void SetLat(double value);
    void SetLng(double value);
    std::function<void()> OnChange;

private:
    double FLat = 0;
    double FLng = 0;
};
