#include "wpt_writer.h"

#include <algorithm>

#include "number_format.h"
#include "record_text.h"

const char* const kWptHeader =
    "OziExplorer Waypoint File Version 1.1\r\n"
    "WGS 84\r\n"
    "Reserved 2\r\n"
    "http://www.vexa-terrun.example/\r\n"
    "%s";

std::string NoCommas(std::string_view text)
{
    std::string out(text);
    std::replace(out.begin(), out.end(), ',', ' ');
    return out;
}

void AddWptWaypoint(TExportState& state, const TMarkData& mark)
{
    if (mark.points.empty())
        return;
    ++state.FExportCount;
    state.FExportIcons.insert(mark.picname);
    std::string& out = state.FExportText;
    out.append("-1,");
    out.append(NoCommas(OneLineText(mark.name)));
    out.push_back(',');
    AppendFixed6(out, mark.points[0].Lat);
    out.push_back(',');
    AppendFixed6(out, mark.points[0].Lon);
    out.append(",,2,1,5,,65535,");
    out.append(NoCommas(OneLineText(mark.descr)));
    out.append(",0,0,0,-777,7,0,17,7,5.0,0,,,\r\n");
}
