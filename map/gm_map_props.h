#pragma once

#include <QString>

#include <algorithm>
#include <set>

#include "gm_types.h"

// The map view's published settings, with the values of the editor window.

enum class TBoolOption { DisableDoubleClickZoom, Draggable, KeyboardShortcuts, NoClear, ScrollWheel };

inline int ClampZoom(int zoom)
{
    return std::clamp(zoom, 0, 21);
}

struct TRequiredProp {
    TLatLng Center;
    TMapTypeId MapType = mtROADMAP;
    int Zoom = 8;
};

struct TNonVisualProp {
    std::set<TBoolOption> Options = {TBoolOption::Draggable, TBoolOption::KeyboardShortcuts,
                                     TBoolOption::ScrollWheel};
    int MaxZoom = 0;
    int MinZoom = 0;
    bool MapMaker = false;
};

struct TPositionedControl {
    bool Show = true;
    TControlPosition Position = cpTOP_LEFT;
};

struct TVisualProp {
    TColor BGColor = 15659247;
    struct {
        bool Show = true;
        std::set<TMapTypeId> MapTypeIds = {mtHYBRID, mtROADMAP, mtSATELLITE, mtTERRAIN, mtOSM};
        TControlPosition Position = cpTOP_RIGHT;
        TMapTypeControlStyle Style = mtcDEFAULT;
    } MapTypeCtrl;
    struct {
        bool Show = true;
        bool Opened = true;
    } OverviewMapCtrl;
    TPositionedControl PanCtrl;
    TPositionedControl RotateCtrl;
    struct {
        bool Show = true;
        TControlPosition Position = cpBOTTOM_LEFT;
        TScaleControlStyle Style = scDEFAULT;
    } ScaleCtrl;
    TPositionedControl StreetViewCtrl;
    struct {
        bool Show = true;
        TControlPosition Position = cpTOP_LEFT;
        TZoomControlStyle Style = zcDEFAULT;
    } ZoomCtrl;
};

struct TLayers {
    struct {
        bool Show = false;
        bool ScreenOverlays = true;
        bool SuppressInfoWindows = false;
        bool Clickable = true;
        bool PreserveViewport = false;
        QString Url;
    } Kml;
    struct {
        bool Show = false;
    } Traffic, Bicycling;
    struct {
        bool Show = true;
    } Transit;
    struct {
        bool Show = false;
        bool Clickable = false;
        bool Filtered = false;
        QString FilterTag;
        QString FilterUserId;
    } Panoramio;
    struct {
        bool Show = false;
        bool Clickable = false;
        bool SuppressInfoWindows = false;
        TLabelColor LabelColor = lcBLACK;
        TTemperatureUnit TemperatureUnit = tuCELSIUS;
        TWindSpeedUnit WindSpeedUnit = wsKILOMETERS_PER_HOUR;
    } Weather;
};

struct TStreetView {
    bool Visible = false;
};
