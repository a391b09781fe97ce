#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "fake_web_view.h"
#include "gm_map.h"
#include "gm_marker.h"
#include "gm_polyline.h"
#include "show_mark.h"

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// The map texts of a window's first activation.
inline const QString kDoMap =
    "DoMap(0,0,'mtROADMAP',8,false,true,true,false,true,0,0,false,'#EFF0EE',true,"
    "'mtHYBRID;mtROADMAP;mtSATELLITE;mtTERRAIN;mtOSM','cpTOP_RIGHT','mtcDEFAULT',true,true,true,'cpTOP_LEFT',true,"
    "'cpTOP_LEFT',true,'cpBOTTOM_LEFT','scDEFAULT',true,'cpTOP_LEFT',true,'cpTOP_LEFT','zcDEFAULT',false,true,false,"
    "true,false,'',false,true,false,false,false,false,'','',false,false,false,'lcBLACK','tuCELSIUS',"
    "'wsKILOMETERS_PER_HOUR',false)";

inline QString MarkerText(const QString& lat = "0", const QString& lng = "0", const QString& title = "'TMarker'",
                          bool visible = true)
{
    return "MakeMarker(1,false,false,true,false,false,true," + lat + "," + lng + ",true," + title + "," +
           (visible ? "true" : "false") +
           ",'',0,'',false,0,0,0,true,'mtStandard','siMarker','#FF0000','#000000','#00FF00',false,false,true)";
}

inline QString PolylineText(const QString& points = "''", bool visible = true)
{
    return QString("MakePolyline(2,0,true,false,false,'#000000',1,2,") + (visible ? "true" : "false") + "," + points +
           ",'',false,0,0,0,true,'0px','#FF0000',0,'spNONE','#FF0000',0,0,'100%',false,true,1,0.1)";
}

inline QString PolygonText(const QString& points = "''", bool visible = true)
{
    return QString("MakePolygon(3,true,false,'#FF0000',0.5,false,'#000000',1,2,") + (visible ? "true" : "false") +
           "," + points + ",0,'',false,0,0,0,true)";
}

// A map view on the fake web view, with the editor window's three overlay
// components and their one item each, attached in the window's order.
class TMapFixture : public ::testing::Test {
protected:
    TFakeWebView View;
    TGMMap Map;
    TGMMarker GMMarker1;
    TGMPolyline GMPolyline1;
    TGMPolygon GMPolygon1;
    TMarker& Marker = GMMarker1.Add();
    TPolyline& Polyline = GMPolyline1.Add();
    TPolygon& Polygon = GMPolygon1.Add();
    std::vector<std::string> Errors;
    int PageLoadedReports = 0;

    TMapFixture()
    {
        Map.SetWebBrowser(&View);
        Map.AfterPageLoaded = [this](TGMMap& map, bool first) {
            ++PageLoadedReports;
            if (first)
                map.CreateMap();
        };
        Map.OnError = [this](const std::string& message) { Errors.push_back(message); };
        GMMarker1.SetMap(&Map);
        GMPolyline1.SetMap(&Map);
        GMPolygon1.SetMap(&Map);
    }

    TMapOverlays Overlays() { return {Map, Marker, Polyline, Polygon}; }

    // Show: switched on, the page loaded, the map created and the items made.
    void Show()
    {
        Map.SetActive(true);
        View.Complete();
    }

    QStringList TakeScripts()
    {
        QStringList scripts = View.Scripts;
        View.Scripts.clear();
        return scripts;
    }
};

// A mark read-out with the given points (longitude, latitude).
inline TMarkData Mark(const std::string& name, const std::vector<std::pair<long double, long double>>& lonLat)
{
    TMarkData mark;
    mark.name = name;
    for (const auto& [lon, lat] : lonLat)
        mark.points.push_back({lon, lat});
    return mark;
}
