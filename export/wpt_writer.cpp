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

namespace {

// A field of the waypoint line: the text on one line, each comma a space.
void AppendOneField(std::string& out, std::string_view text)
{
    const size_t start = out.size();
    AppendOneLineText(out, text);
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), ',', ' ');
}

} // namespace

void AddWptWaypoint(TExportState& state, const TMarkData& mark)
{
    AddWptWaypoint(state, MarkViewOf(mark));
}

void AddWptWaypoint(TExportState& state, const TMarkView& mark)
{
    if (mark.points.empty())
        return;
    ++state.FExportCount;
    state.FExportIcons.emplace(mark.picname);
    std::string& out = state.FExportText;
    const TMarkPoint first = mark.points.front();
    out.append("-1,");
    AppendOneField(out, mark.name);
    out.push_back(',');
    AppendFixed6(out, first.Lat);
    out.push_back(',');
    AppendFixed6(out, first.Lon);
    out.append(",,2,1,5,,65535,");
    AppendOneField(out, mark.descr);
    out.append(",0,0,0,-777,7,0,17,7,5.0,0,,,\r\n");
}
